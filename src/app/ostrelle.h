#pragma once

#include "app/player_state.h"
#include "app/window_model.h"
#include "playback/repeat_engine.h"
#include "playback/segment_display.h"

namespace ostrelle {

class MediaPlayer;

// The main window's controller: owns the window model and the player state, and routes every command
// and timer tick to the operation that handles it. The adapters are passed in.
class Ostrelle {
public:
    explicit Ostrelle(MediaPlayer& player);

    Window& window() { return window_; }
    const Window& window() const { return window_; }
    PlayerState& state() { return state_; }
    const PlayerState& state() const { return state_; }

    // The click of the command buttons, indices 0 to 10; other indices do nothing.
    void RunCommand(int index);

    void Timer3_Timer() { repeat_.Timer3_Timer(); }

    RepeatEngine& repeat() { return repeat_; }
    SegmentDisplay& segments() { return display_; }

private:
    Window window_;
    PlayerState state_;
    MediaPlayer& player_;
    SegmentDisplay display_;
    RepeatEngine repeat_;
};

}  // namespace ostrelle
