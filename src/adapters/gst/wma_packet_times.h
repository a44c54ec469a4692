#pragma once

#include <QString>

#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

namespace ostrelle {

// ASF stamps each WMA packet in whole milliseconds, and a decoder started from the beginning of the file
// gives its first packet one frame more than the packet's span. Played straight through, the output runs
// on from sample to sample, so where the learner hears a sound is where it falls in that straight
// decode: up to a frame and a half after its packet's stamp. A decoder started afresh after a seek also
// loses the frame that began in the packet before. These are the packets' places in the straight decode.
class WmaPacketTimes {
public:
    // The next packet's decoded buffer, in decode order; samples at the decoder's output rate.
    void Add(std::uint64_t stampNs, std::uint64_t samples);
    void SetRate(int rate) { rate_ = rate; }
    int Rate() const { return rate_; }
    bool Empty() const { return packets_.empty(); }

    // Where the first sample of a decoded buffer falls in the straight decode, in ns: the buffer was
    // stamped stampNs and holds samples. One shorter than its packet's straight decode lost its first
    // frames to a decoder started afresh. Nothing for a stamp that is no packet's.
    std::optional<std::uint64_t> Place(std::uint64_t stampNs, std::uint64_t samples) const;

private:
    struct Packet {
        std::uint64_t stampNs;
        std::uint64_t decodedStart;  // in samples
        std::uint64_t samples;
    };
    std::vector<Packet> packets_;  // in stamp order
    std::uint64_t decodedEnd_ = 0;
    int rate_ = 0;
};

// Whether the file starts with an ASF header (WMA and WMV files do).
bool IsAsfFile(const QString& path);

// Decodes the whole file as the player would and notes each WMA packet's place; nothing when the file
// holds no WMA, cannot be decoded, or cancel was set meanwhile.
std::optional<WmaPacketTimes> MeasureWmaPacketTimes(const QString& absolutePath,
                                                    const std::atomic<bool>& cancel);

// The WMA decoders whose packets these times describe.
bool IsWmaDecoder(const char* factoryName);

}  // namespace ostrelle
