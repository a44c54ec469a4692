// Renders A-B repeat runs through the real GStreamer player and checks every emitted frame against a
// full decode of the same file: audio past B, and where each pass really restarts against A.
// Our design (a stop point, output kept running between passes) is measured in the same run as the
// plain one (10 ms tick, pause once the position is at or past B). The same runs at 0.75x and 1.5x are
// measured in media time and for the pitch kept (see MeasureSpeeds).

#include "adapters/gst/gst_media_player.h"
#include "core/model/window_model.h"
#include "loop_analysis.h"
#include "support/pulse_rig.h"
#include "support/run_events.h"
#include "test_signal.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTimer>

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace ostrelle::bench {
namespace {

using testing::PulseServer;
using testing::RecordMonitor;

constexpr double kA = 1.234;
constexpr double kB = 3.456;
constexpr double kSignalSeconds = 5.0;
constexpr int kPasses = 3;
constexpr int kPauseTicks = 100;  // 1 s between passes

struct SourceFile {
    const char* name;
    const char* extension;
    const char* encoder;
    double restartTargetMs;
};

// WMA timestamps are whole milliseconds.
const SourceFile kFiles[] = {
    {"mp3-cbr", ".mp3", "lamemp3enc target=bitrate bitrate=192 cbr=true ! xingmux", 1.0},
    {"mp3-vbr-no-xing", ".mp3", "lamemp3enc target=quality quality=2", 1.0},
    {"wma-stereo", ".wma", "avenc_wmav2 bitrate=128000 ! avmux_asf", 2.0},
};

void CollectFirstChannel(GstSample* sample, std::vector<float>* into) {
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) return;
    const auto* samples = reinterpret_cast<const float*>(map.data);
    for (std::size_t i = 0; i < map.size / (2 * sizeof(float)); ++i)
        into->push_back(samples[2 * i]);
    gst_buffer_unmap(buffer, &map);
}

// Stereo float at real-time pace into an appsink whose samples go to newSample with self.
GstElement* MakeCaptureBin(GstFlowReturn (*newSample)(GstAppSink*, gpointer), void* self) {
    GstElement* bin = gst_parse_bin_from_description(
        "audioconvert ! audio/x-raw,format=F32LE,channels=2,layout=interleaved ! "
        "appsink name=capture sync=true",
        TRUE, nullptr);
    GstElement* appsink = gst_bin_get_by_name(GST_BIN(bin), "capture");
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = newSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(appsink), &callbacks, self, nullptr);
    gst_object_unref(appsink);
    return bin;
}

// What reaches a capture sink, split into passes where the timestamps jump back (a seek to A).
class CaptureSink {
public:
    GstElement* Make() { return MakeCaptureBin(&CaptureSink::NewSampleCallback, this); }
    std::vector<std::vector<float>> Passes() {
        std::lock_guard lock(mutex_);
        return passes_;
    }

private:
    static GstFlowReturn NewSampleCallback(GstAppSink* sink, gpointer self) {
        auto* capture = static_cast<CaptureSink*>(self);
        GstSample* sample = gst_app_sink_pull_sample(sink);
        if (!sample) return GST_FLOW_OK;
        const GstClockTime start = gst_segment_to_stream_time(gst_sample_get_segment(sample), GST_FORMAT_TIME,
                                                              GST_BUFFER_PTS(gst_sample_get_buffer(sample)));
        {
            std::lock_guard lock(capture->mutex_);
            if (capture->passes_.empty() || start < capture->lastStart_) capture->passes_.emplace_back();
            capture->lastStart_ = start;
            CollectFirstChannel(sample, &capture->passes_.back());
        }
        gst_sample_unref(sample);
        return GST_FLOW_OK;
    }
    std::mutex mutex_;
    GstClockTime lastStart_ = 0;
    std::vector<std::vector<float>> passes_;
};

