#pragma once

#include "app/dialogs.h"
#include "app/player_state.h"
#include "app/window_model.h"
#include "playback/media_player.h"
#include "playback/repeat_engine.h"
#include "playback/segment_display.h"
#include "playback/segment_editor.h"
#include "playback/segment_store.h"
#include "playback/transport.h"
#include "playlist/duration_probe.h"
#include "playlist/playlist.h"
#include "playlist/playlist_database.h"

namespace ostrelle {

// What the controller works through; the composition (the program, or a test) owns them.
struct Adapters {
    MediaPlayer& player;
    Dialogs& dialogs;
    DurationProbe& probe;
    PlaylistDatabase* database = nullptr;  // null when it could not be opened
};

// The main window's controller: owns the window model and the player state, and routes every command
// and timer tick to the operation that handles it.
class Ostrelle {
public:
    explicit Ostrelle(const Adapters& adapters);

    Window& window() { return window_; }
    const Window& window() const { return window_; }
    PlayerState& state() { return state_; }
    const PlayerState& state() const { return state_; }

    // The click of the command buttons, indices 0 to 10; other indices do nothing.
    void RunCommand(int index);
    // The click of the two segment-deleting buttons.
    void AeroButton4_Click(int index);

    void Timer1_Timer() { playlist_.ListPlayingFile(); }
    void Timer3_Timer() { repeat_.Timer3_Timer(); }
    void Timer4_Timer() { transport_.Timer4_Timer(); }
    void Timer5_Timer() { transport_.Timer5_Timer(); }
    void Timer6_Timer() { playlist_.Timer6_Timer(); }

    RepeatEngine& repeat() { return repeat_; }
    SegmentEditor& segmentEditor() { return editor_; }
    SegmentDisplay& segmentDisplay() { return display_; }
    Playlist& playlist() { return playlist_; }
    Transport& transport() { return transport_; }

    // Starts playing an audio file and arms the listing and sequential-play timers.
    void StartAudioFile(const QString& path);

private:
    Window window_;
    PlayerState state_;
    Adapters adapters_;
    SegmentDisplay display_;
    SegmentStore store_;
    RepeatEngine repeat_;
    SegmentEditor editor_;
    Transport transport_;
    Playlist playlist_;
};

}  // namespace ostrelle
