#pragma once

#include "core/formats/segment_text.h"
#include "core/model/window_model.h"

#include <array>

namespace ostrelle {

// Left edge in twips of a mark at t seconds into a file of lengthSeconds: the track's left end at the start,
// its right end at the end, rounded half to even, and kept on that track.
int MarkLeftTwips(double seconds, double lengthSeconds);

// A mark's flag as drawn: its bar (the tip below it included) and where the tip stands.
struct FlagPlace {
    TwipsRect bar;
    FlagTip tip = FlagTip::Middle;
};
inline constexpr int kFlagWidthTwips = 585;
inline constexpr int kFlagHeightTwips = 360;
inline constexpr int kFlagMiddleTipTwips = 285;  // from the bar's left edge: 19 of its 39 pixels

// Each flag's bar centred over its mark; where A's and B's would cover each other, A's stands to the left of
// its mark and B's to the right, so that both stay in sight.
std::array<FlagPlace, 2> MarkFlagPlaces(const Window& window);

// The segment range label's text: "A -- B", to tenths where the marks carry a fraction.
QString RangeText(const ABPair& segment);

// The A and B marks over the player's position bar and the segment counters of the repeat group.
class SegmentDisplay {
public:
    explicit SegmentDisplay(Window& window) : window_(window) {}

    // Places, captions and shows both marks. A length that reads as 0 s counts as one minute.
    void ShowABMarks(const QString& aText, const QString& bText, const QString& lengthText);
    // Places both marks over a file of lengthSeconds; whether they show and their captions stay.
    void PlaceMarks(const QString& aText, const QString& bText, double lengthSeconds);
    // No segment is current: segment commands off, counters blank, marks hidden.
    void ResetABControls();

private:
    Window& window_;
};

}  // namespace ostrelle
