#include "adapters/gst/adts_frame_scanner.h"

#include "adapters/gst/mp3_frame_scanner.h"

#include <array>

namespace ostrelle {
namespace {

constexpr std::array<int, 13> kSampleRates = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                              22050, 16000, 12000, 11025, 8000,  7350};
constexpr std::size_t kHeaderBytes = 7;

struct AdtsHeader {
    std::uint32_t stream = 0;  // the bits every frame of one stream shares
    std::size_t length = 0;    // bytes, header included
    int blocks = 0;
    int sampleRate = 0;
};

std::optional<AdtsHeader> HeaderAt(std::span<const std::uint8_t> bytes, std::size_t pos) {
    if (bytes.size() - pos < kHeaderBytes) return std::nullopt;
    const std::uint8_t* h = bytes.data() + pos;
    // Sync word, then layer 0; MPEG audio has no layer 0, so MP3 never passes for ADTS.
    if (h[0] != 0xFF || (h[1] & 0xF6) != 0xF0) return std::nullopt;
    const int rateIndex = (h[2] >> 2) & 0x0F;
    if (rateIndex >= static_cast<int>(kSampleRates.size())) return std::nullopt;
    AdtsHeader header;
    // MPEG version, CRC presence, profile, rate and channel layout.
    header.stream = (std::uint32_t{h[1]} << 16) | (std::uint32_t{h[2]} << 8) | (h[3] & 0xC0);
    header.length = (std::size_t{h[3] & 0x03u} << 11) | (std::size_t{h[4]} << 3) | (h[5] >> 5);
    const bool crc = (h[1] & 0x01) == 0;
    if (header.length < kHeaderBytes + (crc ? 2 : 0)) return std::nullopt;
    header.blocks = (h[6] & 0x03) + 1;
    header.sampleRate = kSampleRates[rateIndex];
    return header;
}

}  // namespace

std::optional<AdtsFrameCount> CountAdtsFrames(std::span<const std::uint8_t> bytes,
                                              const std::atomic<bool>* stop) {
    std::size_t pos = Id3v2TagsEnd(bytes);
    if (pos >= bytes.size()) return std::nullopt;
    const std::optional<AdtsHeader> first = HeaderAt(bytes, pos);
    if (!first || bytes.size() - pos < first->length) return std::nullopt;
    // A lone header is as likely a stray pair of bytes, unless its frame ends the file.
    const std::size_t second = pos + first->length;
    if (second != bytes.size()) {
        const std::optional<AdtsHeader> next = HeaderAt(bytes, second);
        if (!next || next->stream != first->stream) return std::nullopt;
    }

    AdtsFrameCount count;
    count.sampleRate = first->sampleRate;
    for (std::uint32_t walked = 0; pos < bytes.size(); ++walked) {
        if (stop && walked % 4096 == 0 && stop->load(std::memory_order_relaxed)) return std::nullopt;
        const std::optional<AdtsHeader> header = HeaderAt(bytes, pos);
        if (!header || header->stream != first->stream || bytes.size() - pos < header->length) break;
        ++count.frames;
        count.samples += 1024 * header->blocks;
        pos += header->length;
    }
    return count;
}

}  // namespace ostrelle
