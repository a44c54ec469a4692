#pragma once

#include "core/model/ab_pair.h"
#include "core/model/player_state.h"
#include "core/model/window_model.h"
#include "core/operations/feature.h"
#include "core/ports/take_scorer.h"

#include <functional>
#include <optional>

namespace ostrelle {

// How close each shadowing take comes to the original: scored in the background once a take is recorded
// (or replayed), told in the run's cue while it lasts and over the usage line after it, with the segment's
// last scores; a fresh take's score is kept in the history.
class TakeScoring final : public Feature {
public:
    static constexpr int kHistoryShown = 5;

    // showInCue: hands the score's words to the shadowing run's cue (empty: none).
    // scored: a fresh take's content score, with its lesson and segment.
    using ScoredHandler = std::function<void(const QString& lesson, const ABPair& segment, int content)>;
    TakeScoring(Window& window, const PlayerState& state, TakeScorer* scorer, TakeScoreHistory* history,
                std::function<void(const QString&)> showInCue, ScoredHandler scored = {})
        : window_(window),
          state_(state),
          scorer_(scorer),
          history_(history),
          showInCue_(std::move(showInCue)),
          scored_(std::move(scored)) {}

    // Scores take against segment of lesson; fresh: a take just recorded, whose score is kept.
    void Score(const QString& lesson, const ABPair& segment, const QString& take, bool fresh);
    // The scorer has news.
    void ScoreReady();
    // Drops what is shown: the segment or the run it belongs to is over.
    void Clear();

    bool Owns(Command) const override { return false; }
    void Run(Command) override {}
    void LessonChanged(const QString&) override { Clear(); }
    // What is shown goes when another segment becomes current.
    void Present() override;

    // The latest score, with the segment it belongs to.
    const std::optional<TakeScore>& Latest() const { return latest_; }

private:
    void Show(const QString& text);
    // The pitch lines and the flags on the waveform strip.
    void ShowLines(const TakeScore& score);

    Window& window_;
    const PlayerState& state_;
    TakeScorer* scorer_;
    TakeScoreHistory* history_;
    std::function<void(const QString&)> showInCue_;
    ScoredHandler scored_;
    QString lesson_;
    ABPair segment_;
    bool fresh_ = false;
    std::optional<TakeScore> latest_;
};

}  // namespace ostrelle
