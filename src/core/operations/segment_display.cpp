#include "core/operations/segment_display.h"

#include <algorithm>
#include <cmath>

namespace ostrelle {
namespace {

const QString kIdleCaption = QString::fromUtf8("播放");
const QString kRunCaption = QString::fromUtf8("停止");
const QString kIdleMenuCaption = QString::fromUtf8("播放(复读)");
const QString kRunMenuCaption = QString::fromUtf8("停止(复读)");

}  // namespace

int MarkLeftTwips(double seconds, double lengthSeconds) {
    constexpr double left = Window::kTrackLeftTwips, right = Window::kTrackRightTwips;
    if (!(lengthSeconds > 0)) lengthSeconds = 60;
    const double x = left + (right - left) * seconds / lengthSeconds;
    if (std::isnan(x)) return Window::kTrackLeftTwips;
    return static_cast<int>(std::nearbyint(std::clamp(x, left, right)));
}

std::array<FlagPlace, 2> MarkFlagPlaces(const Window& window) {
    std::array<FlagPlace, 2> places;
    const int a = window.markFlags[0].geometry.left, b = window.markFlags[1].geometry.left;
    const bool crowded =
        window.markFlags[0].visible && window.markFlags[1].visible && a <= b && b - a < kFlagWidthTwips;
    for (int i = 0; i < 2; ++i) {
        const TwipsRect& mark = window.markFlags[i].geometry;
        FlagPlace& place = places[i];
        place.tip = !crowded ? FlagTip::Middle : i == 0 ? FlagTip::Right : FlagTip::Left;
        const int left = place.tip == FlagTip::Middle  ? mark.left - kFlagMiddleTipTwips
                         : place.tip == FlagTip::Right ? mark.left - kFlagWidthTwips
                                                       : mark.left;
        place.bar = {left, mark.top, kFlagWidthTwips, kFlagHeightTwips};
    }
    return places;
}

QString RangeText(const ABPair& segment) {
    return ShownMark(segment.a) + QStringLiteral(" -- ") + ShownMark(segment.b);
}

double SegmentDisplay::LengthSeconds() const {
    if (player_.Duration() > 0 && player_.Url() == state_.abListPath) return player_.Duration();
    return static_cast<double>(state_.listedLengthMs) / 1000;
}

void SegmentDisplay::Present() {
    Window& w = window_;
    const PlayerState& s = state_;
    const ABPair* segment = s.RepeatedSegment();
    const bool running = s.run != PlayerState::RunPhase::Off;

    w.playRepeatButton.caption = s.buttonOffersStop ? kRunCaption : kIdleCaption;
    w.playRepeatItem.caption = s.menuOffersStop ? kRunMenuCaption : kIdleMenuCaption;
    EnablePair(w.playRepeatButton, w.playRepeatItem, segment && !s.pendingA);
    // A new segment is marked between runs.
    EnablePair(w.setAButton, w.setAItem, !s.markingOff && !s.pendingA && !running);
    EnablePair(w.setBButton, w.setBItem, s.pendingA.has_value());
    const auto canStep = [&s](int delta) {
        if (!s.StoredSegmentCurrent()) return false;
        const int to = *s.abIndex + delta;
        return to >= 0 && to < static_cast<int>(s.abList.size());
    };
    EnablePair(w.nextSegmentButton, w.nextSegmentItem, canStep(+1));
    EnablePair(w.previousSegmentButton, w.previousSegmentItem, canStep(-1));
    EnablePair(w.deleteSegmentButton, w.deleteSegmentItem, s.StoredSegmentCurrent());
    EnablePair(w.deleteAllSegmentsButton, w.deleteAllSegmentsItem,
               segment && !s.pendingA && !s.abList.empty());

    w.passesLeftLabel.caption =
        running ? QString::fromUtf8("剩") + QString::number(s.repeatLeft) + QString::fromUtf8("次")
                : QString();
    w.repeatTick = {running, kRepeatTickMs};

    // Until a lesson is loaded the group shows its design texts.
    if (s.abListPath.isEmpty() && !segment && !s.pendingA) return;
    w.segmentNumberLabel.caption =
        s.abIndex && segment && !s.looseSegment ? QString::number(*s.abIndex + 1) : QString();
    w.segmentCountLabel.caption = s.abList.empty() ? QString() : QString::number(s.abList.size());
    w.segmentRangeLabel.caption = s.pendingA && s.refusedB ? QString::fromUtf8("B 点须在 A 点之后")
                                  : segment                ? RangeText(*segment)
                                                           : QStringLiteral(" -- ");
    PresentMarks();
}

void SegmentDisplay::PresentMarks() {
    Window& w = window_;
    const ABPair* segment = state_.RepeatedSegment();
    const std::array<bool, 2> shown = {state_.pendingA || segment, !state_.pendingA && segment};
    std::array<MarkTime, 2> marks;
    if (segment) marks = {segment->a, segment->b};
    if (state_.pendingA) marks[0] = *state_.pendingA;
    const double length = LengthSeconds();
    for (int i = 0; i < 2; ++i) {
        w.markFlags[i].visible = w.markCaptionBoxes[i].visible = shown[i];
        if (!shown[i]) continue;
        w.markCaptionBoxes[i].geometry.left = w.markFlags[i].geometry.left =
            MarkLeftTwips(marks[i].Seconds(), length);
        w.markCaptions[i].caption =
            (i == 0 ? QStringLiteral("A ") : QStringLiteral("B ")) + ShownMark(marks[i]);
    }
}

}  // namespace ostrelle
