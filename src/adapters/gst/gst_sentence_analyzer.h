#pragma once

#include "core/ports/sentence_analyzer.h"

#include <QObject>
#include <QString>

#include <memory>
#include <vector>

namespace ostrelle {

// SentenceAnalyzer on GStreamer. Each analysis runs on a thread of its own: the file is decoded as fast
// as it goes (uridecodebin, as for the waveform), mixed to mono at 16 kHz and fed to a SentenceDetector,
// so only the detector's frame measures are held, never the audio.
//
// Problems: the file's own failure when it cannot be identified, NotAudio (no decoder, a decoding error,
// or no progress for 15 s), NoSound (nothing decoded after fromSeconds).
//
// Constructing needs no running event loop; updates are delivered once the creating thread runs one.
// A stopped analysis is abandoned, not waited for: its thread notices within about 100 ms, ends by itself
// and is collected by a later analysis; the destructor waits for it.
class GstSentenceAnalyzer final : public SentenceAnalyzer {
public:
    static constexpr int kSampleRate = 16000;

    GstSentenceAnalyzer();
    ~GstSentenceAnalyzer() override;

    GstSentenceAnalyzer(const GstSentenceAnalyzer&) = delete;
    GstSentenceAnalyzer& operator=(const GstSentenceAnalyzer&) = delete;

    void Analyze(const QString& path, double fromSeconds) override;
    void Cancel() override;

    QString Path() const override { return path_; }
    bool Running() const override { return running_; }
    double Progress() const override { return progress_; }
    const std::vector<Sentence>& Result() const override { return sentences_; }
    std::optional<Failure> Problem() const override { return problem_; }

private:
    struct Job;  // one analysis: its thread and what it has found so far

    void Stop();
    void Post(const std::shared_ptr<Job>& job);
    void Take(const std::shared_ptr<Job>& job);
    void CollectFinished();

    QObject eventContext_;  // lives on the creating thread; the workers' news are queued to it
    std::shared_ptr<Job> job_;
    std::vector<std::shared_ptr<Job>> stopped_;  // abandoned analyses whose threads may still run
    QString path_;
    bool running_ = false;
    double progress_ = 0;
    std::vector<Sentence> sentences_;
    std::optional<Failure> problem_;
};

}  // namespace ostrelle
