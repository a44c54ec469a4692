#pragma once

#include "core/model/player_state.h"
#include "core/model/window_model.h"
#include "core/operations/documents.h"
#include "core/operations/feature.h"
#include "core/operations/repeat_engine.h"
#include "core/operations/segment_editor.h"
#include "core/ports/media_player.h"

#include <functional>

namespace ostrelle {

// The lines of a timed text (lyrics, subtitles): the one being spoken is highlighted, a double-clicked one
// is repeated, 歌词转为复读段 stores them as segments, and 显示歌词原文 shows the file as it is (kept in
// the settings file).
class TimedTextLines final : public Feature {
public:
    struct Hooks {
        std::function<void(const QString& section, const QString& key, const QString& value)> writeSetting;
        std::function<void()> textChanged;  // the raw view went on or off
    };

    TimedTextLines(Window& window, PlayerState& state, MediaPlayer& player, RepeatEngine& repeat,
                   SegmentEditor& editor, Documents& documents, Hooks hooks)
        : window_(window),
          state_(state),
          player_(player),
          repeat_(repeat),
          editor_(editor),
          documents_(documents),
          hooks_(std::move(hooks)) {}

    // The learner's choice of the raw view, from the settings file.
    void Restore(const QString& settingsFile);
    bool Owns(Command command) const override {
        return command == Command::TimedTextToSegments || command == Command::ToggleRawTimedText;
    }
    void Run(Command command) override;

    // Highlights the line being spoken.
    void Follow();
    // From the line's time to the next line's (or the end of the file) becomes the current segment, not
    // stored, repeated with the chosen count and pause.
    void LoopLine(int line);

private:
    // The lines from the one being spoken on, as segments.
    void ToSegments();

    Window& window_;
    PlayerState& state_;
    MediaPlayer& player_;
    RepeatEngine& repeat_;
    SegmentEditor& editor_;
    Documents& documents_;
    Hooks hooks_;
};

}  // namespace ostrelle
