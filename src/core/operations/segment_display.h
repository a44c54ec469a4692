#pragma once

#include "core/formats/segment_text.h"
#include "core/model/player_state.h"
#include "core/model/window_model.h"
#include "core/ports/media_player.h"

#include <array>

namespace ostrelle {

// Left edge in twips of a mark at t seconds into a file of lengthSeconds: the track's left end at the start,
// its right end at the end, rounded half to even, and kept on that track. A length of 0 counts as a minute.
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

// The repeat group and the A and B marks over the position bar, as they follow from the session: what the
// run's button offers, which segment commands may run, the counters, and where the marks stand.
class SegmentDisplay {
public:
    SegmentDisplay(Window& window, const PlayerState& state, const MediaPlayer& player)
        : window_(window), state_(state), player_(player) {}

    // Before each render.
    void Present();

private:
    // The length the marks measure against: the player's once it holds the lesson, else the list's.
    double LengthSeconds() const;
    void PresentMarks();

    Window& window_;
    const PlayerState& state_;
    const MediaPlayer& player_;
};

}  // namespace ostrelle
