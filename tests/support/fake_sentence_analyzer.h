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
        problem_.clear();
    }
    void Cancel() override {
        path_.clear();
        running_ = false;
        result_.clear();
        problem_.clear();
    }
    QString Path() const override { return path_; }
    bool Running() const override { return running_; }
    double Progress() const override { return progress_; }
    const std::vector<Sentence>& Result() const override { return result_; }
    QString Problem() const override { return problem_; }

    void Advance(double progress) {
        progress_ = progress;
        RaiseUpdate();
    }
    void Finish(std::vector<Sentence> result, QString problem = {}) {
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
    QString problem_;
};

}  // namespace ostrelle
