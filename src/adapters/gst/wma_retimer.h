#pragma once

#include "adapters/gst/wma_packet_times.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// GStreamer's own typedefs; repeating them keeps <gst/gst.h> out of this header.
typedef struct _GstElement GstElement;
typedef struct _GstPad GstPad;
typedef struct _GstPadProbeInfo GstPadProbeInfo;

namespace ostrelle {

// Keeps a WMA file's passes in the time the learner hears, that of the straight decode (see
// WmaPacketTimes): the player seeks the demuxer a lead early and tells the retimer where the pass really
// starts and stops. The decoder's input then gets a segment that clips nothing, its output the pass's own
// segment, and each decoded buffer the place of its sound, cut to the pass. Until the packet times are
// known, and for seeks made without it, everything flows as GStreamer made it.
class WmaRetimer {
public:
    // How far ahead of a pass the demuxer starts: more than the straight decode's lag behind the stamps.
    static constexpr double kLeadSeconds = 0.5;

    struct DemuxSeek {
        double startSeconds;
        std::optional<double> stopSeconds;
    };

    WmaRetimer() = default;
    ~WmaRetimer() { Close(); }
    WmaRetimer(const WmaRetimer&) = delete;
    WmaRetimer& operator=(const WmaRetimer&) = delete;

    // New media: an ASF file's packet times are measured in the background.
    void Open(const QString& absolutePath);
    // Forgets the media, its times and every pass; a measurement under way is cancelled first.
    void Close();
    bool Measuring() const { return measuring_; }
    bool Ready() const;
    // The seek that gets the demuxer to deliver a pass from startSeconds to stopSeconds, in heard time.
    DemuxSeek Expect(double startSeconds, std::optional<double> stopSeconds);
    // Watches a WMA decoder that playbin made for this media.
    void Attach(GstElement* decoder);

private:
    struct Pass {
        std::uint64_t startNs;
        std::optional<std::uint64_t> stopNs;
    };
    struct Callbacks;  // the pad probes, beside the implementation

    int OnDecoderInput(GstPadProbeInfo* info);
    int OnDecoderOutput(GstPadProbeInfo* info);

    std::atomic<bool> cancel_{false};
    std::atomic<bool> measuring_{false};
    std::thread measurer_;

    mutable std::mutex mutex_;
    std::optional<WmaPacketTimes> times_;
    // Passes sought, by the demuxer segment each should bring: its start and, for a pass with a stop, its
    // stop.
    struct Expected {
        std::uint64_t demuxStartNs;
        std::optional<std::uint64_t> demuxStopNs;
        Pass pass;
    };
    std::vector<Expected> expected_;                    // newest last
    std::vector<std::pair<std::uint32_t, Pass>> sent_;  // passes by their segments' seqnum, newest last
    // Decoder output: whether the segment flowing is a retimed pass, that segment as sent on, and whether
    // a flush came since the last segment.
    bool retiming_ = false;
    struct Sent {
        std::uint64_t startNs = 0;
        std::optional<std::uint64_t> stopNs;
        std::uint64_t baseNs = 0;
    };
    std::optional<Sent> lastSegment_;
    bool flushed_ = true;
    std::optional<std::uint64_t> nextNs_;  // where the last restamped buffer ended
    int rate_ = 0;
    int bytesPerFrame_ = 0;
};

}  // namespace ostrelle
