#include "adapters/gst/gst_waveform_source.h"

#include "adapters/gst/audio_file_decoding.h"
#include "adapters/gst/gst_support.h"
#include "adapters/gst/mp3_frame_span.h"
#include "base/background_jobs.h"

#include <QFile>
#include <QMetaObject>

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/audio/audio.h>
#include <gst/gst.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace ostrelle {

namespace {

constexpr qint64 kNsPerMs = 1000000;
constexpr qint64 kNsPerSecond = 1000000000;
// How often a running load hands its new buckets to the UI thread.
constexpr std::chrono::milliseconds kPublishInterval{100};
// A pipeline that delivers nothing for this long is stuck (a file no element can make sense of).
constexpr std::chrono::seconds kStallTimeout{15};
// A day of audio; timestamps beyond it are taken for garbage rather than grown into.
constexpr qint64 kMaxDayMs = 24ll * 3600 * 1000;

constexpr float kEmptyMin = std::numeric_limits<float>::infinity();
constexpr float kEmptyMax = -std::numeric_limits<float>::infinity();

const char* const kFilePipeline =
    "uridecodebin name=decoder expose-all-streams=false ! audioconvert ! "
    "appsink name=sink sync=false enable-last-sample=false "
    "caps=audio/x-raw,format={S16LE,F32LE},layout=interleaved";
// The frames of an MP3 range, handed over from memory; mpg123 gives each frame's samples, silent ones for
// the first frames after a cut, so the samples keep their places.
const char* const kMp3SpanPipeline =
    "appsrc name=source caps=audio/mpeg,mpegversion=1 ! mpegaudioparse ! mpg123audiodec ! audioconvert ! "
    "appsink name=sink sync=false enable-last-sample=false "
    "caps=audio/x-raw,format={S16LE,F32LE},layout=interleaved";
// Frames decoded before a range: the first two after a cut come out silent, the third not quite whole.
constexpr int kMp3LeadFrames = 4;

qint64 SteadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The mono mix of frames [from, to) as integer sums of the channels (S16) or float sums (F32).
template <typename Sample, typename Sum, int kFixedChannels>
void SumRange(const Sample* samples, int channels, qint64 from, qint64 to, Sum& lo, Sum& hi) {
    const int count = kFixedChannels > 0 ? kFixedChannels : channels;
    for (qint64 frame = from; frame < to; ++frame) {
        const Sample* at = samples + frame * count;
        Sum sum = 0;
        for (int c = 0; c < count; ++c)
            sum += at[c];
        lo = std::min(lo, sum);
        hi = std::max(hi, sum);
    }
}

template <typename Sample, typename Sum>
void MixedMinMax(const Sample* samples, int channels, qint64 from, qint64 to, float scale, float& lo,
                 float& hi) {
    Sum low = std::numeric_limits<Sum>::max();
    Sum high = std::numeric_limits<Sum>::lowest();
    if (channels == 1)
        SumRange<Sample, Sum, 1>(samples, channels, from, to, low, high);
    else if (channels == 2)
        SumRange<Sample, Sum, 2>(samples, channels, from, to, low, high);
    else
        SumRange<Sample, Sum, 0>(samples, channels, from, to, low, high);
    lo = static_cast<float>(low) * scale;
    hi = static_cast<float>(high) * scale;
}

}  // namespace

struct GstWaveformSource::Job {
    Job(QString path_, qint64 startMs_, qint64 endMs_, int bucketMs_)
        : path(std::move(path_)), startMs(startMs_), endMs(endMs_), bucketMs(bucketMs_) {}

    // Fixed for the job's life.
    const QString path;
    const qint64 startMs;
    const qint64 endMs;  // 0 for a whole file
    const int bucketMs;
    bool Whole() const { return endMs == 0; }
    qint64 MaxBuckets() const {
        return Whole() ? kMaxDayMs / bucketMs : (endMs - startMs + bucketMs - 1) / bucketMs;
    }

    std::thread thread;  // started and joined by the UI thread
    std::atomic<bool> stopped{false};
    std::atomic<bool> finished{false};
    std::atomic<qint64> lastDataNs{0};  // steady clock, of the last decoded buffer
    // Set before the pipeline starts: samples are placed by counting on from nextNs, not by timestamps.
    bool countFrames = false;

