// How much of the recording window a take holds, through the real GstWaveDevice on a private PulseAudio
// server. The learner's input is a pipe source: the benchmark writes a looped speech pattern into it in
// 10 ms periods at their due instants, as a microphone delivers, so pattern sample n entered the input at
// start + n / 48000 s on the monotonic clock. (A null sink's monitor would not do: the sink renders ahead
// of time by its latency, so when a sample "went in" would be unknown to tens of milliseconds.)
// Each take is placed in the pattern by cross-correlating its first and last 100 ms, and compared with
// the window between the StartRecording() and Save() calls.
//
// Input kept open (shadowing): several windows of 3.8-4.4 s. Input opened by the record call (the free
// recorder): reported on its own line. Last line: take-window missing_start_ms=<ms> missing_end_ms=<ms>,
// the worst of the shadowing takes.

#include "adapters/gst/gst_wave_device.h"
#include "support/pulse_rig.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

using ostrelle::GstWaveDevice;
using ostrelle::testing::PulseServer;

constexpr int kRate = 48000;
constexpr int kPeriod = 480;               // 10 ms
constexpr int kPiece = kRate / 10;         // 100 ms matched at each end of a take
constexpr qint64 kSearch = kRate * 3 / 2;  // around where the window says the take should be

qint64 NowNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<qint64>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void SleepUntil(qint64 ns) {
    const timespec at{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) != 0) {
    }
}

void Say(const QString& line) {
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

[[noreturn]] void Quit(const QString& why) {
    Say(QStringLiteral("take-window: cannot measure: %1").arg(why));
    std::exit(1);
}

// Speech from espeak-ng at 48 kHz mono, over a faint fixed noise so that its pauses can be placed too.
std::vector<float> SpeechPattern(const QString& folder) {
    const QString wav = folder + QStringLiteral("/speech.wav");
    const int spoken = QProcess::execute(
        QStringLiteral("espeak-ng"),
        {QStringLiteral("-v"), QStringLiteral("en"), QStringLiteral("-s"), QStringLiteral("150"),
         QStringLiteral("-w"), wav,
         QStringLiteral("Every morning the learner repeats the sentence after the speaker. "
                        "She listens, she waits for the cue, and then she says it again, slowly at first. "
                        "Seven bright kites drift over the quiet harbour while the ferry leaves.")});
    if (spoken != 0) Quit(QStringLiteral("espeak-ng did not speak"));
    const QByteArray description =
        "filesrc location=\"" + wav.toUtf8() +
        "\" ! wavparse ! audioconvert ! audioresample ! audio/x-raw,format=F32LE,rate=48000,channels=1 ! "
        "appsink name=out sync=false";
    GstElement* pipeline = gst_parse_launch(description.constData(), nullptr);
    if (!pipeline) Quit(QStringLiteral("cannot decode the speech"));
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "out");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    std::vector<float> pattern;
    while (GstSample* sample = gst_app_sink_pull_sample(GST_APP_SINK(sink))) {
        GstMapInfo map;
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            const auto* samples = reinterpret_cast<const float*>(map.data);
            pattern.insert(pattern.end(), samples, samples + map.size / sizeof(float));
            gst_buffer_unmap(buffer, &map);
        }
        gst_sample_unref(sample);
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(sink);
    gst_object_unref(pipeline);
    if (pattern.size() < static_cast<size_t>(kRate * 6)) Quit(QStringLiteral("the speech is too short"));
    float peak = 0;
    for (float s : pattern)
        peak = std::max(peak, std::abs(s));
    quint32 noise = 12345;
    float hum = 0;
    for (float& s : pattern) {
        noise = noise * 1664525u + 1013904223u;
        hum = 0.9f * hum + 0.1f * (static_cast<float>(noise >> 8) / 16777216.0f - 0.5f);
        s = s / peak * 0.7f + hum * 0.05f;
    }
    return pattern;
}

