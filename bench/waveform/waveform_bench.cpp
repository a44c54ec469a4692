// waveform: the peaks of a 60-minute 128 kbit/s MP3 of a speech-like signal, computed cold, then loaded
// from the disk cache, then the peaks of a 10 s zoom window in the middle of the file (a new source, so
// nothing is held), while a 1 ms timer beats on the UI thread; its longest gap is the UI's longest stall.
// The baseline, measured in the same run, is the same file decoded by the same decoder into a fakesink.
// The file is one generated minute repeated: CBR frames without a header join into one valid stream.
#include "adapters/gst/gst_waveform_source.h"
#include "support/timing.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QtEndian>

#include <gst/gst.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <numbers>
#include <random>
#include <utility>

namespace {

using ostrelle::bench::Ms;
using Clock = std::chrono::steady_clock;

constexpr int kRate = 44100;
constexpr int kMinutes = 60;

[[noreturn]] void Fail(const QString& what) {
    std::fprintf(stderr, "waveform: %s\n", what.toUtf8().constData());
    std::exit(1);
}

// A minute of voice-like sound: phrases of syllables (a gliding pitch with falling harmonics under a
// smooth envelope, some with a hiss like a fricative) between pauses with a faint noise floor.
std::vector<qint16> SpeechLikeMinute() {
    std::mt19937 random(20240607);
    auto uniform = [&](double low, double high) {
        return std::uniform_real_distribution<>(low, high)(random);
    };
    std::normal_distribution<> noise(0.0, 1.0);
    std::vector<double> signal(static_cast<std::size_t>(60 * kRate), 0.0);
    std::size_t at = 0;
    while (at < signal.size()) {
        const int syllables = static_cast<int>(uniform(4, 14));
        for (int s = 0; s < syllables && at < signal.size(); ++s) {
            const auto length = static_cast<std::size_t>(uniform(0.12, 0.28) * kRate);
            const double pitch = uniform(110, 220);
            const double glide = uniform(-0.3, 0.3);
            const double loudness = uniform(0.15, 0.6);
            const bool hiss = uniform(0, 1) < 0.3;
            double phase = 0;
            for (std::size_t i = 0; i < length && at + i < signal.size(); ++i) {
                const double t = static_cast<double>(i) / static_cast<double>(length);
                const double envelope = std::sin(std::numbers::pi * t);
                phase += 2 * std::numbers::pi * pitch * (1 + glide * t) / kRate;
                double voice = 0;
                for (int k = 1; k <= 8; ++k)
                    voice += std::sin(k * phase) / k;
                double sample = loudness * envelope * voice * 0.5;
                if (hiss && t < 0.3) sample += 0.08 * noise(random);
                signal[at + i] = sample;
            }
            at += length + static_cast<std::size_t>(uniform(0.01, 0.06) * kRate);
        }
        at += static_cast<std::size_t>(uniform(0.3, 0.9) * kRate);  // the pause between phrases
    }
    std::vector<qint16> samples(signal.size());
    for (std::size_t i = 0; i < signal.size(); ++i)
        samples[i] = static_cast<qint16>(
            std::clamp(std::lround((signal[i] + 0.001 * noise(random)) * 32767), -32767l, 32767l));
    return samples;
}

void WriteMonoWav(const std::vector<qint16>& samples, const QString& path) {
    const auto dataBytes = static_cast<quint32>(samples.size() * 2);
    QByteArray bytes(44, '\0');
    char* at = bytes.data();
    auto tag = [&](const char* name) {
        std::memcpy(at, name, 4);
        at += 4;
    };
    auto put32 = [&](quint32 value) {
        qToLittleEndian(value, at);
        at += 4;
    };
    auto put16 = [&](quint16 value) {
        qToLittleEndian(value, at);
        at += 2;
    };
    tag("RIFF");
    put32(36 + dataBytes);
    tag("WAVE");
    tag("fmt ");
    put32(16);
    put16(1);
    put16(1);
    put32(kRate);
    put32(kRate * 2);
    put16(2);
    put16(16);
    tag("data");
    put32(dataBytes);
    for (qint16 sample : samples) {
        char pair[2];
        qToLittleEndian(sample, pair);
        bytes.append(pair, 2);
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        Fail(QStringLiteral("cannot write ") + path);
}

// Runs a gst-launch description whose elements "in" and "out" read and write the given files to its end;
// the milliseconds it took.
double RunPipeline(const QString& description, const QString& in, const QString& out = {}) {
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(description.toUtf8().constData(), &error);
    if (error || !pipeline) Fail(QStringLiteral("cannot run ") + description);
    for (const auto& [name, path] : {std::pair{"in", in}, std::pair{"out", out}}) {
        if (GstElement* file = gst_bin_get_by_name(GST_BIN(pipeline), name)) {
            g_object_set(file, "location", QFile::encodeName(path).constData(), nullptr);
            gst_object_unref(file);
        }
    }
    const auto start = Clock::now();
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* message = gst_bus_timed_pop_filtered(
        bus, GST_CLOCK_TIME_NONE, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    const double ms = Ms(Clock::now() - start);
    const bool failed = GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR;
    gst_message_unref(message);
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    if (failed) Fail(QStringLiteral("failed: ") + description);
    return ms;
}

QString MakeLongMp3(const QString& folder) {
    const QString wav = folder + QStringLiteral("/minute.wav");
    const QString minute = folder + QStringLiteral("/minute.mp3");
    WriteMonoWav(SpeechLikeMinute(), wav);
    RunPipeline(QStringLiteral("filesrc name=in ! wavparse ! audioconvert ! audio/x-raw,channels=2 ! "
                               "lamemp3enc target=bitrate cbr=true bitrate=128 ! filesink name=out"),
                wav, minute);
    QFile in(minute);
    if (!in.open(QIODevice::ReadOnly)) Fail(QStringLiteral("no MP3 was written"));
    const QByteArray frames = in.readAll();
    const QString path = folder + QString::fromUtf8("/一小时 \"听力\".mp3");
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly)) Fail(QStringLiteral("cannot write ") + path);
    for (int copy = 0; copy < kMinutes; ++copy)
        out.write(frames);
    return path;
}

// The longest gap between beats of a 1 ms timer on this thread while a phase runs.
class Heartbeat {
public:
    Heartbeat() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(1);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const auto now = Clock::now();
            maxGapMs_ = std::max(maxGapMs_, Ms(now - last_));
            last_ = now;
        });
    }
    void Start() {
        last_ = Clock::now();
        timer_.start();
    }
    void Stop() { timer_.stop(); }
    double MaxGapMs() const { return maxGapMs_; }