// Records a PulseAudio sink's monitor: what the audio server actually played.
class MonitorRecorder {
public:
    // Started once every member is there: samples arrive on another thread at once.
    MonitorRecorder(const QString& server, const QString& sinkName) {
        pipeline_ = RecordMonitor(server, sinkName, "", &MonitorRecorder::NewSampleCallback, this);
    }
    ~MonitorRecorder() {
        gst_element_set_state(pipeline_, GST_STATE_NULL);
        gst_object_unref(pipeline_);
    }
    std::vector<float> Recording() {
        std::lock_guard lock(mutex_);
        return recording_;
    }

private:
    static GstFlowReturn NewSampleCallback(GstAppSink* sink, gpointer self) {
        auto* recorder = static_cast<MonitorRecorder*>(self);
        GstSample* sample = gst_app_sink_pull_sample(sink);
        if (!sample) return GST_FLOW_OK;
        {
            std::lock_guard lock(recorder->mutex_);
            CollectFirstChannel(sample, &recorder->recording_);
        }
        gst_sample_unref(sample);
        return GST_FLOW_OK;
    }
    GstElement* pipeline_ = nullptr;
    std::mutex mutex_;
    std::vector<float> recording_;
};

// Drives a player the way the repeat engine does: a 10 ms tick that at B pauses, goes back to A,
// waits 100 ticks and plays again.
class RepeatRun {
public:
    RepeatRun(GstMediaPlayer& player, bool withStopPoint, double rate = 1.0)
        : player_(player), withStopPoint_(withStopPoint), rate_(rate) {
        tick_.setTimerType(Qt::PreciseTimer);
        tick_.setInterval(kRepeatTickMs);
        QObject::connect(&tick_, &QTimer::timeout, [this] { Tick(); });
    }
    void Start() {
        player_.SetRate(rate_);
        if (withStopPoint_) player_.SetStopPoint(kB);
        player_.SetCurrentPosition(kA);
        player_.Play();
        tick_.start();
    }
    bool Done() const { return done_; }

private:
    void Tick() {
        if (waitTicks_ > 0) {
            if (--waitTicks_ == 0) player_.Play();
            return;
        }
        if (player_.CurrentPosition() < kB) return;
        player_.Pause();
        player_.SetCurrentPosition(kA);
        if (++passes_ < kPasses) {
            waitTicks_ = kPauseTicks;
            return;
        }
        if (withStopPoint_) player_.SetStopPoint(std::nullopt);
        tick_.stop();
        done_ = true;
    }
    GstMediaPlayer& player_;
    bool withStopPoint_;
    double rate_;
    QTimer tick_;
    int passes_ = 0;
    int waitTicks_ = 0;
    bool done_ = false;
};

// Worst figures of one design over everything it played.
struct Worst {
    double pastBMs = 0;
    double restartMs = 0;  // largest |offset|
    bool failed = false;
    void Add(const std::optional<PassResult>& pass) {
        if (!pass) {
            failed = true;
            return;
        }
        pastBMs = std::max(pastBMs, pass->pastBMs);
        restartMs = std::max(restartMs, std::fabs(pass->restartMs));
    }
};

enum class Leg { kCapture, kPulse };