    std::mutex mutex;       // guards everything below
    GstBus* bus = nullptr;  // while a pipeline runs: a message wakes the worker at once
    // Merged so far; kEmptyMin/kEmptyMax where no sample has landed yet.
    std::vector<float> min;
    std::vector<float> max;
    qint64 readyBuckets = 0;  // buckets before this one are final
    qint64 nextNs = 0;        // relative to startMs: where audio without a timestamp goes
    qint64 endNs = 0;         // the end of the latest audio seen, relative to startMs
    qint64 frames = 0;
    qint64 durationMs = 0;
    bool complete = false;
    bool fromCache = false;
    std::optional<Failure> problem;
    bool takePosted = false;  // a Take() is queued that will see everything above
    bool handedOver = false;  // the final buckets have moved to the view
};

// Runs on the job's thread (Run) and on its pipeline's streaming thread (the callbacks).
struct GstWaveformSource::Worker {
    GstWaveformSource* source;
    std::shared_ptr<Job> job;
    qint64 publishedBuckets = 0;

    static GstFlowReturn NewSampleCallback(GstAppSink* sink, gpointer self) {
        Job& job = *static_cast<Job*>(self);
        GstSample* sample = gst_app_sink_pull_sample(sink);
        if (!sample) return GST_FLOW_EOS;
        if (job.stopped) {
            gst_sample_unref(sample);
            return GST_FLOW_FLUSHING;
        }
        GstAudioInfo info;
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        GstMapInfo map;
        if (buffer && gst_audio_info_from_caps(&info, gst_sample_get_caps(sample)) &&
            GST_AUDIO_INFO_RATE(&info) > 0 && GST_AUDIO_INFO_BPF(&info) > 0 &&
            gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            const GstClockTime pts = GST_BUFFER_PTS(buffer);
            std::lock_guard lock(job.mutex);
            const qint64 startNs = GST_CLOCK_TIME_IS_VALID(pts) && !job.countFrames
                                       ? static_cast<qint64>(pts) - job.startMs * kNsPerMs
                                       : job.nextNs;
            Accumulate(job, map.data, static_cast<qint64>(map.size) / GST_AUDIO_INFO_BPF(&info), info,
                       startNs);
            gst_buffer_unmap(buffer, &map);
        }
        job.lastDataNs = SteadyNs();
        gst_sample_unref(sample);
        return GST_FLOW_OK;
    }

    // Merges frames that start startNs after the job's start into its buckets. Called under job.mutex.
    static void Accumulate(Job& job, const guint8* data, qint64 frames, const GstAudioInfo& info,
                           qint64 startNs) {
        const qint64 rate = GST_AUDIO_INFO_RATE(&info);
        const int channels = GST_AUDIO_INFO_CHANNELS(&info);
        const bool isFloat = GST_AUDIO_INFO_FORMAT(&info) == GST_AUDIO_FORMAT_F32LE;
        const qint64 bucketNs = job.bucketMs * kNsPerMs;
        const qint64 maxBuckets = job.MaxBuckets();
        auto timeOf = [&](qint64 frame) { return startNs + frame * kNsPerSecond / rate; };

        // Frames before the start (a seek lands a little early) are left out.
        qint64 frame = startNs >= 0
                           ? 0
                           : static_cast<qint64>(std::ceil(static_cast<double>(-startNs) *
                                                           static_cast<double>(rate) / kNsPerSecond));
        qint64 bucket = 0;
        while (frame < frames) {
            bucket = timeOf(frame) / bucketNs;
            if (bucket >= maxBuckets) break;
            // The first frame of the next bucket.
            const qint64 untilNext = (bucket + 1) * bucketNs - startNs;
            const qint64 next =
                std::clamp((untilNext * rate + kNsPerSecond - 1) / kNsPerSecond, frame + 1, frames);
            float lo = 0;
            float hi = 0;
            if (isFloat)
                MixedMinMax<float, float>(reinterpret_cast<const float*>(data), channels, frame, next,
                                          1.0f / static_cast<float>(channels), lo, hi);
            else
                MixedMinMax<gint16, int>(reinterpret_cast<const gint16*>(data), channels, frame, next,
                                         1.0f / (32768.0f * static_cast<float>(channels)), lo, hi);
            const auto index = static_cast<std::size_t>(bucket);
            if (index >= job.min.size()) {
                job.min.resize(index + 1, kEmptyMin);
                job.max.resize(index + 1, kEmptyMax);
            }
            job.min[index] = std::min(job.min[index], lo);
            job.max[index] = std::max(job.max[index], hi);
            job.frames += next - frame;
            frame = next;
        }
        job.nextNs = timeOf(frames);
        job.endNs = std::max(job.endNs, std::min(job.nextNs, maxBuckets * bucketNs));
        job.readyBuckets = std::max(job.readyBuckets, std::min<qint64>(bucket, job.min.size()));
    }

