#include "core/operations/repeat_engine.h"

#include "core/formats/time_values.h"

#include <algorithm>

namespace ostrelle {
namespace {

const QString kIdleCaption = QString::fromUtf8("播放");
const QString kRunCaption = QString::fromUtf8("停止");
const QString kIdleMenuCaption = QString::fromUtf8("播放(复读)");
const QString kRunMenuCaption = QString::fromUtf8("停止(复读)");

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
    // ... and pauses for no time at all.
    return LeadingDigit(window_.pauseBox.text).value_or(0) * kTicksPerSecond;
}

void RepeatEngine::PlayRepeat() {
    Window& w = window_;
    if (state_.buttonOffersStop) {
        StopRepeatRun({.pausePlayer = true,
                       .seekToA = true,
                       .captions = RunEnding::Captions::ButtonAndMenu,
                       .enableSetA = true});
        return;
    }
    state_.buttonOffersStop = state_.menuOffersStop = true;
    Present();
    EnablePair(w.setAButton, w.setAItem, false);

    const double a = MarkTextToSeconds(state_.aPoint);
    const double b = MarkTextToSeconds(state_.bPoint);
    // With B after A the player itself stops at B; otherwise the first tick ends the pass.
    player_.SetStopPoint(b > a ? std::optional<double>(b) : std::nullopt);
    player_.SetCurrentPosition(a);
    state_.runPasses = RepeatCount();
    speed_.StartPass(0, state_.runPasses);
    player_.Play();

    w.repeatTick = {true, kRepeatTickMs};
    state_.repeatLeft = state_.runPasses;
    state_.pauseTicks = PauseTicksSetting();
    state_.pausing = false;
    ShowPassesLeft();
}

void RepeatEngine::Tick() {
    if (state_.pausing) {
        if (--state_.pauseTicks > 0) return;
        state_.pausing = false;
        speed_.StartPass(state_.runPasses - state_.repeatLeft, state_.runPasses);
        player_.Play();
        state_.pauseTicks = PauseTicksSetting();
        return;
    }
    const double b = MarkTextToSeconds(state_.bPoint);
    if (player_.CurrentPosition() < b) return;

    player_.Pause();
    player_.SetCurrentPosition(MarkTextToSeconds(state_.aPoint));
    --state_.repeatLeft;
    ShowPassesLeft();
    if (state_.repeatLeft > 0) {
        state_.pausing = true;
        return;
    }
    // As after a stop, the learner can mark the next sentence at once.
    StopRepeatRun({.captions = RunEnding::Captions::ButtonAndMenu, .enableSetA = true});
}

void RepeatEngine::StopRepeatRun(const RunEnding& ending) {
    window_.repeatTick.enabled = false;
    window_.passesLeftLabel.caption.clear();
    state_.pausing = false;
    // Normal playing after a run must never be cut short at the old B, nor keep a pass's speed.
    player_.SetStopPoint(std::nullopt);
    speed_.EndRun();
    if (ending.pausePlayer) player_.Pause();
    if (ending.seekToA) player_.SetCurrentPosition(MarkTextToSeconds(state_.aPoint));
    SetIdleCaptions(ending.captions);
    if (ending.enableSetA) EnablePair(window_.setAButton, window_.setAItem, true);
}

void RepeatEngine::SetIdleCaptions(RunEnding::Captions which) {
    if (which == RunEnding::Captions::Keep) return;
    state_.buttonOffersStop = false;
    if (which == RunEnding::Captions::ButtonAndMenu) state_.menuOffersStop = false;
    Present();
}

bool RepeatEngine::CanStep(int delta) const {
    if (!state_.segmentShown || state_.awaitingB) return false;
    const int to = state_.abIndex + delta;
    return to >= 0 && to < static_cast<int>(state_.abList.size());
}

void RepeatEngine::Present() {
    window_.playRepeatButton.caption = state_.buttonOffersStop ? kRunCaption : kIdleCaption;
    window_.playRepeatItem.caption = state_.menuOffersStop ? kRunMenuCaption : kIdleMenuCaption;
    window_.segmentNumberLabel.caption =
        state_.segmentShown ? QString::number(state_.abIndex + 1) : QString();
    EnablePair(window_.setBButton, window_.setBItem, state_.awaitingB);
    EnablePair(window_.nextSegmentButton, window_.nextSegmentItem, CanStep(+1));
    EnablePair(window_.previousSegmentButton, window_.previousSegmentItem, CanStep(-1));
}

void RepeatEngine::ShowPassesLeft() {
    window_.passesLeftLabel.caption =
        QString::fromUtf8("剩") + QString::number(state_.repeatLeft) + QString::fromUtf8("次");
}

void RepeatEngine::LoadSegment(int index) {
    state_.aPoint = state_.abList[index].aText;
    state_.bPoint = state_.abList[index].bText;
}

void RepeatEngine::ShowCurrentSegment() {
    display_.ShowABMarks(state_.aPoint, state_.bPoint, state_.lengthText);
    const int last = static_cast<int>(state_.abList.size()) - 1;
    state_.segmentShown = true;
    Present();
    window_.segmentCountLabel.caption = QString::number(last + 1);
    window_.segmentRangeLabel.caption = RangeText({state_.aPoint, state_.bPoint});
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
    state_.abIndex = index;
    LoadSegment(index);
    ShowCurrentSegment();
}

void RepeatEngine::StepSegment(int delta) {
    StopRepeatRun({.pausePlayer = true, .captions = RunEnding::Captions::ButtonAndMenu});
    // A file without segments has nothing to step to.
    if (state_.abList.empty()) return;
    const int last = static_cast<int>(state_.abList.size()) - 1;
    state_.abIndex = std::clamp(state_.abIndex + delta, 0, last);
    LoadSegment(state_.abIndex);
    ShowCurrentSegment();
}

}  // namespace ostrelle
