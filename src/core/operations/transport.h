#pragma once

#include "core/model/player_state.h"
#include "core/model/window_model.h"
#include "core/operations/feature.h"
#include "core/operations/repeat_engine.h"
#include "core/operations/segment_editor.h"
#include "core/ports/media_player.h"

#include <functional>

namespace ostrelle {

// The plain player around the repeat engine: play, pause and stop, the position display, loading a
// file's stored segments, and loading the first list entry after start-up.
class Transport final : public Feature {
public:
    using LoadCompanionText = std::function<void(const QString& audioPath)>;

    static constexpr const char* kDrillSection = "Drill";
    static constexpr const char* kResumeKey = "ResumeAtSentenceStart";
    using WriteSetting =
        std::function<void(const QString& section, const QString& key, const QString& value)>;

    Transport(Window& window, PlayerState& state, MediaPlayer& player, RepeatEngine& repeat,
              SegmentEditor& editor, LoadCompanionText loadCompanionText, WriteSetting writeSetting = {})
        : window_(window),
          state_(state),
          player_(player),
          repeat_(repeat),
          editor_(editor),
          loadCompanionText_(std::move(loadCompanionText)),
          writeSetting_(std::move(writeSetting)) {}

    bool Owns(Command command) const override {
        return command == Command::Play || command == Command::Pause || command == Command::Stop ||
               command == Command::ResumeAtSentenceStart;
    }
    void Run(Command command) override {
        if (command == Command::Play) Play();
        if (command == Command::Pause) Pause();
        if (command == Command::Stop) Stop();
        if (command == Command::ResumeAtSentenceStart) ToggleResumeAtSentenceStart();
    }

    // Play and pause act on the player only: a repeat run stays active. After the learner's pause in a
    // pass it starts the sentence again (or, with that setting off, goes on from where it was).
    // Outside a run nothing stops playing early (a nudge's preview may have left its stop point).
    void Play();
    void Pause() {
        pausedInPass_ = state_.run == PlayerState::RunPhase::Passing;
        player_.Pause();
    }
    void ToggleResumeAtSentenceStart();
    // The setting as the settings file keeps it (on unless stored off).
    void Restore(const QString& settingsFile);
    // Stop goes back to the start of the file, so a run has nothing left to go on with: it ends.
    void Stop() {
        repeat_.StopRepeatRun({.captions = RunEnding::Captions::ButtonAndMenu});
        player_.Stop();
    }
    // Every 500 ms: the playing position.
    // Tenths while a repeat run is on, where the learner judges the edges of a segment.
    void ShowPosition();

    // Ends any run and makes the first stored segment of path current; row is its grid row.
    void LoadFileSegments(const QString& path, int row);
    // Once after start-up: list entry row is opened, not played, with its text and segments.
    void LoadFirstEntry(int row = 1);

private:
    Window& window_;
    PlayerState& state_;
    MediaPlayer& player_;
    RepeatEngine& repeat_;
    SegmentEditor& editor_;
    LoadCompanionText loadCompanionText_;
    WriteSetting writeSetting_;
    bool pausedInPass_ = false;
};

}  // namespace ostrelle
