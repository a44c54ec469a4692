#pragma once

#include <QtGlobal>

#include <cstdint>
#include <optional>

namespace ostrelle {

// A seek as the player issues it; times in seconds from the start of the media.
struct SegmentSeek {
    double startSeconds = 0;
    std::optional<double> stopSeconds;  // set: a segment seek that ends there and posts SEGMENT_DONE
    bool flush = true;                  // false: queued behind what the sink still plays
    // Flushing seek: the sink input's offset from then on. Restart: added to the offset already set.
    std::int64_t sinkOffsetNs = 0;
};

// Where the output stands while the last segment drains towards the stop point.
enum class StopPointProgress { kDraining, kReached, kMediaEnded };

// The player's stop point, decided apart from any pipeline: which seek ends the audio exactly at it, when
// the output counts as having reached it, and what the player reports there (paused, never stopped).
// Seeks and Play() keep the stop point until it is cleared or the media changes.
class StopPoint {
public:
    // Repeat passes start this far ahead: time to decode the first buffer and for an audio server stream
    // to get going, which drops whatever arrives before it runs.
    static constexpr std::int64_t kRestartLeadNs = 60'000'000;
    // The sink reports the end of the last buffer; sample rounding keeps it a few microseconds off.
    static constexpr double kReachToleranceSeconds = 0.0005;
    // A position that no longer moves while playing after everything was sent means the output is drained.
    static constexpr qint64 kStallMs = 300;
    // Until the output has moved at all it may still be starting: a sound server stream takes a while.
    static constexpr qint64 kStartStallMs = 3000;
    // Some demuxers drop the last frame that straddles the stop (MP4 with an edit list does), so the output
    // ends up to a frame short of it. Standing still that close means the segment is over, not the media.
    static constexpr double kShortEndSeconds = 0.15;
    static constexpr qint64 kShortEndStallMs = 60;

    // New media: no stop point, nothing playing towards one.
    void Reset() { *this = StopPoint(); }
    void Set(std::optional<double> seconds) { requested_ = seconds; }
    std::optional<double> Requested() const { return requested_; }
    // The stop of the segment being played.
    std::optional<double> Active() const { return active_; }
    // Paused at the stop point with the output left running.
    bool Idle() const { return idle_; }
    void LeaveIdle() { idle_ = false; }

    // Whether a pass from seconds ends at the stop point, rather than playing on without one.
    bool Bounds(double seconds) const;
    // A flushing seek to seconds; from then on the segment played ends where the seek says.
    SegmentSeek PlanSeek(double seconds);
    // A non-flushing pass from seconds, issued while idle at the stop point, given the pipeline's running
    // time now and when the output reached the stop point; nothing when a flushing seek must do instead.
    std::optional<SegmentSeek> PlanRestart(double seconds, std::optional<std::uint64_t> nowNs,
                                           std::uint64_t reachedNs) const;
    // The restart was issued: the new pass ends at the stop point.
    void Restarted();
    // A caller's new stop point while the segment plays: whether the segment being played must be sought
    // again from position to get the new end. One already passed applies from the next seek on.
    bool NeedsReseek(double position);

    // Everything up to the active stop has been sent to the sink.
    void SegmentDone();
    bool AwaitingOutput() const { return segmentDone_ && !idle_; }
    bool OutputAt(double position) const;
    // The output's position while it drains; reaching the stop point makes it idle there, as does standing
    // still just short of it (the segment's real end, then expected on later passes). A position that
    // stands still for kStallMs further off while playing means the media ended before the stop point.
    StopPointProgress Track(double position, bool playing, qint64 nowMs);

    // The position to report while the segment plays: not before the pass's start, not past the stop.
    double ReportedPosition(double position, double passStart) const;
    // Until a restart's new segment reaches the sink it still reports the old one, at the stop point.
    bool StillInOldPass(double position) const;
    // Paused at the stop point, never stopped.
    bool ReportsPaused(double position) const { return idle_ || OutputAt(position); }

private:
    // Where the output's audio of the active segment ends: the stop, or the shorter end found earlier.
    double End() const { return shortEnd_.value_or(*active_); }
    StopPointProgress Reach();

    std::optional<double> requested_;
    std::optional<double> active_;
    bool segmentDone_ = false;
    bool idle_ = false;
    double stallPosition_ = -1;
    bool moved_ = false;  // the output position changed since the segment was all sent
    qint64 stallSinceMs_ = 0;
    std::optional<double> shortEnd_;  // of the active stop
};

}  // namespace ostrelle
