#include "adapters/gst/stop_point.h"

#include <algorithm>

namespace ostrelle {

bool StopPoint::Bounds(double seconds) const {
    return requested_ && seconds < *requested_ - kReachToleranceSeconds;
}

SegmentSeek StopPoint::PlanSeek(double seconds) {
    idle_ = false;
    segmentDone_ = false;
    // With a stop point the segment ends at it and posts SEGMENT_DONE instead of EOS. A target at or
    // past the stop point plays on without it; the stop applies again to the next seek before it.
    const std::optional<double> previous = active_;
    active_.reset();
    if (Bounds(seconds)) active_ = requested_;
    if (active_ != previous) shortEnd_.reset();
    // A flush starts the running time afresh, so the shifts of earlier restarts no longer apply. The
    // first pass of a repeat run starts a short lead late, as the restarts do: an audio server drops
    // whatever arrives before its stream has started, so that lead is silence.
    return {seconds, active_, true, active_ ? kRestartLeadNs : 0};
}

// At the stop point the pipeline is still PLAYING and the sink has rendered everything up to it. A
// non-flushing segment seek queues the next pass behind the last one without flushing the sink: a flush
// pauses the audio device (a cork/uncork through PulseAudio), which drops the first milliseconds of the
// pass. The new segment's running time continues from the stop point, so the sink input is shifted by
// the time spent waiting there, plus a short lead for decoding.
std::optional<SegmentSeek> StopPoint::PlanRestart(double seconds, std::optional<std::uint64_t> nowNs,
                                                  std::uint64_t reachedNs) const {
    if (!Bounds(seconds) || !nowNs || reachedNs == 0) return std::nullopt;
    const std::int64_t shift =
        static_cast<std::int64_t>(*nowNs) + kRestartLeadNs - static_cast<std::int64_t>(reachedNs);
    return SegmentSeek{seconds, requested_, false, shift};
}

void StopPoint::Restarted() {
    if (active_ != requested_) shortEnd_.reset();
    active_ = requested_;
    idle_ = false;
    segmentDone_ = false;
}

bool StopPoint::NeedsReseek(double position) {
    if (requested_ == active_) return false;
    shortEnd_.reset();
    if (requested_ && position >= *requested_) {
        active_.reset();  // already past it: it applies from the next seek on
        return false;
    }
    return true;
}

void StopPoint::SegmentDone() {
    segmentDone_ = true;
    stallPosition_ = -1;
    moved_ = false;
}

bool StopPoint::OutputAt(double position) const {
    return segmentDone_ && active_ && position >= End() - kReachToleranceSeconds;
}

StopPointProgress StopPoint::Reach() {
    idle_ = true;
    return StopPointProgress::kReached;
}

// The stop point counts as reached once the output has played up to it, not when the parser has sent
// its last buffer: the sink still holds some.
StopPointProgress StopPoint::Track(double position, bool playing, qint64 nowMs) {
    if (OutputAt(position)) return Reach();
    if (!playing) return StopPointProgress::kDraining;  // paused short of the stop point
    if (position != stallPosition_) {
        moved_ = moved_ || stallPosition_ >= 0;
        stallPosition_ = position;
        stallSinceMs_ = nowMs;
        return StopPointProgress::kDraining;
    }
    const qint64 still = nowMs - stallSinceMs_;
    if (moved_ && active_ && position >= *active_ - kShortEndSeconds && still >= kShortEndStallMs) {
        shortEnd_ = position;
        return Reach();
    }
    if (still >= (moved_ ? kStallMs : kStartStallMs)) return StopPointProgress::kMediaEnded;
    return StopPointProgress::kDraining;
}

double StopPoint::ReportedPosition(double position, double passStart) const {
    // Playing goes forward from the pass's start; a restart's first buffer may still wait for its time.
    position = std::max(position, passStart);
    if (active_) position = std::min(position, *active_);
    if (OutputAt(position)) position = *active_;
    return position;
}

bool StopPoint::StillInOldPass(double position) const {
    return !active_ || position >= End() - kReachToleranceSeconds;
}

}  // namespace ostrelle
