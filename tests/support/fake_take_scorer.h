#pragma once

#include "core/ports/take_scorer.h"

namespace ostrelle {

// A take scorer whose work the test finishes by hand.
class FakeTakeScorer final : public TakeScorer {
public:
    void Score(const QString& lesson_, double from_, double to_, const QString& take) override {
        lesson = lesson_;
        from = from_;
        to = to_;
        take_ = take;
        running_ = true;
        result_.reset();
    }
    void Cancel() override {
        take_.clear();
        running_ = false;
    }
    QString TakePath() const override { return take_; }
    bool Running() const override { return running_; }
    const std::optional<TakeScore>& Result() const override { return result_; }
    std::optional<Failure> Problem() const override { return {}; }

    void Finish(TakeScore score) {
        running_ = false;
        result_ = std::move(score);
        RaiseUpdate();
    }

    QString lesson;
    double from = 0;
    double to = 0;

private:
    QString take_;
    bool running_ = false;
    std::optional<TakeScore> result_;
};

}  // namespace ostrelle
