#include "adapters/espeak/espeak_text_aligner.h"

#include "adapters/espeak/espeak_synthesizer.h"
#include "base/background_jobs.h"
#include "core/analysis/text_sentences.h"

namespace ostrelle {

struct EspeakTextAligner::Job {
    QString path;
    QStringList sentences;
    QString voice;
    std::atomic<bool> stopped{false};
    std::atomic<bool> finished{false};
    std::mutex mutex;  // guards what follows
    bool takePosted = false;
    double progress = 0;
    bool done = false;
    std::vector<std::optional<PlacedSentence>> result;
    std::optional<Failure> problem;
    std::thread thread;

    void Run(const Decode& decode, const std::function<void()>& post) {
        std::optional<Failure> trouble;
        std::vector<std::optional<PlacedSentence>> placed;
        SpeechFeatures lesson;
        const ostrelle::Result<void> audio = decode(
            path, [&lesson](const float* samples, std::size_t count) { lesson.Feed(samples, count); },
            &stopped);
        if (!audio.ok()) {
            trouble = audio.failure();
        } else {
            EspeakSynthesizer synthesizer;
            std::vector<SpeechFeatures::Track> spoken;
            for (int i = 0; i < sentences.size() && !stopped; ++i) {
                SpeechFeatures features;
                if (Speakable(sentences[i])) {
                    const ostrelle::Result<std::vector<float>> samples =
                        synthesizer.Speak(sentences[i], voice);
                    if (samples.ok()) features.Feed(samples.value().data(), samples.value().size());
                }
                // A sentence espeak-ng cannot read (a line of symbols) is simply not placed.
                spoken.push_back(features.Taken());
                {
                    std::lock_guard lock(mutex);
                    progress = 0.8 * (i + 1) / static_cast<double>(sentences.size());
                }
                post();
            }
            std::vector<bool> headings;
            for (const QString& sentence : sentences)
                headings.push_back(TextHeading(sentence));
            if (!stopped) placed = AlignSentences(lesson.Taken(), spoken, headings);
        }
        {
            std::lock_guard lock(mutex);
            done = true;
            progress = 1;
            problem = trouble;
            result = std::move(placed);
        }
        if (!stopped) post();
        finished = true;
    }
};

EspeakTextAligner::EspeakTextAligner(Decode decode) : decode_(std::move(decode)) {}

// A program that quits waits for no decode: a stopped job gives up within a tenth of a second.
EspeakTextAligner::~EspeakTextAligner() {
    Stop();
    JoinAll(stopped_);
}

void EspeakTextAligner::Align(const QString& path, const QStringList& sentences, const QString& voice) {
    Stop();
    JoinFinished(stopped_);
    path_ = path;
    running_ = true;
    progress_ = 0;
    result_.clear();
    problem_.reset();
    auto job = std::make_shared<Job>();
    job->path = path;
    job->sentences = sentences;
    job->voice = voice;
    job_ = job;
    const auto post = [this, job] {
        PostOnce(&context_, job, [this](const std::shared_ptr<Job>& posted) { Take(posted); });
    };
    StartJob(
        job, [job, decode = decode_, post] { job->Run(decode, post); },
        [post](const std::shared_ptr<Job>& unstarted) {
            unstarted->done = true;
            unstarted->progress = 1;
            unstarted->problem = Failure{FailureCode::NotAudio, {}};
            unstarted->finished = true;
            post();
        });
}

void EspeakTextAligner::Cancel() {
    Stop();
    path_.clear();
    running_ = false;
    progress_ = 0;
    result_.clear();
    problem_.reset();
}

void EspeakTextAligner::Stop() {
    if (!job_) return;
    job_->stopped = true;
    stopped_.push_back(std::move(job_));
    job_.reset();
}

void EspeakTextAligner::Take(const std::shared_ptr<Job>& job) {
    if (job != job_) return;
    {
        std::lock_guard lock(job->mutex);
        job->takePosted = false;
        progress_ = job->progress;
        if (job->done) {
            running_ = false;
            result_ = job->result;
            problem_ = job->problem;
        }
    }
    if (!running_) {
        stopped_.push_back(std::move(job_));
        job_.reset();
    }
    RaiseUpdate();
}

}  // namespace ostrelle
