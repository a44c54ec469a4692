#pragma once

#include "core/model/player_state.h"
#include "core/model/window_model.h"
#include "core/operations/segment_display.h"
#include "core/operations/speed_control.h"
#include "core/ports/media_player.h"

namespace ostrelle {

// What an operation that ends a repeat run does besides switching the tick off and blanking the
// passes-left label.
struct RunEnding {
    enum class Captions { Keep, ButtonOnly, ButtonAndMenu };
    bool pausePlayer = false;
    bool seekToA = false;
    Captions captions = Captions::Keep;
    bool enableSetA = false;
};

// Plays the current A-B segment a chosen number of times with a pause between passes, and steps between
// the file's segments. The run's state is in PlayerState with the repeat tick; a pass
// ends at the first tick at or after B, and the player is given B as its stop point so that no audio past
// B is heard.
class RepeatEngine {
public:
    static constexpr int kTicksPerSecond = 1000 / kRepeatTickMs;

    RepeatEngine(Window& window, PlayerState& state, MediaPlayer& player, SegmentDisplay& display,
                 SpeedControl& speed)
        : window_(window), state_(state), player_(player), display_(display), speed_(speed) {}

    // Starts a run unless the play-repeat button offers to stop one, which it then does.
    void PlayRepeat();
    // One repeat tick (every 10 ms during a run).
    void Tick();
    void NextSegment();
    void PreviousSegment();
    // Makes segment index (from 0) of the file's segments current, as the steps would.
    void GoToSegment(int index);
    // Whether a step (+1 or -1) has a segment to go to: from a current one, with no A waiting for its B.
    bool CanStep(int delta) const;
    // The run's captions, the counter and what the steps and set-B offer, from the state.
    void Present();
    // Ends a run: the tick goes off, the passes-left label is blanked, and ending says what else happens.
    void StopRepeatRun(const RunEnding& ending);

    // The run's pass count and pause in ticks, from the first character of the two selectors.
    int RepeatCount() const;
    int PauseTicksSetting() const;

private:
    void StepSegment(int delta);
    void SetIdleCaptions(RunEnding::Captions which);
    void ShowPassesLeft();
    void LoadSegment(int index);
    void ShowCurrentSegment();

    Window& window_;
    PlayerState& state_;
    MediaPlayer& player_;
    SegmentDisplay& display_;
    SpeedControl& speed_;
};

}  // namespace ostrelle
