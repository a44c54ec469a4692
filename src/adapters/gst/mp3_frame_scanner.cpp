#include "adapters/gst/mp3_frame_scanner.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace ostrelle {

namespace {

// Consecutive frames that must agree before a stream is taken; one or two stray sync words in a tag or in
// damaged data rarely chain that far.
constexpr int kLockFrames = 4;
// Where the first frame must start after the leading tags; further in, the file is not taken for MP3.
constexpr std::size_t kMaxLeadingJunk = 1 << 20;
constexpr std::uint32_t kStreamMask = kMp3StreamMask;

// Kbit/s by [MPEG-1 or not][layer I, II, III][bit rate index 1..14].
constexpr std::array<std::array<std::array<int, 14>, 3>, 2> kBitratesKbps = {{
    {{{32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
      {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
      {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}}},
    {{{32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
      {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
      {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}},
}};
// Hz by [version bits: 2.5, reserved, 2, 1][rate index 0..2].
constexpr std::array<std::array<int, 3>, 4> kSampleRates = {{
    {11025, 12000, 8000},
    {0, 0, 0},
    {22050, 24000, 16000},
    {44100, 48000, 32000},
}};

using FrameHeader = Mp3FrameHeader;

std::uint32_t ReadBe32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

std::uint32_t ReadLe32(const std::uint8_t* p) {
    return (std::uint32_t{p[3]} << 24) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
}

std::optional<FrameHeader> HeaderAt(std::span<const std::uint8_t> bytes, std::size_t pos, std::size_t end) {
    if (pos >= end || end - pos < 4) return std::nullopt;
    return ParseMp3FrameHeader(ReadBe32(bytes.data() + pos));
}

// Whether a stream starts at pos: kLockFrames complete frames of one stream, or at least two that fill
// the rest of the audio exactly (very short files).
bool LocksAt(std::span<const std::uint8_t> bytes, std::size_t pos, std::size_t end, std::uint32_t stream) {
    std::size_t p = pos;
    for (int i = 0; i < kLockFrames; ++i) {
        const std::optional<FrameHeader> header = HeaderAt(bytes, p, end);
        if (!header || (header->bits & kStreamMask) != stream) return false;
        if (end - p < header->length) return false;
        p += header->length;
        if (p == end) return i >= 1;
    }
    return true;
}

// The first position in [from, limit) where a stream locks; a stream of 0 takes any stream.
std::optional<std::size_t> FindLock(std::span<const std::uint8_t> bytes, std::size_t from, std::size_t end,
                                    std::uint32_t stream, std::size_t limit) {
    const std::size_t stop = std::min(end, limit);
    std::size_t p = from;
    while (p + 1 < stop) {
        const void* hit = std::memchr(bytes.data() + p, 0xFF, stop - p - 1);
        if (!hit) return std::nullopt;
        p = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - bytes.data());
        if ((bytes[p + 1] & 0xE0) == 0xE0 && end - p >= 4) {
            const std::uint32_t candidate = ReadBe32(bytes.data() + p) & kStreamMask;
            if ((stream == 0 || candidate == stream) && LocksAt(bytes, p, end, candidate)) return p;
        }
        ++p;
    }
    return std::nullopt;
}

struct InfoHeader {
    bool present = false;
    std::optional<std::int64_t> frames;
};

// An Xing/Info (LAME and others) or VBRI (Fraunhofer) header: a silent first frame that describes the
// file rather than holding audio.
InfoHeader ReadInfoHeader(const std::uint8_t* frame, std::size_t length, const FrameHeader& header) {
    if (header.layer != 3) return {};
    const std::size_t sideInfo = header.mpeg1 ? (header.mono ? 17 : 32) : (header.mono ? 9 : 17);
    // Some writers count the CRC word before the side information, some do not.
    for (const std::size_t offset : {4 + sideInfo, 6 + sideInfo}) {
        if (offset + 8 > length) continue;
        if (std::memcmp(frame + offset, "Xing", 4) != 0 && std::memcmp(frame + offset, "Info", 4) != 0)
            continue;
        InfoHeader info{true, std::nullopt};
        if ((ReadBe32(frame + offset + 4) & 1) != 0 && offset + 12 <= length)
            info.frames = ReadBe32(frame + offset + 8);
        return info;
    }
    constexpr std::size_t kVbriOffset = 4 + 32;
    if (kVbriOffset + 18 <= length && std::memcmp(frame + kVbriOffset, "VBRI", 4) == 0)
        return {true, ReadBe32(frame + kVbriOffset + 14)};
    return {};
}

// End of the audio before ID3v1, APEv2 and Lyrics3v2 tags, which may follow each other in any order.
std::size_t AudioEnd(std::span<const std::uint8_t> bytes, std::size_t start) {
    std::size_t end = bytes.size();
    const std::uint8_t* data = bytes.data();
    for (int round = 0; round < 4 && end > start; ++round) {
        const std::size_t before = end;
        if (end - start >= 128 && std::memcmp(data + end - 128, "TAG", 3) == 0) end -= 128;
        if (end - start >= 32 && std::memcmp(data + end - 32, "APETAGEX", 8) == 0) {
            const std::uint64_t size = ReadLe32(data + end - 32 + 12);
            const bool hasHeader = (ReadLe32(data + end - 32 + 20) & 0x80000000u) != 0;
            const std::uint64_t total = size + (hasHeader ? 32 : 0);
            if (size >= 32 && total <= end - start) end -= static_cast<std::size_t>(total);
        }
        if (end - start >= 15 && std::memcmp(data + end - 9, "LYRICS200", 9) == 0) {
            std::size_t size = 0;
            bool digits = true;
            for (std::size_t i = end - 15; i < end - 9; ++i) {
                digits = digits && data[i] >= '0' && data[i] <= '9';
                size = size * 10 + (data[i] - '0');
            }
            if (digits && size + 15 <= end - start) end -= size + 15;
        }
        if (end == before) break;
    }
    return end;
}

}  // namespace

std::optional<Mp3FrameHeader> ParseMp3FrameHeader(std::uint32_t bits) {
    if ((bits & 0xFFE00000u) != 0xFFE00000u) return std::nullopt;
    const int version = (bits >> 19) & 3;
    const int layerBits = (bits >> 17) & 3;
    const int bitrateIndex = (bits >> 12) & 15;
    const int rateIndex = (bits >> 10) & 3;
    const int emphasis = bits & 3;
    // Free-format bit rate (index 0) has no length in the header; GStreamer measures such files instead.
    if (version == 1 || layerBits == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3 ||
        emphasis == 2)
        return std::nullopt;

    FrameHeader header;
    header.bits = bits;
    header.layer = 4 - layerBits;
    header.mpeg1 = version == 3;
    header.mono = ((bits >> 6) & 3) == 3;
    header.sampleRate = kSampleRates[version][rateIndex];
    const int padding = (bits >> 9) & 1;
    const long bitrate = 1000L * kBitratesKbps[header.mpeg1 ? 0 : 1][header.layer - 1][bitrateIndex - 1];
    if (header.layer == 1) {
        header.samples = 384;
        header.length = static_cast<std::size_t>((12 * bitrate / header.sampleRate + padding) * 4);
    } else if (header.layer == 2 || header.mpeg1) {
        header.samples = 1152;
        header.length = static_cast<std::size_t>(144 * bitrate / header.sampleRate + padding);
    } else {
        header.samples = 576;
        header.length = static_cast<std::size_t>(72 * bitrate / header.sampleRate + padding);
    }
    return header;
}

std::size_t Id3v2TagsEnd(std::span<const std::uint8_t> bytes) {
    std::size_t pos = 0;
    // Some files carry more than one tag in a row.
    while (pos < bytes.size() && bytes.size() - pos >= 10 && std::memcmp(bytes.data() + pos, "ID3", 3) == 0) {
        const std::uint8_t* tag = bytes.data() + pos;
        if (tag[3] == 0xFF || tag[4] == 0xFF || ((tag[6] | tag[7] | tag[8] | tag[9]) & 0x80) != 0) break;
        const std::size_t size =
            (std::size_t{tag[6]} << 21) | (std::size_t{tag[7]} << 14) | (std::size_t{tag[8]} << 7) | tag[9];
        const std::size_t footer = (tag[3] >= 4 && (tag[5] & 0x10) != 0) ? 10 : 0;
        pos += 10 + size + footer;
    }
    return pos;
}

std::optional<Mp3FrameCount> CountMp3Frames(std::span<const std::uint8_t> bytes,
                                            const std::atomic<bool>* stop) {
    const std::size_t start = Id3v2TagsEnd(bytes);
    if (start >= bytes.size()) return std::nullopt;
    const std::size_t end = AudioEnd(bytes, start);
    const std::optional<std::size_t> first = FindLock(bytes, start, end, 0, start + kMaxLeadingJunk);
    if (!first) return std::nullopt;

    const FrameHeader firstHeader = *HeaderAt(bytes, *first, end);
    const std::uint32_t stream = firstHeader.bits & kStreamMask;
    Mp3FrameCount count;
    count.samplesPerFrame = firstHeader.samples;
    count.sampleRate = firstHeader.sampleRate;
    count.skippedBytes = static_cast<std::int64_t>(*first - start);

    std::size_t p = *first;
    const InfoHeader info = ReadInfoHeader(bytes.data() + p, firstHeader.length, firstHeader);
    if (info.present) {
        count.headerFrames = info.frames;
        p += firstHeader.length;
    }
    for (std::uint32_t walked = 0; p < end && end - p >= 4; ++walked) {
        if (stop && walked % 4096 == 0 && stop->load(std::memory_order_relaxed)) return std::nullopt;
        const std::optional<FrameHeader> header = HeaderAt(bytes, p, end);
        if (header && (header->bits & kStreamMask) == stream) {
            // A frame cut off by the end of the file is not played.
            if (end - p < header->length) break;
            ++count.audioFrames;
            p += header->length;
            continue;
        }
        const std::optional<std::size_t> next = FindLock(bytes, p + 1, end, stream, end);
        if (!next) break;
        count.skippedBytes += static_cast<std::int64_t>(*next - p);
        p = *next;
    }
    return count;
}

}  // namespace ostrelle
