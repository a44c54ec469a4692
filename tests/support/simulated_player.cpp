#include "support/simulated_player.h"

#include <algorithm>
#include <cmath>

namespace ostrelle {

namespace {
long long ToUs(double seconds) {
    return std::llround(seconds * 1e6);
}
}  // namespace

void SimulatedPlayer::Advance(double seconds) {
    if (state_ != kPlayStatePlaying) return;
    const long long end = ToUs(duration_);
    const long long stop = stopPoint_ ? ToUs(*stopPoint_) : end;
    const long long limit = stop > positionUs_ ? std::min(stop, end) : end;
    positionUs_ = std::min(positionUs_ + ToUs(seconds * Rate()), limit);  // media time
    if (positionUs_ >= end) {
        state_ = kPlayStateStopped;
        positionUs_ = 0;
        ended_ = true;
    } else if (stopPoint_ && positionUs_ >= stop) {
        state_ = kPlayStatePaused;
    }
}

void SimulatedPlayer::SetUrl(const QString& path) {
    url_ = path;
    ended_ = false;
    positionUs_ = 0;
    errorText_ = unplayable.value(path);
    state_ = !errorText_.isEmpty() ? kPlayStateStopped : autoStart_ ? kPlayStatePlaying : kPlayStatePaused;
}

void SimulatedPlayer::Play() {
    ++playCalls;
    ended_ = false;
    if (errorText_.isEmpty()) state_ = kPlayStatePlaying;
}

void SimulatedPlayer::Pause() {
    ++pauseCalls;
    if (state_ == kPlayStatePlaying) state_ = kPlayStatePaused;
}

void SimulatedPlayer::Stop() {
    state_ = kPlayStateStopped;
    ended_ = false;
    positionUs_ = 0;
}

void SimulatedPlayer::SetCurrentPosition(double seconds) {
    seeks.push_back(seconds);
    ended_ = false;
    positionUs_ = ToUs(std::clamp(seconds, 0.0, duration_));
}

}  // namespace ostrelle
