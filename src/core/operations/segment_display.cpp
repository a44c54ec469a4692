#include "core/operations/segment_display.h"

#include "core/formats/time_values.h"

#include <algorithm>
#include <cmath>

namespace ostrelle {
namespace {

constexpr int kTrackStartTwips = 3890;
constexpr int kTrackWidthTwips = 9430;

}  // namespace

int MarkLeftTwips(double seconds, double lengthSeconds) {
    if (!(lengthSeconds > 0)) lengthSeconds = 60;
    const double x = kTrackStartTwips + kTrackWidthTwips * seconds / lengthSeconds;
    if (std::isnan(x)) return kTrackStartTwips;
    const double clamped =
        std::clamp(x, double{kTrackStartTwips}, double{kTrackStartTwips + kTrackWidthTwips});
    return static_cast<int>(std::nearbyint(clamped));
}

QString RangeText(const ABPair& segment) {
    return ShownTime(segment.aText) + QStringLiteral(" -- ") + ShownTime(segment.bText);
}

void SegmentDisplay::ShowABMarks(const QString& aText, const QString& bText, const QString& lengthText) {
    int length = TimeTextToSeconds(lengthText);
    if (length == 0) length = 60;
    const int xA = MarkLeftTwips(MarkTextToSeconds(aText), length);
    const int xB = MarkLeftTwips(MarkTextToSeconds(bText), length);
    window_.markCaptionBoxes[0].geometry.left = xA;
    window_.markFlags[0].geometry.left = xA;
    window_.markCaptionBoxes[1].geometry.left = xB;
    window_.markFlags[1].geometry.left = xB;
    for (int i = 0; i < 2; ++i) {
        window_.markCaptionBoxes[i].visible = true;
        window_.markFlags[i].visible = true;
    }
    window_.markCaptions[0].caption = QStringLiteral("A ") + ShownTime(aText);
    window_.markCaptions[1].caption = QStringLiteral("B ") + ShownTime(bText);
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