// Writes the looped pattern into the pipe source in real time, one period at its due instant.
class Speaker {
public:
    Speaker(const QString& fifo, const std::vector<float>& pattern) : pattern_(pattern) {
        fd_ = open(QFile::encodeName(fifo).constData(), O_WRONLY);
        if (fd_ < 0) Quit(QStringLiteral("cannot open the pipe source's fifo"));
        startNs_ = NowNs() + 50000000;
        thread_ = std::thread([this] { Run(); });
    }
    ~Speaker() {
        stop_ = true;
        thread_.join();
        close(fd_);
    }
    // When pattern sample n (counted from the start, looping) entered the input.
    double HeardNs(double n) const { return startNs_ + n * 1e9 / kRate; }
    double SampleAt(qint64 ns) const { return (ns - startNs_) * static_cast<double>(kRate) / 1e9; }
    float Sample(qint64 n) const {
        return pattern_[static_cast<size_t>(n % static_cast<qint64>(pattern_.size()))];
    }
    qint64 LatestWriteMs() const { return latestNs_.load() / 1000000; }

private:
    void Run() {
        std::vector<qint16> period(kPeriod);
        for (qint64 k = 0; !stop_; ++k) {
            for (int i = 0; i < kPeriod; ++i)
                period[i] = static_cast<qint16>(std::lround(Sample(k * kPeriod + i) * 32767));
            const qint64 due = startNs_ + (k + 1) * kPeriod * 1000000000LL / kRate;
            SleepUntil(due);
            latestNs_ = std::max(latestNs_.load(), NowNs() - due);
            if (write(fd_, period.data(), sizeof(qint16) * kPeriod) < 0) return;
        }
    }

    const std::vector<float>& pattern_;
    int fd_ = -1;
    qint64 startNs_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<qint64> latestNs_{0};
    std::thread thread_;
};

std::vector<float> ReadTake(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray bytes = file.readAll();
    std::vector<float> samples;
    for (qsizetype at = 44; at + 1 < bytes.size(); at += 2)
        samples.push_back(static_cast<qint16>(static_cast<quint8>(bytes[at]) | (bytes[at + 1] << 8)) /
                          32768.0f);
    return samples;
}

// Where in the pattern the take's sample 0 lies, judged by the kPiece samples from offset, which are
// expected near pattern sample expected. Every lag: speech's hiss decorrelates within two samples.
double Place(const Speaker& speaker, const std::vector<float>& take, size_t offset, double expected,
             double* score) {
    double pieceEnergy = 0;
    for (int i = 0; i < kPiece; ++i)
        pieceEnergy += take[offset + i] * take[offset + i];
    const qint64 from = std::max<qint64>(0, std::llround(expected) - kSearch);
    std::vector<float> window(static_cast<size_t>(2 * kSearch + kPiece));
    std::vector<double> energyBefore(window.size() + 1, 0.0);
    for (size_t i = 0; i < window.size(); ++i) {
        window[i] = speaker.Sample(from + static_cast<qint64>(i));
        energyBefore[i + 1] = energyBefore[i] + static_cast<double>(window[i]) * window[i];
    }
    double best = -2;
    qint64 bestLag = 0;
    for (qint64 lag = 0; lag <= 2 * kSearch; ++lag) {
        const float* w = window.data() + lag;
        const float* t = take.data() + offset;
        double dot = 0;
        for (int i = 0; i < kPiece; ++i)
            dot += w[i] * t[i];
        const double energy =
            energyBefore[static_cast<size_t>(lag + kPiece)] - energyBefore[static_cast<size_t>(lag)];
        if (const double m = dot / std::sqrt(energy * pieceEnergy + 1e-20); m > best) {
            best = m;
            bestLag = lag;
        }
    }
    *score = best;
    return static_cast<double>(from + bestLag - static_cast<qint64>(offset));
}

struct Gap {
    double startMs = 0;  // positive: the take starts this late; negative: it holds that much before
    double endMs = 0;    // positive: the take ends this early
    double score = 0;    // the worse normalised correlation of the two pieces
};

