#pragma once

#include "core/analysis/dictation_check.h"
#include "core/model/player_state.h"
#include "core/model/window_model.h"
#include "core/ports/dialogs.h"
#include "core/ports/dictation_scores.h"
#include "core/ports/media_player.h"

#include <functional>
#include <map>

namespace ostrelle {

// Dictation on a timed text: the spoken line is masked and repeated, the learner types it, and Enter shows
// what was right, missed, wrong and extra, with a score kept per file and line.
class Dictation {
public:
    // Repeats a line of the timed text as a repeat run does.
    using LoopLine = std::function<void(int line)>;

    Dictation(Window& window, PlayerState& state, MediaPlayer& player, Dialogs& dialogs,
              DictationScores* scores, LoopLine loopLine)
        : window_(window),
          state_(state),
          player_(player),
          dialogs_(dialogs),
          scores_(scores),
          loopLine_(std::move(loopLine)) {}

    void Toggle();
    void ToggleMaskAll();
    // Enter in the input line.
    void Check(const QString& typed);
    // >>| and |<< while on: the next or previous spoken line.
    void Step(int delta);
    // The timed text changed (another file, raw view): dictation ends when there is nothing to dictate.
    void TextChanged();

    bool On() const { return on_; }
    int Line() const { return line_; }

private:
    bool Dictatable(int line) const;
    int FirstLineFrom(int line, int delta) const;
    void GoTo(int line);
    void Compose();
    void Off();

    Window& window_;
    PlayerState& state_;
    MediaPlayer& player_;
    Dialogs& dialogs_;
    DictationScores* scores_;
    LoopLine loopLine_;

    bool on_ = false;
    int line_ = -1;
    std::optional<DictationResult> checked_;  // the current line's check, once Enter was pressed
    std::map<qint64, int> keptScores_;        // the file's kept scores by line start in ms
    QString scoresPath_;
};

}  // namespace ostrelle