// Plays one file with both designs at once and measures each pass. Prints one line per design.
bool MeasureFile(const SourceFile& file, const QString& path, const Timeline& reference, Leg leg,
                 const PulseServer* pulse, Worst* ours, Worst* plain, bool* withinTargets) {
    const char* legName = leg == Leg::kCapture ? "capture" : "pulseaudio";
    CaptureSink oursCapture;
    CaptureSink plainCapture;
    std::unique_ptr<MonitorRecorder> oursRecorder;
    std::unique_ptr<MonitorRecorder> plainRecorder;
    GstElement* oursSink = nullptr;
    GstElement* plainSink = nullptr;
    if (leg == Leg::kCapture) {
        oursSink = oursCapture.Make();
        plainSink = plainCapture.Make();
    } else {
        const QByteArray server = pulse->Address().toUtf8();
        oursSink = gst_element_factory_make("pulsesink", nullptr);
        plainSink = gst_element_factory_make("pulsesink", nullptr);
        g_object_set(oursSink, "server", server.constData(), "device", "ostrelle_ours", nullptr);
        g_object_set(plainSink, "server", server.constData(), "device", "ostrelle_plain", nullptr);
        oursRecorder = std::make_unique<MonitorRecorder>(pulse->Address(), QStringLiteral("ostrelle_ours"));
        plainRecorder = std::make_unique<MonitorRecorder>(pulse->Address(), QStringLiteral("ostrelle_plain"));
    }
    GstMediaPlayer oursPlayer(oursSink);
    GstMediaPlayer plainPlayer(plainSink);
    oursPlayer.SetUrl(path);
    plainPlayer.SetUrl(path);
    const bool opened = RunEventsUntil(
        [&] {
            return oursPlayer.PlayState() != kPlayStateTransitioning &&
                   plainPlayer.PlayState() != kPlayStateTransitioning;
        },
        15000);
    if (!opened || oursPlayer.PlayState() != kPlayStatePaused ||
        plainPlayer.PlayState() != kPlayStatePaused) {
        std::printf("%s %s: the player did not open the file: %s\n", file.name, legName,
                    qPrintable(oursPlayer.ErrorText() + plainPlayer.ErrorText()));
        return false;
    }
    RepeatRun oursRun(oursPlayer, true);
    RepeatRun plainRun(plainPlayer, false);
    oursRun.Start();
    plainRun.Start();
    if (!RunEventsUntil([&] { return oursRun.Done() && plainRun.Done(); }, 40000)) {
        std::printf("%s %s: the repeat run did not finish\n", file.name, legName);
        return false;
    }
    // Let anything still on its way through the output arrive.
    RunEventsUntil([] { return false; }, 400);

    const auto passesOf = [&](CaptureSink& capture, MonitorRecorder* recorder) {
        if (recorder) return SplitAtSilences(recorder->Recording(), reference.rate, 0.4);
        return capture.Passes();
    };
    const auto report = [&](const char* design, const std::vector<std::vector<float>>& passes, Worst* worst,
                            bool isOurs) {
        std::printf("%-16s %-10s %-5s passes=%zu", file.name, legName, design, passes.size());
        Worst here;
        if (passes.size() != kPasses) here.failed = true;
        for (const auto& pass : passes) {
            const auto result = MeasurePass(pass, reference, kA, kB);
            here.Add(result);
            worst->Add(result);
            if (result) {
                std::printf("  [past_b %.2f ms, restart %+.2f ms]", result->pastBMs, result->restartMs);
            } else {
                std::printf("  [not recognised]");
            }
        }
        std::printf("\n");
        if (passes.size() != kPasses) worst->failed = true;
        if (isOurs && (here.failed || here.pastBMs > 1.0 || here.restartMs > file.restartTargetMs))
            *withinTargets = false;
    };
    report("ours", passesOf(oursCapture, oursRecorder.get()), ours, true);
    report("plain", passesOf(plainCapture, plainRecorder.get()), plain, false);
    return true;
}

// ---- The same repeat runs at other speeds.
// Time-stretched output no longer matches the decode sample by sample, so each captured sample is placed in
// media time by its buffer's segment as the sink sees it (stream time, which advances at the applied rate):
// a pass starts at the media time of its first sample and ends at that of its last sample's end, and lasts
// its count of samples on the output's clock. The pitch is measured on what was captured, by zero crossings
// over the signal's steady section, so it tells the sound itself.

constexpr double kSpeeds[] = {0.75, 1.5};

struct SpeedPass {
    double firstMedia = 0;  // seconds
    double endMedia = 0;
    std::vector<float> samples;  // the first channel
};