    void Run() {
        const Result<AudioFileIdentity> audio = IdentifyAudioFile(job->path);
        if (!audio.ok()) return Finish(audio.failure());
        if (job->Whole()) {
            if (std::optional<WaveformPeaks> cached = source->cache_.Find(audio.value());
                cached && cached->bucketMs == job->bucketMs) {
                std::lock_guard lock(job->mutex);
                job->min = std::move(cached->min);
                job->max = std::move(cached->max);
                job->durationMs = cached->durationMs;
                job->fromCache = true;
            }
            if (job->fromCache) return Finish({});
        }
        const std::optional<Failure> problem = Decode(audio.value().absolutePath);
        if (job->stopped) return Finish({});
        if (!problem && job->Whole()) {
            // Before completion is reported, so that the next load of the file finds it.
            WaveformPeaks peaks;
            peaks.bucketMs = job->bucketMs;
            {
                std::lock_guard lock(job->mutex);
                peaks.durationMs = (job->endNs + kNsPerMs / 2) / kNsPerMs;
                peaks.min = job->min;
                peaks.max = job->max;
            }
            for (std::size_t i = 0; i < peaks.min.size(); ++i) {
                if (peaks.min[i] > peaks.max[i]) peaks.min[i] = peaks.max[i] = 0;
            }
            (void)source->cache_.Store(audio.value(), peaks);
        }
        Finish(problem);
    }

    // Ends the job with problem, or complete without one.
    void Finish(const std::optional<Failure>& problem) {
        {
            std::lock_guard lock(job->mutex);
            if (!job->stopped) {
                if (!problem && !job->fromCache) {
                    job->durationMs = job->Whole() ? (job->endNs + kNsPerMs / 2) / kNsPerMs : job->durationMs;
                    // A range may lie past the end of the audio; a whole file must hold some.
                    if (job->frames == 0 && job->Whole()) job->problem = NoSound();
                } else {
                    job->problem = problem;
                }
                job->complete = !job->problem;
                job->readyBuckets = static_cast<qint64>(job->min.size());
            }
        }
        if (!job->stopped) source->Post(job);
        job->finished = true;
    }

    // Decodes the job's file or range into its buckets; what went wrong, or nothing.
    std::optional<Failure> Decode(const QString& absolutePath) {
        if (!InitGstreamer().ok()) return CannotDecode();
        std::optional<Mp3FrameSpan> span;
        if (!job->Whole() && job->startMs > 0 && HaveElement("mpg123audiodec"))
            span = FindMp3FrameSpan(absolutePath, job->startMs, job->endMs, kMp3LeadFrames);
        const GstObjectPtr<GstElement> pipeline = LaunchPipeline(span ? kMp3SpanPipeline : kFilePipeline);
        if (!pipeline) return CannotDecode();
        const GstObjectPtr<GstElement> sink(gst_bin_get_by_name(GST_BIN(pipeline.get()), "sink"));
        if (!sink || !(span ? FeedSpan(pipeline.get(), absolutePath, *span)
                            : SetDecoderFile(pipeline.get(), absolutePath)))
            return CannotDecode();
        GstAppSinkCallbacks callbacks{};
        callbacks.new_sample = &Worker::NewSampleCallback;
        gst_app_sink_set_callbacks(GST_APP_SINK(sink.get()), &callbacks, job.get(), nullptr);

        const GstObjectPtr<GstBus> bus(gst_element_get_bus(pipeline.get()));
        {
            std::lock_guard lock(job->mutex);
            job->bus = bus.get();
        }
        const std::optional<Failure> problem = RunPipeline(pipeline.get(), bus.get(), !span);
        {
            std::lock_guard lock(job->mutex);
            job->bus = nullptr;
        }
        // Joins the streaming threads: no callback runs after this.
        gst_element_set_state(pipeline.get(), GST_STATE_NULL);
        return problem;
    }

