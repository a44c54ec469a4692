#include "core/operations/segment_display.h"

#include "core/formats/time_values.h"

#include <algorithm>
#include <cmath>

namespace ostrelle {

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
    return ShownTime(segment.aText) + QStringLiteral(" -- ") + ShownTime(segment.bText);
}

void SegmentDisplay::ShowABMarks(const QString& aText, const QString& bText, const QString& lengthText) {
    int length = TimeTextToSeconds(lengthText);
    if (length == 0) length = 60;
    PlaceMarks(aText, bText, length);
    for (int i = 0; i < 2; ++i) {
        window_.markCaptionBoxes[i].visible = true;
        window_.markFlags[i].visible = true;
    }
    window_.markCaptions[0].caption = QStringLiteral("A ") + ShownTime(aText);
    window_.markCaptions[1].caption = QStringLiteral("B ") + ShownTime(bText);
}

void SegmentDisplay::PlaceMarks(const QString& aText, const QString& bText, double lengthSeconds) {
    const std::array<QString, 2> texts = {aText, bText};
    for (int i = 0; i < 2; ++i) {
        const int x = MarkLeftTwips(MarkTextToSeconds(texts[i]), lengthSeconds);
        window_.markCaptionBoxes[i].geometry.left = window_.markFlags[i].geometry.left = x;
    }
}

void SegmentDisplay::ResetABControls() {
    Window& w = window_;
    EnablePair(w.playRepeatButton, w.playRepeatItem, false);
    EnablePair(w.setAButton, w.setAItem, false);
    EnablePair(w.nextSegmentButton, w.nextSegmentItem, false);
    EnablePair(w.previousSegmentButton, w.previousSegmentItem, false);
    EnablePair(w.deleteSegmentButton, w.deleteSegmentItem, false);
    EnablePair(w.deleteAllSegmentsButton, w.deleteAllSegmentsItem, false);
    w.segmentNumberLabel.caption.clear();
    w.segmentCountLabel.caption.clear();
    w.segmentRangeLabel.caption = QStringLiteral(" -- ");
    for (int i = 0; i < 2; ++i) {
        w.markFlags[i].visible = false;
        w.markCaptionBoxes[i].visible = false;
    }
}

}  // namespace ostrelle