// What reaches a capture sink at another speed, split into passes where the media time jumps back.
class SpeedCapture {
public:
    GstElement* Make() { return MakeCaptureBin(&SpeedCapture::NewSampleCallback, this); }
    std::vector<SpeedPass> Passes() {
        std::lock_guard lock(mutex_);
        return passes_;
    }

private:
    static GstFlowReturn NewSampleCallback(GstAppSink* sink, gpointer self) {
        auto* capture = static_cast<SpeedCapture*>(self);
        GstSample* sample = gst_app_sink_pull_sample(sink);
        if (!sample) return GST_FLOW_OK;
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        const GstSegment* segment = gst_sample_get_segment(sample);
        const GstClockTime pts = GST_BUFFER_PTS(buffer);
        const double start = gst_segment_to_stream_time(segment, GST_FORMAT_TIME, pts) / double(GST_SECOND);
        const double end =
            gst_segment_to_stream_time(segment, GST_FORMAT_TIME, pts + GST_BUFFER_DURATION(buffer)) /
            double(GST_SECOND);
        {
            std::lock_guard lock(capture->mutex_);
            if (capture->passes_.empty() || start + 0.001 < capture->passes_.back().endMedia) {
                capture->passes_.emplace_back();
                capture->passes_.back().firstMedia = start;
            }
            capture->passes_.back().endMedia = end;
            CollectFirstChannel(sample, &capture->passes_.back().samples);
        }
        gst_sample_unref(sample);
        return GST_FLOW_OK;
    }
    std::mutex mutex_;
    std::vector<SpeedPass> passes_;
};

// Frequency from the upward zero crossings (interpolated) of samples[from, to).
double MeasuredFrequency(const std::vector<float>& samples, long from, long to, int rate) {
    double first = -1;
    double last = -1;
    int crossings = 0;
    for (long i = std::max(1L, from); i < std::min<long>(to, samples.size()); ++i) {
        if (samples[i - 1] < 0 && samples[i] >= 0) {
            const double at = i - 1 + samples[i - 1] / (samples[i - 1] - samples[i]);
            if (first < 0) first = at;
            last = at;
            ++crossings;
        }
    }
    return crossings > 1 ? (crossings - 1) * rate / (last - first) : 0;
}

struct SpeedWorst {
    double pastBMs = 0;
    double restartMs = 0;
    double lengthErrorMs = 0;
    double pitchErrorPct = 0;
    bool failed = false;
};

// Plays one file with the stop point at each speed and measures every pass.
bool MeasureSpeeds(const SourceFile& file, const QString& path, int sampleRate, SpeedWorst* worst) {
    for (const double speed : kSpeeds) {
        SpeedCapture capture;
        GstMediaPlayer player(capture.Make());
        player.SetUrl(path);
        if (!RunEventsUntil([&] { return player.PlayState() != kPlayStateTransitioning; }, 15000) ||
            player.PlayState() != kPlayStatePaused) {
            std::printf("%s at %.2fx: the player did not open the file: %s\n", file.name, speed,
                        qPrintable(player.ErrorText()));
            return false;
        }
        RepeatRun run(player, true, speed);
        run.Start();
        if (!RunEventsUntil([&] { return run.Done(); }, 60000)) {
            std::printf("%s at %.2fx: the repeat run did not finish\n", file.name, speed);
            return false;
        }
        RunEventsUntil([] { return false; }, 400);
        if (player.Rate() != speed) worst->failed = true;

        const auto passes = capture.Passes();
        std::printf("%-16s %-10s %.2fx  passes=%zu", file.name, "capture", speed, passes.size());
        if (passes.size() != kPasses) worst->failed = true;
        for (const SpeedPass& pass : passes) {
            const double pastBMs = std::max(0.0, (pass.endMedia - kB) * 1000.0);
            const double restartMs = (pass.firstMedia - kA) * 1000.0;
            const double seconds = double(pass.samples.size()) / sampleRate;
            const double lengthErrorMs = (seconds - (kB - kA) / speed) * 1000.0;
            // The steady section's middle, away from the stretcher's smoothing at its edges.
            const auto outputIndex = [&](double media) {
                return std::lround((media - pass.firstMedia) / speed * sampleRate);
            };
            const double hz = MeasuredFrequency(pass.samples, outputIndex(kSteadyFromSeconds + 0.1),
                                                outputIndex(kSteadyToSeconds - 0.1), sampleRate);
            const double pitchErrorPct = std::fabs(hz - kSteadyHz) / kSteadyHz * 100.0;
            std::printf("  [past_b %.2f ms, restart %+.2f ms, length %+.2f ms, %.1f Hz]", pastBMs, restartMs,
                        lengthErrorMs, hz);
            worst->pastBMs = std::max(worst->pastBMs, pastBMs);
            worst->restartMs = std::max(worst->restartMs, std::fabs(restartMs));
            worst->lengthErrorMs = std::max(worst->lengthErrorMs, std::fabs(lengthErrorMs));
            worst->pitchErrorPct = std::max(worst->pitchErrorPct, pitchErrorPct);
        }
        std::printf("\n");
    }
    return true;
}

