#pragma once

#include "core/ports/take_scorer.h"

#include <QObject>

#include <memory>
#include <vector>

namespace ostrelle {

// TakeScorer on a thread of its own: the lesson's part and the take decoded (16 kHz mono), then
// ScoreTake. Constructed on the UI thread, whose event loop then receives the news. The destructor drops
// the work under way and waits for it.
class GstTakeScorer final : public TakeScorer {
public:
    GstTakeScorer();
    ~GstTakeScorer() override;
    GstTakeScorer(const GstTakeScorer&) = delete;
    GstTakeScorer& operator=(const GstTakeScorer&) = delete;

    void Score(const QString& lessonPath, double fromSeconds, double toSeconds,
               const QString& takePath) override;
    void Cancel() override;
    QString TakePath() const override { return takePath_; }
    bool Running() const override { return running_; }
    const std::optional<TakeScore>& Result() const override { return result_; }
    std::optional<Failure> Problem() const override { return problem_; }

private:
    struct Job;
    void Stop();
    void Take(const std::shared_ptr<Job>& job);

    QObject context_;  // on the UI thread: news are handed over there
    std::shared_ptr<Job> job_;
    std::vector<std::shared_ptr<Job>> stopped_;
    QString takePath_;
    bool running_ = false;
    std::optional<TakeScore> result_;
    std::optional<Failure> problem_;
};

}  // namespace ostrelle
