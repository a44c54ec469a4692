#include "adapters/gst/gst_take_scorer.h"

#include "adapters/gst/audio_file_decoding.h"
#include "base/background_jobs.h"

#include <atomic>
#include <mutex>
#include <thread>

namespace ostrelle {

struct GstTakeScorer::Job {
    QString lessonPath;
    double from = 0;
    double to = 0;
    QString takePath;
    std::atomic<bool> stopped{false};
    std::atomic<bool> finished{false};
    std::mutex mutex;  // guards what follows
    bool takePosted = false;
    std::optional<TakeScore> result;
    std::optional<Failure> problem;
    std::thread thread;

    void Run(const std::function<void()>& post) {
        std::vector<float> original, take;
        const auto into = [](std::vector<float>& samples) {
            return [&samples](const float* piece, std::size_t count) {
                samples.insert(samples.end(), piece, piece + count);
            };
        };
        std::optional<Failure> trouble;
        std::optional<TakeScore> score;
        if (const ostrelle::Result<void> part =
                DecodeSpeechPart(lessonPath, from, to, into(original), &stopped);
            !part.ok())
            trouble = part.failure();
        else if (const ostrelle::Result<void> taken = DecodeSpeech(takePath, into(take), &stopped);
                 !taken.ok())
            trouble = taken.failure();
        else if (!stopped)
            score = ScoreTake(original, take);
        {
            std::lock_guard lock(mutex);
            problem = trouble;
            result = std::move(score);
        }
        if (!stopped) post();
        finished = true;
    }
};

GstTakeScorer::GstTakeScorer() = default;

GstTakeScorer::~GstTakeScorer() {
    Stop();
    JoinAll(stopped_);
}

void GstTakeScorer::Score(const QString& lessonPath, double fromSeconds, double toSeconds,
                          const QString& takePath) {
    Stop();
    JoinFinished(stopped_);
    takePath_ = takePath;
    running_ = true;
    result_.reset();
    problem_.reset();
    auto job = std::make_shared<Job>();
    job->lessonPath = lessonPath;
    job->from = fromSeconds;
    job->to = toSeconds;
    job->takePath = takePath;
    job_ = job;
    const auto post = [this, job] {
        PostOnce(&context_, job, [this](const std::shared_ptr<Job>& posted) { Take(posted); });
    };
    StartJob(
        job, [job, post] { job->Run(post); },
        [post](const std::shared_ptr<Job>& unstarted) {
            unstarted->problem = Failure{FailureCode::NotAudio, {}};
            unstarted->finished = true;
            post();
        });
}

void GstTakeScorer::Cancel() {
    Stop();
    takePath_.clear();
    running_ = false;
    result_.reset();
    problem_.reset();
}

void GstTakeScorer::Stop() {
    if (!job_) return;
    job_->stopped = true;
    stopped_.push_back(std::move(job_));
    job_.reset();
}

void GstTakeScorer::Take(const std::shared_ptr<Job>& job) {
    if (job != job_) return;
    {
        std::lock_guard lock(job->mutex);
        job->takePosted = false;
        running_ = false;
        result_ = job->result;
        problem_ = job->problem;
    }
    stopped_.push_back(std::move(job_));
    job_.reset();
    RaiseUpdate();
}

}  // namespace ostrelle
