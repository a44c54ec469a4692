#pragma once

#include "core/analysis/dictation_check.h"
#include "core/model/player_state.h"
#include "core/model/window_model.h"
#include "core/operations/feature.h"
#include "core/ports/dialogs.h"
#include "core/ports/dictation_scores.h"
#include "core/ports/media_player.h"

#include <functional>
#include <map>
#include <vector>

namespace ostrelle {

// Dictation on a timed text: the spoken line is masked and repeated, the learner types it, and Enter shows
// what was right, missed, wrong and extra, with a score kept per file and line. A file with segments is
// dictated segment by segment, each with the lines spoken in it.
class Dictation final : public Feature {
public:
    // Repeat a line of the timed text, or a stored segment, as a repeat run does.
    struct Loops {
        std::function<void(int line)> line;
        std::function<void(int segment)> segment;
        // A line or segment was checked: its score and its words.
        std::function<void(int percent, const QString& text)> checked = {};
    };

    Dictation(Window& window, PlayerState& state, MediaPlayer& player, Dialogs& dialogs,
              DictationScores* scores, Loops loops)
        : window_(window),
          state_(state),
          player_(player),
          dialogs_(dialogs),
          scores_(scores),
          loops_(std::move(loops)) {}

    void Toggle();
    void ToggleMaskAll();
    // Enter in the input line.
    void Check(const QString& typed);
    // >>| and |<< while on: the next or previous spoken line.
    void Step(int delta);
    bool CanStep(int delta) const {
        return on_ && unit_ + delta >= 0 && unit_ + delta < static_cast<int>(units_.size());
    }
    // The timed text changed (raw view): dictation ends when there is nothing to dictate.
    void TextChanged();
    // Another lesson started: its lines and scores are not the dictated file's.
    void LessonChanged(const QString& path) override;
    // 听写 and 听写时遮住全部歌词.
    // While on, the steps are its own: from line to line.
    bool Owns(Command command) const override {
        return command == Command::Dictation || command == Command::DictationMaskAll ||
               (on_ && (command == Command::NextSegment || command == Command::PreviousSegment));
    }
    void Run(Command command) override {
        if (command == Command::Dictation) Toggle();
        if (command == Command::DictationMaskAll) ToggleMaskAll();
        if (command == Command::NextSegment) Step(+1);
        if (command == Command::PreviousSegment) Step(-1);
    }
    // Follows the file's segments; while on, the steps go from line to line.
    void Present() override;
    // Before each render: when the file's segments changed, they become what is dictated.
    void FollowSegments();

    bool On() const { return on_; }
    // The first line of the timed text being dictated.
    int Line() const { return unit_ >= 0 ? units_[unit_].firstLine : -1; }

private:
    // What is dictated at a time: a line, or the lines spoken in a segment.
    struct Unit {
        int firstLine = 0;
        int lastLine = 0;
        int segment = -1;    // the stored segment, or -1 for a line of its own
        qint64 startMs = 0;  // the key of its score
        QString text;
    };

    bool Dictatable(int line) const;
    std::vector<Unit> MakeUnits() const;
    int UnitAt(double seconds) const;
    void GoTo(int unit);
    void Compose();
    void Off();

    Window& window_;
    PlayerState& state_;
    MediaPlayer& player_;
    Dialogs& dialogs_;
    DictationScores* scores_;
    Loops loops_;

    bool on_ = false;
    std::vector<Unit> units_;
    int unit_ = -1;
    std::optional<DictationResult> checked_;  // the current unit's check, once Enter was pressed
    std::map<qint64, int> keptScores_;        // the file's kept scores by line start in ms
    QString scoresPath_;
    ABList unitsFrom_;  // the segments units_ were made from
};

}  // namespace ostrelle
