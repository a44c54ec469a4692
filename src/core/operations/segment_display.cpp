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

void SegmentDisplay::ShowABMarks(const QString& aText, const QString& bText, const QString& lengthText) {
    int length = TimeTextToSeconds(lengthText);
    if (length == 0) length = 60;
    const int xA = MarkLeftTwips(TimeTextToSeconds(aText), length);
    const int xB = MarkLeftTwips(TimeTextToSeconds(bText), length);
    window_.picture2[0].geometry.left = xA;
    window_.image1[0].geometry.left = xA;
    window_.picture2[1].geometry.left = xB;
    window_.image1[1].geometry.left = xB;
    for (int i = 0; i < 2; ++i) {
        window_.picture2[i].visible = true;
        window_.image1[i].visible = true;
    }
    window_.label3[0].caption = QStringLiteral("A ") + aText;
    window_.label3[1].caption = QStringLiteral("B ") + bText;
}

void SegmentDisplay::ResetABControls() {
    Window& w = window_;
    EnablePair(w.aeroButton1[2], w.idmPlayReread, false);
    EnablePair(w.aeroButton1[3], w.idmAPoint, false);
    EnablePair(w.aeroButton1[7], w.idmNext, false);
    EnablePair(w.aeroButton1[8], w.idmPre, false);
    EnablePair(w.aeroButton4[0], w.idmDeleteCurrentAB, false);
    EnablePair(w.aeroButton4[1], w.idmDeleteAB, false);
    w.label7[0].caption.clear();
    w.label7[1].caption.clear();
    w.label7[2].caption = QStringLiteral(" -- ");
    for (int i = 0; i < 2; ++i) {
        w.image1[i].visible = false;
        w.picture2[i].visible = false;
    }
}

}  // namespace ostrelle