// Records one window of windowMs and places the take against it.
Gap Measure(GstWaveDevice& device, const Speaker& speaker, const QString& take, int windowMs) {
    if (!device.Open(take).ok()) Quit(device.ErrorText());
    const qint64 startNs = NowNs();
    if (!device.StartRecording().ok()) Quit(device.ErrorText());
    while (NowNs() < startNs + windowMs * 1000000LL)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const qint64 endNs = NowNs();
    if (!device.Save().ok()) Quit(device.ErrorText());
    device.Close();

    const std::vector<float> samples = ReadTake(take);
    if (samples.size() < static_cast<size_t>(2 * kPiece)) Quit(QStringLiteral("the take is too short"));
    double scoreStart = 0;
    double scoreEnd = 0;
    const double first = Place(speaker, samples, 0, speaker.SampleAt(startNs), &scoreStart);
    const double lastEnd =
        Place(speaker, samples, samples.size() - kPiece, speaker.SampleAt(endNs) - kPiece, &scoreEnd) +
        static_cast<double>(samples.size());
    Gap gap;
    gap.startMs = (speaker.HeardNs(first) - startNs) / 1e6;
    gap.endMs = (endNs - speaker.HeardNs(lastEnd)) / 1e6;
    gap.score = std::min(scoreStart, scoreEnd);
    Say(QStringLiteral(
            "  window %1 ms: take %2 ms, starts %3 ms after the window's start, ends %4 ms before its "
            "end (match %5)")
            .arg(windowMs)
            .arg(samples.size() * 1000 / kRate)
            .arg(gap.startMs, 0, 'f', 1)
            .arg(gap.endMs, 0, 'f', 1)
            .arg(gap.score, 0, 'f', 3));
    return gap;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    gst_init(&argc, &argv);
    QTemporaryDir dir;
    if (!dir.isValid()) Quit(QStringLiteral("no temporary folder"));

    PulseServer server;
    QString why;
    if (!server.Start({QStringLiteral("speakers")}, &why)) Quit(why);
    const QString fifo = dir.filePath(QStringLiteral("learner.fifo"));
    QProcess pactl;
    pactl.start(QStringLiteral("pactl"),
                {QStringLiteral("--server=") + server.Address(), QStringLiteral("load-module"),
                 QStringLiteral("module-pipe-source"), QStringLiteral("source_name=learner"),
                 QStringLiteral("file=") + fifo, QStringLiteral("format=s16le"), QStringLiteral("rate=48000"),
                 QStringLiteral("channels=1")});
    if (!pactl.waitForFinished(10000) || pactl.exitCode() != 0)
        Quit(QStringLiteral("pactl could not load the pipe source: %1")
                 .arg(QString::fromLocal8Bit(pactl.readAllStandardError()).trimmed()));

    const std::vector<float> pattern = SpeechPattern(dir.path());
    const Speaker speaker(fifo, pattern);
    // Another program keeps the input running, as a desktop's microphone runs, so nothing waits in the pipe.
    const QByteArray listener =
        "pulsesrc server=" + server.Address().toUtf8() + " device=learner ! fakesink sync=false";
    GstElement* other = gst_parse_launch(listener.constData(), nullptr);
    gst_element_set_state(other, GST_STATE_PLAYING);

    const QString source = QStringLiteral("pulsesrc server=%1 device=learner").arg(server.Address());
    const QString take = dir.filePath(QStringLiteral("take.wav"));
    Say(QStringLiteral("speech pattern %1 s, looped").arg(pattern.size() / kRate));

    // The free recorder: the input opens at the record call.
    Gap free;
    {
        GstWaveDevice device(source, QStringLiteral("fakesink"));
        QThread::msleep(500);
        Say(QStringLiteral("free recorder (input opened by the record call):"));
        free = Measure(device, speaker, take, 4000);
    }

    // Shadowing: the input is opened before the first pass and kept through the run.
    GstWaveDevice device(source, QStringLiteral("fakesink"));
    if (!device.OpenInput().ok()) Quit(device.ErrorText());
    Say(QStringLiteral("shadowing (input kept open):"));
    double missingStart = 0;
    double missingEnd = 0;
    double worstScore = 1;
    for (const int windowMs : {3800, 4370, 4000, 4400, 3900}) {
        const qint64 passEnd = NowNs() + 1200 * 1000000LL;  // the original plays meanwhile
        while (NowNs() < passEnd)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        const Gap gap = Measure(device, speaker, take, windowMs);
        missingStart = std::max(missingStart, gap.startMs);
        missingEnd = std::max(missingEnd, gap.endMs);
        worstScore = std::min(worstScore, gap.score);
    }
    device.CloseInput();
    gst_element_set_state(other, GST_STATE_NULL);
    gst_object_unref(other);

    Say(QStringLiteral("speaker's latest period: %1 ms late; worst match %2")
            .arg(speaker.LatestWriteMs())
            .arg(worstScore, 0, 'f', 3));
    Say(QStringLiteral("free-recorder missing_start_ms=%1 missing_end_ms=%2")
            .arg(std::max(0.0, free.startMs), 0, 'f', 0)
            .arg(std::max(0.0, free.endMs), 0, 'f', 0));
    Say(QStringLiteral("take-window missing_start_ms=%1 missing_end_ms=%2")
            .arg(std::max(0.0, missingStart), 0, 'f', 0)
            .arg(std::max(0.0, missingEnd), 0, 'f', 0));
    return 0;
}
