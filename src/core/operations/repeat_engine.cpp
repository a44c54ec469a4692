#include "core/operations/repeat_engine.h"

#include <algorithm>
#include <cmath>

namespace ostrelle {
namespace {

// The digit a selector's text starts with, or nothing for a text that starts otherwise.
std::optional<int> LeadingDigit(const QString& text) {
    if (text.isEmpty() || text[0].unicode() < u'0' || text[0].unicode() > u'9') return std::nullopt;
    return text[0].unicode() - u'0';
}

}  // namespace

int RepeatEngine::RepeatCount() const {
    // A text that names no count (the design text "Combo1", typed words) plays the segment once.
    return LeadingDigit(window_.repeatCountBox.text).value_or(1);
}

int RepeatEngine::PauseTicksSetting() const {
    // A pause as long as the sentence, as heard at the run's speed: the learner says it in that time.
    if (const std::optional<double> factor = PauseBySegmentLength(window_.pauseBox.text)) {
        const auto [a, b] = RunSpan();
        const double rate = speed_.Asked() > 0 ? speed_.Asked() : 1.0;
        return static_cast<int>(std::lround(std::max(0.0, b - a) * *factor / rate * kTicksPerSecond));
    }
    // ... and pauses for no time at all.
    return LeadingDigit(window_.pauseBox.text).value_or(0) * kTicksPerSecond;
}

std::optional<double> PauseBySegmentLength(const QString& choice) {
    if (choice == QString::fromUtf8(kPauseBySegment)) return 1.0;
    if (choice == QString::fromUtf8(kPauseBySegmentAndHalf)) return 1.5;
    return std::nullopt;
}

std::pair<double, double> RepeatEngine::RunSpan() const {
    const ABPair* segment = state_.RepeatedSegment();
    if (!segment) return {0, 0};
    return {segment->a.Seconds(), segment->b.Seconds()};
}

void RepeatEngine::PlayRepeat() {
    if (state_.buttonOffersStop) {
        StopRepeatRun({.pausePlayer = true, .seekToA = true, .captions = RunEnding::Captions::ButtonAndMenu});
        return;
    }
    state_.buttonOffersStop = state_.menuOffersStop = true;

    const auto [a, b] = RunSpan();
    // With B after A the player itself stops at B; otherwise the first tick ends the pass.
    player_.SetStopPoint(b > a ? std::optional<double>(b) : std::nullopt);
    player_.SetCurrentPosition(a);
    state_.runPasses = RepeatCount();
    speed_.StartPass(0, state_.runPasses);
    player_.Play();

    state_.run = PlayerState::RunPhase::Passing;
    state_.repeatLeft = state_.runPasses;
    state_.pauseTicks = PauseTicksSetting();
}

void RepeatEngine::Tick() {
    if (state_.run == PlayerState::RunPhase::Off) return;
    if (state_.run == PlayerState::RunPhase::Pausing) {
        if (--state_.pauseTicks > 0) return;
        state_.run = PlayerState::RunPhase::Passing;
        speed_.StartPass(state_.runPasses - state_.repeatLeft, state_.runPasses);
        player_.Play();
        state_.pauseTicks = PauseTicksSetting();
        return;
    }
    // The segment may have gone from under the run (the list cleared): nothing is left to repeat.
    if (!state_.RepeatedSegment()) {
        StopRepeatRun({.captions = RunEnding::Captions::ButtonAndMenu});
        return;
    }
    const auto [a, b] = RunSpan();
    if (player_.CurrentPosition() < b) return;

    player_.Pause();
    player_.SetCurrentPosition(a);
    --state_.repeatLeft;
    if (passPlayed_) passPlayed_();
    if (state_.repeatLeft > 0) {
        state_.run = PlayerState::RunPhase::Pausing;
        return;
    }
    // As after a stop, the learner can mark the next sentence at once.
    StopRepeatRun({.captions = RunEnding::Captions::ButtonAndMenu});
}

void RepeatEngine::StopRepeatRun(const RunEnding& ending) {
    state_.run = PlayerState::RunPhase::Off;
    // Normal playing after a run must never be cut short at the old B, nor keep a pass's speed.
    player_.SetStopPoint(std::nullopt);
    speed_.EndRun();
    if (ending.pausePlayer) player_.Pause();
    if (ending.seekToA) player_.SetCurrentPosition(RunSpan().first);
    SetIdleCaptions(ending.captions);
}

void RepeatEngine::SetIdleCaptions(RunEnding::Captions which) {
    if (which == RunEnding::Captions::Keep) return;
    state_.buttonOffersStop = false;
    if (which == RunEnding::Captions::ButtonAndMenu) state_.menuOffersStop = false;
}

bool RepeatEngine::CanStep(int delta) const {
    if (!state_.StoredSegmentCurrent()) return false;
    const int to = *state_.abIndex + delta;
    return to >= 0 && to < static_cast<int>(state_.abList.size());
}

void RepeatEngine::NextSegment() {
    StepSegment(+1);
}

void RepeatEngine::PreviousSegment() {
    StepSegment(-1);
}

void RepeatEngine::GoToSegment(int index) {
    const int last = static_cast<int>(state_.abList.size()) - 1;
    if (index < 0 || index > last) return;
    StopRepeatRun({.captions = RunEnding::Captions::ButtonAndMenu});
    state_.ForgetCurrentSegment();
    state_.abIndex = index;
}

void RepeatEngine::StepSegment(int delta) {
    StopRepeatRun({.pausePlayer = true, .captions = RunEnding::Captions::ButtonAndMenu});
    // A file without segments has nothing to step to.
    if (state_.abList.empty()) return;
    const int last = static_cast<int>(state_.abList.size()) - 1;
    const int from = state_.abIndex.value_or(0);
    state_.ForgetCurrentSegment();
    state_.abIndex = std::clamp(from + delta, 0, last);
}

}  // namespace ostrelle
