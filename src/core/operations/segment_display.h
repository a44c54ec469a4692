#pragma once

#include "core/formats/segment_text.h"
#include "core/model/window_model.h"

namespace ostrelle {

// Left edge in twips of a mark at t seconds into a file of lengthSeconds: 3890 at the start, 13320 at
// the end, rounded half to even, and kept on that track.
int MarkLeftTwips(double seconds, double lengthSeconds);

// The segment range label's text: "A -- B", to tenths where the marks carry a fraction.
QString RangeText(const ABPair& segment);

// The A and B marks over the player's position bar and the segment counters of the repeat group.
class SegmentDisplay {
public:
    explicit SegmentDisplay(Window& window) : window_(window) {}

    // Places, captions and shows both marks. A length that reads as 0 s counts as one minute.
    void ShowABMarks(const QString& aText, const QString& bText, const QString& lengthText);
    // No segment is current: segment commands off, counters blank, marks hidden.
    void ResetABControls();

private:
    Window& window_;
};

}  // namespace ostrelle