private:
    QTimer timer_;
    Clock::time_point last_;
    double maxGapMs_ = 0;
};

struct Measured {
    double ms = 0;
    int updates = 0;  // update handler calls
    double firstUpdateMs = 0;
};

// From start() until done() holds, the event loop running meanwhile.
Measured Measure(ostrelle::WaveformSource& source, Heartbeat& heartbeat, const std::function<void()>& start,
                 const std::function<bool()>& done) {
    QEventLoop loop;
    Measured measured;
    const auto begin = Clock::now();
    source.SetUpdateHandler([&] {
        if (measured.updates++ == 0) measured.firstUpdateMs = Ms(Clock::now() - begin);
        if (done()) loop.quit();
    });
    heartbeat.Start();
    start();
    loop.exec();
    measured.ms = Ms(Clock::now() - begin);
    heartbeat.Stop();
    source.SetUpdateHandler({});
    return measured;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    gst_init(nullptr, nullptr);
    QTemporaryDir dir;
    if (!dir.isValid()) Fail(QStringLiteral("no temporary folder"));
    const QString mp3 = MakeLongMp3(dir.path());
    const QString cache = dir.path() + QStringLiteral("/waveforms");

    const double baselineMs = RunPipeline(
        QStringLiteral("filesrc name=in ! mpegaudioparse ! mpg123audiodec ! fakesink sync=false"), mp3);

    Heartbeat heartbeat;
    auto wholeDone = [](const ostrelle::WaveformSource& source) { return !source.Peaks().Loading(); };

    ostrelle::GstWaveformSource cold(cache);
    const Measured coldRun = Measure(
        cold, heartbeat, [&] { cold.Load(mp3); }, [&] { return wholeDone(cold); });
    const double coldMs = coldRun.ms;
    const ostrelle::WaveformPeaks& peaks = cold.Peaks();
    if (!peaks.complete)
        Fail(QStringLiteral("no peaks: ") +
             (peaks.problem ? ostrelle::FailureMessage(*peaks.problem) : QStringLiteral("not complete")));
    const double audioSeconds = peaks.durationMs / 1000.0;

    ostrelle::GstWaveformSource again(cache);
    const double cacheMs = Measure(
                               again, heartbeat, [&] { again.Load(mp3); }, [&] { return wholeDone(again); })
                               .ms;
    if (!again.Peaks().fromCache || again.Peaks().min.size() != peaks.min.size())
        Fail(QStringLiteral("the second load did not come whole from the cache"));

    ostrelle::GstWaveformSource zoom(cache);
    const qint64 middleMs = peaks.durationMs / 2;
    const double segmentMs = Measure(
                                 zoom, heartbeat, [&] { zoom.LoadRange(mp3, middleMs, middleMs + 10000); },
                                 [&] { return !zoom.RangePeaks().Loading(); })
                                 .ms;
    if (!zoom.RangePeaks().complete || zoom.RangePeaks().min.size() != 10000)
        Fail(QStringLiteral("the zoom window is not whole"));

    std::printf("waveform baseline: decoding alone (mpg123 into a fakesink) ms=%.0f x_realtime=%.0f\n",
                baselineMs, audioSeconds * 1000.0 / baselineMs);
    std::printf(
        "waveform buckets=%zu of %d ms, audio_s=%.1f, cold load shown in %d updates, the first after %.0f "
        "ms\n",
        peaks.min.size(), peaks.bucketMs, audioSeconds, coldRun.updates, coldRun.firstUpdateMs);
    std::printf(
        "waveform minutes=%.0f ms=%.0f x_realtime=%.0f cache_load_ms=%.1f segment_view_ms=%.1f "
        "ui_max_stall_ms=%.1f\n",
        audioSeconds / 60, coldMs, audioSeconds * 1000.0 / coldMs, cacheMs, segmentMs, heartbeat.MaxGapMs());
    return 0;
}
