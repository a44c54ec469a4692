#pragma once

#include "core/ports/sentence_analyzer.h"

namespace ostrelle {

// A sentence analyser whose work the test finishes by hand.
class FakeSentenceAnalyzer final : public SentenceAnalyzer {
public:
    void Analyze(const QString& path, double fromSeconds) override {
        path_ = path;
        from = fromSeconds;
        running_ = true;
        progress_ = 0;
        result_.clear();
        problem_.reset();
    }
    void Cancel() override {
        path_.clear();
        running_ = false;
        result_.clear();
        problem_.reset();
    }
    QString Path() const override { return path_; }
    bool Running() const override { return running_; }
    double Progress() const override { return progress_; }
    const std::vector<Sentence>& Result() const override { return result_; }
    std::optional<Failure> Problem() const override { return problem_; }

    void Advance(double progress) {
        progress_ = progress;
        RaiseUpdate();
    }
    void Finish(std::vector<Sentence> result, std::optional<Failure> problem = {}) {
        running_ = false;
        progress_ = 1;
        result_ = std::move(result);
        problem_ = std::move(problem);
        RaiseUpdate();
    }

    double from = -1;

private:
    QString path_;
    bool running_ = false;
    double progress_ = 0;
    std::vector<Sentence> result_;
    std::optional<Failure> problem_;
};

}  // namespace ostrelle
