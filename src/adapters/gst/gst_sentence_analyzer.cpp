#include "adapters/gst/gst_sentence_analyzer.h"

#include "adapters/gst/audio_file_decoding.h"
#include "adapters/gst/gst_support.h"
#include "base/background_jobs.h"
#include "core/formats/waveform_cache.h"

#include <QMetaObject>

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace ostrelle {

namespace {

using Clock = std::chrono::steady_clock;

// How long the worker waits for audio before it looks at the bus and at being stopped again.
constexpr GstClockTime kPollNs = 100 * GST_MSECOND;
// How often a running analysis tells the UI thread its progress.
constexpr std::chrono::milliseconds kPublishInterval{100};
// A pipeline that delivers nothing for this long is stuck (a file no element can make sense of).
constexpr std::chrono::seconds kStallTimeout{15};

// A short queue in the sink: the decoder waits for the detector rather than filling memory.
const char* const kPipeline =
    "uridecodebin name=decoder expose-all-streams=false ! audioconvert ! audioresample quality=2 ! "
    "appsink name=sink sync=false enable-last-sample=false max-buffers=16 "
    "caps=audio/x-raw,format=F32LE,layout=interleaved,channels=1,rate=16000";

}  // namespace

struct GstSentenceAnalyzer::Job {
    Job(QString path_, double fromSeconds_) : path(std::move(path_)), fromSeconds(fromSeconds_) {}

    const QString path;
    const double fromSeconds;

    std::thread thread;  // started and joined by the UI thread
    std::atomic<bool> stopped{false};
    std::atomic<bool> finished{false};

    std::mutex mutex;  // guards everything below
    double progress = 0;
    bool done = false;
    std::vector<Sentence> sentences;
    std::optional<Failure> problem;
    bool takePosted = false;  // a Take() is queued that will see everything above

    // Runs on the job's thread; post hands news to the UI thread.
    void Run(const std::function<void()>& post) {
        std::vector<Sentence> found;
        std::optional<Failure> trouble;
        const ostrelle::Result<AudioFileIdentity> audio = IdentifyAudioFile(path);
        if (!audio.ok())
            trouble = audio.failure();
        else
            trouble = Decode(audio.value().absolutePath, post, found);
        {
            std::lock_guard lock(mutex);
            done = true;
            problem = trouble;
            if (!trouble) {
                sentences = std::move(found);
                progress = 1;
            }
        }
        if (!stopped) post();
        finished = true;
    }

    // Decodes the file from fromSeconds into found; what went wrong, or nothing.
    std::optional<Failure> Decode(const QString& absolutePath, const std::function<void()>& post,
                                  std::vector<Sentence>& found) {
        if (!InitGstreamer().ok()) return CannotDecode();
        const GstObjectPtr<GstElement> pipeline = LaunchPipeline(kPipeline);
        if (!pipeline) return CannotDecode();
        const GstObjectPtr<GstElement> sink(gst_bin_get_by_name(GST_BIN(pipeline.get()), "sink"));
        const GstObjectPtr<GstBus> bus(gst_element_get_bus(pipeline.get()));
        std::optional<Failure> trouble = CannotDecode();
        if (sink && SetDecoderFile(pipeline.get(), absolutePath))
            trouble = Pull(pipeline.get(), GST_APP_SINK(sink.get()), bus.get(), post, found);
        // Joins the streaming threads before the pipeline goes.
        gst_element_set_state(pipeline.get(), GST_STATE_NULL);
        return trouble;
    }

    // Waits for the pipeline to preroll, then seeks to fromSeconds. False when it cannot decode.
    bool Preroll(GstElement* pipeline, GstBus* bus) {
        if (gst_element_set_state(pipeline, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE) return false;
        const auto deadline = Clock::now() + kStallTimeout;
        for (;;) {
            if (stopped) return true;
            if (Clock::now() > deadline) return false;
            const GstMessagePtr message(gst_bus_timed_pop_filtered(
                bus, kPollNs, static_cast<GstMessageType>(GST_MESSAGE_ERROR | GST_MESSAGE_ASYNC_DONE)));
            if (!message) continue;
            if (GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_ERROR) return false;
            break;
        }
        // A stream that cannot seek is read from its start; the audio before fromSeconds is left out.
        if (fromSeconds > 0)
            gst_element_seek_simple(pipeline, GST_FORMAT_TIME,
                                    static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                                    static_cast<gint64>(fromSeconds * GST_SECOND));
        return gst_element_set_state(pipeline, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE;
    }

    std::optional<Failure> Pull(GstElement* pipeline, GstAppSink* sink, GstBus* bus,
                                const std::function<void()>& post, std::vector<Sentence>& found) {
        if (!Preroll(pipeline, bus)) return CannotDecode();
        SentenceDetector detector(kSampleRate);
        double firstSeconds = -1;  // the media time of the first sample fed
        gint64 durationNs = 0;
        auto lastData = Clock::now();
        auto lastPublish = Clock::now();
        while (!stopped) {
            if (GstSample* sample = gst_app_sink_try_pull_sample(sink, kPollNs)) {
                Feed(sample, detector, firstSeconds);
                gst_sample_unref(sample);
                lastData = Clock::now();
            } else if (gst_app_sink_is_eos(sink)) {
                break;
            }
            const GstMessagePtr message(gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR));
            if (message || Clock::now() - lastData > kStallTimeout) return CannotDecode();
            if (Clock::now() - lastPublish < kPublishInterval) continue;
            lastPublish = Clock::now();
            if (durationNs <= 0) gst_element_query_duration(pipeline, GST_FORMAT_TIME, &durationNs);
            const double lengthSeconds = static_cast<double>(durationNs) / GST_SECOND - fromSeconds;
            if (lengthSeconds > 0 && firstSeconds >= 0) {
                const double part = (firstSeconds - fromSeconds + detector.FedSeconds()) / lengthSeconds;
                std::lock_guard lock(mutex);
                progress = std::clamp(part, 0.0, 0.99);
            }
            post();
        }
        if (stopped) return {};
        if (firstSeconds < 0 || detector.FedSeconds() <= 0) return NoSound();
        found = detector.Finish();
        for (Sentence& sentence : found) {
            sentence.start += firstSeconds;
            sentence.end += firstSeconds;
        }
        return {};
    }

    // Feeds the sample's audio from fromSeconds on to the detector.
    void Feed(GstSample* sample, SentenceDetector& detector, double& firstSeconds) const {
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        GstMapInfo map;
        if (!buffer || !gst_buffer_map(buffer, &map, GST_MAP_READ)) return;
        const auto* samples = reinterpret_cast<const float*>(map.data);
        std::size_t count = map.size / sizeof(float);
        std::size_t skip = 0;
        if (firstSeconds < 0) {
            const GstClockTime pts = GST_BUFFER_PTS(buffer);
            const double at = GST_CLOCK_TIME_IS_VALID(pts) ? static_cast<double>(pts) / GST_SECOND : 0;
            if (at < fromSeconds)
                skip = std::min(count, static_cast<std::size_t>(std::ceil((fromSeconds - at) * kSampleRate)));
            if (skip < count) firstSeconds = at + static_cast<double>(skip) / kSampleRate;
        }
        if (skip < count) detector.Feed(samples + skip, count - skip);
        gst_buffer_unmap(buffer, &map);
    }
};

GstSentenceAnalyzer::GstSentenceAnalyzer() = default;

GstSentenceAnalyzer::~GstSentenceAnalyzer() {
    Stop();
    JoinAll(stopped_);
}

void GstSentenceAnalyzer::Analyze(const QString& path, double fromSeconds) {
    Stop();
    CollectFinished();
    path_ = path;
    running_ = true;
    progress_ = 0;
    sentences_.clear();
    problem_.reset();
    auto job = std::make_shared<Job>(path, std::max(0.0, fromSeconds));
    StartJob(
        job, [this, job] { job->Run([this, job] { Post(job); }); },
        [this](const std::shared_ptr<Job>& unstarted) {
            unstarted->done = true;
            unstarted->problem = CannotDecode();
            unstarted->finished = true;
            Post(unstarted);
        });
    job_ = std::move(job);
}

void GstSentenceAnalyzer::Cancel() {
    Stop();
    path_.clear();
    running_ = false;
    progress_ = 0;
    sentences_.clear();
    problem_.reset();
}

void GstSentenceAnalyzer::Stop() {
    if (!job_) return;
    job_->stopped = true;
    stopped_.push_back(std::move(job_));
}

void GstSentenceAnalyzer::CollectFinished() {
    JoinFinished(stopped_);
}

void GstSentenceAnalyzer::Post(const std::shared_ptr<Job>& job) {
    PostOnce(&eventContext_, job, [this](const std::shared_ptr<Job>& posted) { Take(posted); });
}

void GstSentenceAnalyzer::Take(const std::shared_ptr<Job>& job) {
    if (job != job_) return;
    {
        std::lock_guard lock(job->mutex);
        job->takePosted = false;
        progress_ = job->progress;
        if (job->done) {
            running_ = false;
            sentences_ = std::move(job->sentences);
            problem_ = job->problem;
        }
    }
    if (!running_) {
        // Finished: its thread is joined with the next analysis's collection.
        stopped_.push_back(std::move(job_));
        job_.reset();
    }
    RaiseUpdate();
}

}  // namespace ostrelle
