#pragma once

#include "core/ports/text_aligner.h"

namespace ostrelle {

// A text aligner whose work the test finishes by hand.
class FakeTextAligner final : public TextAligner {
public:
    void Align(const QString& path, const QStringList& sentences_, const QString& voice_) override {
        path_ = path;
        sentences = sentences_;
        voice = voice_;
        running_ = true;
        result_.clear();
        problem_.reset();
    }
    void Cancel() override {
        path_.clear();
        running_ = false;
    }
    QString Path() const override { return path_; }
    bool Running() const override { return running_; }
    double Progress() const override { return running_ ? 0.5 : 1; }
    const std::vector<std::optional<PlacedSentence>>& Result() const override { return result_; }
    std::optional<Failure> Problem() const override { return problem_; }

    void Finish(std::vector<std::optional<PlacedSentence>> result, std::optional<Failure> problem = {}) {
        running_ = false;
        result_ = std::move(result);
        problem_ = std::move(problem);
        RaiseUpdate();
    }

    QStringList sentences;
    QString voice;

private:
    QString path_;
    bool running_ = false;
    std::vector<std::optional<PlacedSentence>> result_;
    std::optional<Failure> problem_;
};

}  // namespace ostrelle