    // Queues the span's bytes and the end of the stream to the pipeline's source.
    bool FeedSpan(GstElement* pipeline, const QString& absolutePath, const Mp3FrameSpan& span) {
        const GstObjectPtr<GstElement> appsrc(gst_bin_get_by_name(GST_BIN(pipeline), "source"));
        QFile file(absolutePath);
        if (!appsrc || !file.open(QIODevice::ReadOnly) || !file.seek(span.beginOffset)) return false;
        const QByteArray bytes = file.read(span.endOffset - span.beginOffset);
        if (bytes.isEmpty()) return false;
        // The decoder's timestamps after a cut are guesses, but every frame gives all its samples.
        job->countFrames = true;
        {
            std::lock_guard lock(job->mutex);
            job->nextNs = span.BeginNs() - job->startMs * kNsPerMs;
        }
        g_object_set(appsrc.get(), "max-bytes", static_cast<guint64>(bytes.size()), nullptr);
        GstBuffer* buffer = gst_buffer_new_memdup(bytes.constData(), static_cast<gsize>(bytes.size()));
        return gst_app_src_push_buffer(GST_APP_SRC(appsrc.get()), buffer) == GST_FLOW_OK &&
               gst_app_src_end_of_stream(GST_APP_SRC(appsrc.get())) == GST_FLOW_OK;
    }

