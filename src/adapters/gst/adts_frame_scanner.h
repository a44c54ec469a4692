#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <span>

namespace ostrelle {

// What a walk over the ADTS frames of a raw AAC file (.aac) found.
struct AdtsFrameCount {
    std::int64_t frames = 0;
    std::int64_t samples = 0;  // 1024 for each raw data block, at sampleRate
    int sampleRate = 0;        // Hz, of the AAC core (HE-AAC doubles it and its block size alike)

    double Seconds() const { return sampleRate > 0 ? static_cast<double>(samples) / sampleRate : 0.0; }
};

// Counts the ADTS frames of a whole raw AAC file. Its audio starts right after any ID3v2 tags with two
// frames of one stream (or one that fills the file); the walk ends at the first frame that is cut off or
// of another stream, so a tag at the end is not counted. Nothing when the bytes hold no such stream.
// Reads only inside bytes and takes time linear in their size. Gives up with nothing soon after stop becomes
// true.
std::optional<AdtsFrameCount> CountAdtsFrames(std::span<const std::uint8_t> bytes,
                                              const std::atomic<bool>* stop = nullptr);

}  // namespace ostrelle