int Run() {
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::printf("no temporary folder\n");
        return 1;
    }
    PulseServer pulse;
    QString pulseProblem;
    const bool pulseRunning =
        pulse.Start({QStringLiteral("ostrelle_ours"), QStringLiteral("ostrelle_plain")}, &pulseProblem);

    Worst ours;
    Worst plain;
    SpeedWorst speeds;
    bool withinTargets = true;
    bool complete = true;
    for (const SourceFile& file : kFiles) {
        const QString path = dir.filePath(QString::fromUtf8(file.name) + QString::fromUtf8(file.extension));
        QString error = WriteTestSignal(QString::fromUtf8(file.encoder), kSignalSeconds, path);
        const auto reference = error.isEmpty() ? DecodeWholeFile(path, &error) : std::nullopt;
        if (!reference) {
            std::printf("%s: cannot make the test file: %s\n", file.name, qPrintable(error));
            complete = false;
            continue;
        }
        complete &=
            MeasureFile(file, path, *reference, Leg::kCapture, nullptr, &ours, &plain, &withinTargets);
        if (pulseRunning)
            complete &=
                MeasureFile(file, path, *reference, Leg::kPulse, &pulse, &ours, &plain, &withinTargets);
        complete &= MeasureSpeeds(file, path, reference->rate, &speeds);
    }
    if (!pulseRunning) std::printf("pulseaudio leg skipped: %s\n", qPrintable(pulseProblem));
    if (ours.failed || plain.failed) complete = false;
    std::printf("targets (past_b <= 1 ms; restart <= 1 ms on MP3, <= 2 ms on WMA): %s\n",
                !complete       ? "not measured"
                : withinTargets ? "met"
                                : "NOT met");
    if (speeds.failed) complete = false;
    const bool speedsWithin = speeds.pastBMs <= 1.0 && speeds.restartMs <= 2.0 &&
                              speeds.lengthErrorMs <= 15.0 && speeds.pitchErrorPct <= 1.0;
    std::printf(
        "speed targets (past_b <= 1 ms; restart <= 2 ms; pass length within 15 ms of (B-A)/rate; "
        "pitch within 1 %%): %s\n",
        !complete      ? "not measured"
        : speedsWithin ? "met"
                       : "NOT met");
    std::printf("loop-accuracy past_b_ms=%.2f restart_ms=%.2f baseline_past_b_ms=%.2f\n", ours.pastBMs,
                ours.restartMs, plain.pastBMs);
    std::printf(
        "speed-accuracy rates=0.75,1.5 past_b_ms=%.2f restart_ms=%.2f pass_length_error_ms=%.2f "
        "pitch_error_pct=%.2f\n",
        speeds.pastBMs, speeds.restartMs, speeds.lengthErrorMs, speeds.pitchErrorPct);
    return complete ? 0 : 1;
}

}  // namespace
}  // namespace ostrelle::bench

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    gst_init(&argc, &argv);
    return ostrelle::bench::Run();
}
