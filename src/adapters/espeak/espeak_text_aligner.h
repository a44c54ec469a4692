#pragma once

#include "core/ports/text_aligner.h"

#include <QObject>

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace ostrelle {

// TextAligner on a thread of its own: the lesson decoded by the given function (16 kHz mono), each
// sentence read by espeak-ng, the two warped together (AlignSentences). Constructed on the UI thread,
// whose event loop then receives the news. The destructor stops the work under way and waits for it.
class EspeakTextAligner final : public TextAligner {
public:
    // Decodes path, handing its samples to take piece by piece, giving up soon after stop becomes true.
    using Decode = std::function<ostrelle::Result<void>(
        const QString& path, const std::function<void(const float* samples, std::size_t count)>& take,
        const std::atomic<bool>* stop)>;

    explicit EspeakTextAligner(Decode decode);
    ~EspeakTextAligner() override;
    EspeakTextAligner(const EspeakTextAligner&) = delete;
    EspeakTextAligner& operator=(const EspeakTextAligner&) = delete;

    void Align(const QString& path, const QStringList& sentences, const QString& voice) override;
    void Cancel() override;
    QString Path() const override { return path_; }
    bool Running() const override { return running_; }
    double Progress() const override { return progress_; }
    const std::vector<std::optional<PlacedSentence>>& Result() const override { return result_; }
    std::optional<Failure> Problem() const override { return problem_; }

private:
    struct Job;
    void Stop();
    void Take(const std::shared_ptr<Job>& job);

    Decode decode_;
    QObject context_;  // on the UI thread: news are handed over there
    std::shared_ptr<Job> job_;
    std::vector<std::shared_ptr<Job>> stopped_;
    QString path_;
    bool running_ = false;
    double progress_ = 0;
    std::vector<std::optional<PlacedSentence>> result_;
    std::optional<Failure> problem_;
};

}  // namespace ostrelle
