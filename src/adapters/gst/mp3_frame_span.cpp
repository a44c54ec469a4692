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

constexpr qint64 kChunkBytes = 1 << 20;
// ID3v1, APEv2 and Lyrics tags after the last frame; more than this after a broken frame is damage.
constexpr qint64 kTrailingTagBytes = 64 * 1024;

using Frame = Mp3FrameHeader;

std::optional<Frame> ParseHeader(std::uint32_t bits) {
    return ParseMp3FrameHeader(bits);
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
        if (!header || (bits & kMp3StreamMask) != (first & kMp3StreamMask)) {
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
