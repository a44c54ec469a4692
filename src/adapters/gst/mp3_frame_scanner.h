#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace ostrelle {

// What a walk over the MPEG audio frames of a file found.
struct Mp3FrameCount {
    // Complete frames of audio; a frame cut off by the end of the file and an Xing/Info/VBRI header frame
    // are not counted.
    std::int64_t audioFrames = 0;
    int samplesPerFrame = 0;
    int sampleRate = 0;  // Hz
    // The frame count an Xing/Info/VBRI header claims, when the first frame is such a header.
    std::optional<std::int64_t> headerFrames;
    // Bytes between the end of the leading tags and the first frame, and skipped while resyncing.
    std::int64_t skippedBytes = 0;

    double Seconds() const {
        return sampleRate > 0 ? static_cast<double>(audioFrames) * samplesPerFrame / sampleRate : 0.0;
    }
};

// Header bits that stay the same across one stream: sync, version, layer and sample rate.
inline constexpr std::uint32_t kMp3StreamMask = 0xFFFE0C00u;

// One MPEG audio frame header (layer I, II, III; MPEG-1, 2, 2.5).
struct Mp3FrameHeader {
    std::uint32_t bits = 0;
    std::size_t length = 0;  // bytes, header included
    int samples = 0;
    int sampleRate = 0;
    int layer = 0;  // 1, 2 or 3
    bool mpeg1 = false;
    bool mono = false;
};

// The header of 32 big-endian bits; nothing when they are no valid header (free format included).
std::optional<Mp3FrameHeader> ParseMp3FrameHeader(std::uint32_t bits);

// Offset just past the ID3v2 tags at the start of bytes (0 when there are none). It can lie past the end
// of bytes when a tag claims more than the file holds.
std::size_t Id3v2TagsEnd(std::span<const std::uint8_t> bytes);

// Counts the MPEG audio frames (layer I, II, III; MPEG-1, 2, 2.5) in the bytes of a whole file. Skips
// ID3v2 tags at the start and ID3v1, APEv2 and Lyrics3v2 tags at the end; a stream is only taken after
// several consecutive frames agree, so stray sync bytes do not count. Nothing when no stream is found.
// Reads only inside bytes, whatever they hold, and takes time linear in their size. Gives up with nothing
// soon after stop becomes true.
std::optional<Mp3FrameCount> CountMp3Frames(std::span<const std::uint8_t> bytes,
                                            const std::atomic<bool>* stop = nullptr);

}  // namespace ostrelle
