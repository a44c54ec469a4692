#include "adapters/gst/mp3_frame_span.h"

#include "adapters/gst/mp3_frame_scanner.h"

#include <QFile>

#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace ostrelle {

namespace {

// Header bits that stay the same across one stream: sync, version, layer and sample rate.
constexpr std::uint32_t kStreamMask = 0xFFFE0C00u;
constexpr qint64 kChunkBytes = 1 << 20;
// ID3v1, APEv2 and Lyrics tags after the last frame; more than this after a broken frame is damage.
constexpr qint64 kTrailingTagBytes = 64 * 1024;

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

struct Frame {
    qint64 length = 0;  // bytes, header included
    int samples = 0;
    int sampleRate = 0;
    int layer = 0;
    bool mpeg1 = false;
    bool mono = false;
};

std::optional<Frame> ParseHeader(std::uint32_t bits) {
    const int version = (bits >> 19) & 3;
    const int layerBits = (bits >> 17) & 3;
    const int bitrateIndex = (bits >> 12) & 15;
    const int rateIndex = (bits >> 10) & 3;
    if ((bits & 0xFFE00000u) != 0xFFE00000u || version == 1 || layerBits == 0 || bitrateIndex == 0 ||
        bitrateIndex == 15 || rateIndex == 3)
        return std::nullopt;
    Frame frame;
    frame.layer = 4 - layerBits;
    frame.mpeg1 = version == 3;
    frame.mono = ((bits >> 6) & 3) == 3;
    frame.sampleRate = kSampleRates[version][rateIndex];
    const qint64 padding = (bits >> 9) & 1;
    const qint64 bitrate = 1000ll * kBitratesKbps[frame.mpeg1 ? 0 : 1][frame.layer - 1][bitrateIndex - 1];
    if (frame.layer == 1) {
        frame.samples = 384;
        frame.length = (12 * bitrate / frame.sampleRate + padding) * 4;
    } else if (frame.layer == 2 || frame.mpeg1) {
        frame.samples = 1152;
        frame.length = 144 * bitrate / frame.sampleRate + padding;
    } else {
        frame.samples = 576;
        frame.length = 72 * bitrate / frame.sampleRate + padding;
    }
    return frame;
}

bool IsInfoHeader(const std::uint8_t* frame, qint64 length, const Frame& header) {
    if (header.layer != 3) return false;
    const qint64 sideInfo = header.mpeg1 ? (header.mono ? 17 : 32) : (header.mono ? 9 : 17);
    for (const qint64 offset : {4 + sideInfo, 6 + sideInfo}) {
        if (offset + 4 <= length &&
            (std::memcmp(frame + offset, "Xing", 4) == 0 || std::memcmp(frame + offset, "Info", 4) == 0))
            return true;
    }
    return 36 + 4 <= length && std::memcmp(frame + 36, "VBRI", 4) == 0;
}

// The file read forward in large pieces, as a window of bytes at any offset.
class ForwardReader {
public:
    explicit ForwardReader(QFile& file) : file_(file) {}

    // count bytes at offset, or nothing past the end of the file.
    const std::uint8_t* At(qint64 offset, qint64 count) {
        if (offset < start_ || offset + count > start_ + static_cast<qint64>(bytes_.size())) {
            if (!file_.seek(offset)) return nullptr;
            bytes_.resize(static_cast<std::size_t>(std::max(count, kChunkBytes)));
            const qint64 got =
                file_.read(reinterpret_cast<char*>(bytes_.data()), static_cast<qint64>(bytes_.size()));
            bytes_.resize(static_cast<std::size_t>(std::max<qint64>(got, 0)));
            start_ = offset;
            if (got < count) return nullptr;
        }
        return bytes_.data() + (offset - start_);
    }

private:
    QFile& file_;
    std::vector<std::uint8_t> bytes_;
    qint64 start_ = 0;
};

}  // namespace

std::optional<Mp3FrameSpan> FindMp3FrameSpan(const QString& path, qint64 startMs, qint64 endMs,
                                             int leadFrames) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    ForwardReader reader(file);
    // Tags larger than the first piece only need their headers.
    qint64 offset = 0;
    for (;;) {
        const std::uint8_t* head = reader.At(offset, 10);
        if (!head) return std::nullopt;
        const auto skipped = static_cast<qint64>(Id3v2TagsEnd(std::span<const std::uint8_t>(head, 10)));
        if (skipped == 0) break;
        offset += skipped;
    }

    const std::uint8_t* bytes = reader.At(offset, 4);
    if (!bytes) return std::nullopt;
    const std::uint32_t first =
        (std::uint32_t{bytes[0]} << 24) | (bytes[1] << 16) | (bytes[2] << 8) | bytes[3];
    const std::optional<Frame> firstFrame = ParseHeader(first);
    if (!firstFrame) return std::nullopt;
    const std::uint8_t* whole = reader.At(offset, firstFrame->length);
    if (!whole || IsInfoHeader(whole, firstFrame->length, *firstFrame)) return std::nullopt;

    Mp3FrameSpan span;
    span.samplesPerFrame = firstFrame->samples;
    span.sampleRate = firstFrame->sampleRate;
    const qint64 perFrame = span.samplesPerFrame;
    span.firstFrame = std::max<qint64>(0, startMs * span.sampleRate / 1000 / perFrame - leadFrames);
    const qint64 lastFrame = (endMs * span.sampleRate / 1000 + perFrame - 1) / perFrame;
    bool reached = false;
    for (qint64 frame = 0;; ++frame) {
        if (frame == span.firstFrame) {
            span.beginOffset = offset;
            reached = true;
        }
        if (frame > lastFrame) break;
        const std::uint8_t* at = reader.At(offset, 4);
        if (!at) break;  // the end of the file
        const std::uint32_t bits = (std::uint32_t{at[0]} << 24) | (at[1] << 16) | (at[2] << 8) | at[3];
        const std::optional<Frame> header = ParseHeader(bits);
        if (!header || (bits & kStreamMask) != (first & kStreamMask)) {
            // Tags at the end end the audio; damage is left to a decoder that resyncs.
            if (frame <= span.firstFrame || file.size() - offset > kTrailingTagBytes) return std::nullopt;
            break;
        }
        offset += header->length;
    }
    span.endOffset = offset;
    if (!reached || span.endOffset <= span.beginOffset) return std::nullopt;  // the file ends before
    return span;
}

}  // namespace ostrelle
