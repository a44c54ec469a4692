#pragma once

#include "core/analysis/fsrs_scheduler.h"
#include "core/model/player_state.h"
#include "core/model/window_model.h"
#include "core/operations/feature.h"
#include "core/operations/repeat_engine.h"
#include "core/ports/dialogs.h"
#include "core/ports/media_player.h"
#include "core/ports/review_store.h"

#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace ostrelle {

// The last millisecond of nowMs's day, local time: what falls due by then is due today.
qint64 EndOfToday(qint64 nowMs);

// The book of hard sentences and their review. A segment becomes hard by the learner's key, or by itself
// when its dictation or its take scores low. 复习 plays the sentences due today, across lessons, one at a
// time as a repeat run does, hides their words until asked, and schedules each by the learner's grade.
class Review final : public Feature {
public:
    static constexpr int kHardDictationBelow = 80;  // percent
    static constexpr int kHardTakeBelow = 60;       // content score
    // A sentence due again within this comes round again in the same review.
    static constexpr qint64 kLearnAheadMs = 20 * 60'000;

    struct Hooks {
        // Loads path as the current lesson, paused, with its text and segments; false when it cannot be.
        std::function<bool(const QString& path)> openLesson;
        // The current lesson's own text back in the text pane.
        std::function<void()> restoreText;
        // A passing note over the usage line.
        std::function<void(const QString&)> note;
        // A sentence was graded: the practice diary counts it.
        std::function<void()> graded;
        // Since the epoch, UTC.
        std::function<qint64()> nowMs;
    };

    Review(Window& window, PlayerState& state, MediaPlayer& player, Dialogs& dialogs, RepeatEngine& repeat,
           ReviewStore* store, Hooks hooks)
        : window_(window),
          state_(state),
          player_(player),
          dialogs_(dialogs),
          repeat_(repeat),
          store_(store),
          hooks_(std::move(hooks)) {}

    bool Owns(Command command) const override;
    void Run(Command command) override;
    void Present() override;
    // Another lesson: a review that did not open it ends.
    void LessonChanged(const QString& path) override;

    // The current segment goes into the book, or out of it.
    void ToggleHard();
    // A score below its bar makes the segment repeated now hard, with the words scored where known.
    void DictationChecked(int percent, const QString& text);
    void TakeScored(const QString& lesson, std::pair<qint64, qint64> span, int content);
    // The segments of path changed: what was kept for a segment moved goes with it; for one deleted, goes.
    void SegmentMoved(const QString& path, std::pair<qint64, qint64> from, std::pair<qint64, qint64> to);
    void SegmentsChanged(const QString& path, const std::vector<std::pair<qint64, qint64>>& spans);

    // At start-up: a note of how many sentences are due today, when any are.
    void TellDue();
    void Start();
    void Stop();
    void Reveal();
    void GradeCard(Grade grade);

    bool On() const { return on_; }
    // Due by the end of today, as last counted.
    int DueToday() const { return dueToday_; }
    const FsrsScheduler& Scheduler() const { return scheduler_; }

private:
    // The sentence repeated now, when it is of the loaded lesson.
    std::optional<HardSentence> CurrentSpan() const;
    void MakeHard(HardSentence sentence);
    void Recount();
    void Reload(const QString& path);
    // Plays card index of the queue; a lesson that cannot be opened is passed over.
    void PlayCard(std::size_t index);
    qint64 Now() const;
    bool Failed(const Result<void>& stored);

    Window& window_;
    PlayerState& state_;
    MediaPlayer& player_;
    Dialogs& dialogs_;
    RepeatEngine& repeat_;
    ReviewStore* store_;
    Hooks hooks_;
    FsrsScheduler scheduler_;

    QString lesson_;  // whose hard spans are known
    std::vector<std::pair<qint64, qint64>> hardSpans_;
    int dueToday_ = 0;
    bool counted_ = false;
    bool failureTold_ = false;

    bool on_ = false;
    bool opening_ = false;  // the review itself loads a lesson
    std::vector<HardSentence> queue_;
    std::size_t card_ = 0;
    bool revealed_ = false;
    int graded_ = 0;
};

}  // namespace ostrelle