    std::optional<Failure> RunPipeline(GstElement* pipeline, GstBus* bus, bool mayNeedSeek) {
        // A range starts paused, so that nothing is decoded before the seek to it.
        const bool seekFirst = mayNeedSeek && !job->Whole() && job->startMs > 0;
        if (gst_element_set_state(pipeline, seekFirst ? GST_STATE_PAUSED : GST_STATE_PLAYING) ==
            GST_STATE_CHANGE_FAILURE)
            return CannotDecode();
        bool seeking = seekFirst;
        job->lastDataNs = SteadyNs();
        auto lastPublish = std::chrono::steady_clock::now();
        const auto interval = std::chrono::duration_cast<std::chrono::nanoseconds>(kPublishInterval).count();
        for (;;) {
            const GstMessagePtr message(gst_bus_timed_pop_filtered(
                bus, static_cast<GstClockTime>(interval),
                static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR | GST_MESSAGE_APPLICATION |
                                            GST_MESSAGE_ASYNC_DONE)));
            if (job->stopped) return {};
            if (message && GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_ERROR) return CannotDecode();
            if (message && GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_EOS) return {};
            if (message && GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_ASYNC_DONE && seeking) {
                seeking = false;
                // A stream that cannot seek is read from its start; the frames before the range are
                // left out anyway.
                gst_element_seek(pipeline, 1.0, GST_FORMAT_TIME,
                                 static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                                 GST_SEEK_TYPE_SET, static_cast<gint64>(job->startMs * kNsPerMs),
                                 GST_SEEK_TYPE_SET, static_cast<gint64>(job->endMs * kNsPerMs));
                job->lastDataNs = SteadyNs();
                if (gst_element_set_state(pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
                    return CannotDecode();
            }
            if (SteadyNs() - job->lastDataNs >
                std::chrono::duration_cast<std::chrono::nanoseconds>(kStallTimeout).count())
                return CannotDecode();
            if (std::chrono::steady_clock::now() - lastPublish >= kPublishInterval) {
                lastPublish = std::chrono::steady_clock::now();
                Publish(pipeline);
            }
        }
    }

    // Hands new buckets, and the first estimate of the length, to the UI thread.
    void Publish(GstElement* pipeline) {
        bool changed = false;
        bool known = false;
        {
            std::lock_guard lock(job->mutex);
            changed = job->readyBuckets != publishedBuckets;
            publishedBuckets = job->readyBuckets;
            known = job->durationMs > 0;
        }
        gint64 duration = 0;
        if (!known && gst_element_query_duration(pipeline, GST_FORMAT_TIME, &duration) && duration > 0) {
            std::lock_guard lock(job->mutex);
            job->durationMs = duration / kNsPerMs;
            changed = true;
        }
        if (changed) source->Post(job);
    }
};

GstWaveformSource::GstWaveformSource(QString cacheFolder, qint64 cacheMaxBytes)
    : cache_(std::move(cacheFolder), cacheMaxBytes) {}

GstWaveformSource::~GstWaveformSource() {
    Stop(whole_);
    Stop(range_);
    JoinAll(stopped_);
}

void GstWaveformSource::Load(const QString& path) {
    if (range_.peaks.path != path) {
        Stop(range_);
        range_.peaks = {};
    }
    Start(whole_, path, 0, 0, kWholeFileBucketMs);
}

void GstWaveformSource::LoadRange(const QString& path, qint64 startMs, qint64 endMs) {
    startMs = std::max<qint64>(0, startMs);
    endMs = std::min(endMs, startMs + kMaxDayMs);
    const WaveformPeaks& held = range_.peaks;
    if (held.path == path && held.startMs == startMs && range_.job && range_.job->endMs == endMs &&
        !held.problem)
        return;
    if (endMs <= startMs) {
        Stop(range_);
        range_.peaks = {};
        range_.peaks.path = path;
        range_.peaks.startMs = startMs;
        range_.peaks.bucketMs = kRangeBucketMs;
        range_.peaks.complete = true;
        return;
    }
    Start(range_, path, startMs, endMs, kRangeBucketMs);
}

void GstWaveformSource::Cancel() {
    Stop(whole_);
    Stop(range_);
    whole_.peaks = {};
    range_.peaks = {};
}

void GstWaveformSource::Start(View& view, const QString& path, qint64 startMs, qint64 endMs, int bucketMs) {
    Stop(view);
    CollectFinished();
    view.peaks = {};
    view.peaks.path = path;
    view.peaks.startMs = startMs;
    view.peaks.bucketMs = bucketMs;
    auto job = std::make_shared<Job>(path, startMs, endMs, bucketMs);
    try {
        job->thread = std::thread([worker = Worker{this, job}]() mutable { worker.Run(); });
    } catch (const std::system_error&) {
        view.peaks.problem = CannotDecode();
        return;
    }
    view.job = std::move(job);
}

void GstWaveformSource::Stop(View& view) {
    if (!view.job) return;
    view.job->stopped = true;
    {
        std::lock_guard lock(view.job->mutex);
        if (view.job->bus)
            gst_bus_post(view.job->bus,
                         gst_message_new_application(nullptr, gst_structure_new_empty("ostrelle-stop")));
    }
    stopped_.push_back(std::move(view.job));
}

void GstWaveformSource::CollectFinished() {
    JoinFinished(stopped_);
}

void GstWaveformSource::Post(const std::shared_ptr<Job>& job) {
    PostOnce(&eventContext_, job, [this](const std::shared_ptr<Job>& posted) { Take(posted); });
}

void GstWaveformSource::Take(const std::shared_ptr<Job>& job) {
    View& view = job->Whole() ? whole_ : range_;
    if (view.job != job) return;
    {
        std::lock_guard lock(job->mutex);
        job->takePosted = false;
        if (job->handedOver) return;
        WaveformPeaks& peaks = view.peaks;
        if (job->complete || job->problem) {
            // The job's threads are done with the buckets: they move rather than being copied, whole, as
            // buckets taken earlier may have been merged into again (timestamps going back).
            peaks.min = std::move(job->min);
            peaks.max = std::move(job->max);
            job->handedOver = true;
            for (std::size_t i = 0; i < peaks.min.size(); ++i) {
                if (peaks.min[i] > peaks.max[i]) peaks.min[i] = peaks.max[i] = 0;
            }
        } else {
            const std::size_t from = peaks.min.size();
            const auto to = static_cast<std::size_t>(job->readyBuckets);
            if (to > from) {
                peaks.min.resize(to);
                peaks.max.resize(to);
                for (std::size_t i = from; i < to; ++i) {
                    const bool empty = job->min[i] > job->max[i];
                    peaks.min[i] = empty ? 0 : job->min[i];
                    peaks.max[i] = empty ? 0 : job->max[i];
                }
            }
        }
        peaks.durationMs = job->durationMs;
        peaks.complete = job->complete;
        peaks.fromCache = job->fromCache;
        peaks.problem = job->problem;
    }
    RaiseUpdate();
}

}  // namespace ostrelle
