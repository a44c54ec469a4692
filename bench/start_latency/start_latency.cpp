// From the learner's double-click on a listed file to its first sound, through the whole program (the
// grid's double-click handler, the controller, the real player): into a capture sink that notes when its
// first buffer is rendered, and, when a private PulseAudio server starts, into pulsesink and into
// autoaudiosink (the program's own output), heard on the server's sink monitor. A bare playbin set to
// playing on the same sink is the baseline. The last line is the summary, from the pulsesink leg.
#include "support/pulse_rig.h"
#include "support/start_rig.h"
#include "support/timing.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <cmath>
#include <cstdio>
#include <mutex>

namespace ostrelle::bench {
namespace {

using testing::MonitorOnset;
using testing::PulseServer;
using testing::RecordMonitor;

constexpr int kRuns = 10;
// Each file sounds for its first second only: whatever an output still holds of the previous run when the
// next starts is silence, so the first sound heard is the new file's.
constexpr double kToneSeconds = 1;
constexpr double kFileSeconds = 30;
constexpr int kPlayBeforeStopMs = 1500;
constexpr int kSilenceMs = 300;
constexpr int kRate = 44100;

using Clock = std::chrono::steady_clock;

// How a leg hears the first sound: its sink for the player, arming and the time it was heard.
struct Ear {
    std::function<GstElement*()> makeSink;
    std::function<void()> arm;
    std::function<std::optional<Clock::time_point>()> heard;
};

struct LegFigures {
    std::vector<double> oursMs;
    std::vector<double> bareMs;
    bool complete = true;
};

// A playbin with nothing else, set to playing on a file: what GStreamer itself takes.
std::optional<double> BareStart(const Ear& ear, const QString& path) {
    GstElement* playbin = gst_element_factory_make("playbin", nullptr);
    g_object_set(playbin, "audio-sink", ear.makeSink(), "flags", 0x2, nullptr);
    gchar* uri = gst_filename_to_uri(QFile::encodeName(path).constData(), nullptr);
    g_object_set(playbin, "uri", uri, nullptr);
    g_free(uri);
    ear.arm();
    const auto start = Clock::now();
    gst_element_set_state(playbin, GST_STATE_PLAYING);
    RunEventsUntil([&] { return ear.heard().has_value(); }, 5000);
    const auto heard = ear.heard();
    RunEventsUntil([] { return false; }, kPlayBeforeStopMs);
    gst_element_set_state(playbin, GST_STATE_NULL);
    gst_object_unref(playbin);
    if (!heard) return std::nullopt;
    return Ms(*heard - start);
}

LegFigures MeasureLeg(const char* legName, const Ear& ear, const QString& folder, const QStringList& files) {
    LegFigures figures;
    std::vector<std::pair<QString, QString>> listed;
    for (const QString& file : files)
        listed.emplace_back(file, QStringLiteral("0:30"));
    StartRig rig(folder, ear.makeSink(), listed);
    MediaPlayer& player = rig.program().player();
    // The program loads the list's first entry at start; the runs begin once it is open.
    RunEventsUntil([&] { return player.PlayState() == kPlayStatePaused; }, 5000);
    for (int run = 0; run < kRuns; ++run) {
        rig.program().app().Run(Command::Stop);
        rig.program().window().Render();
        RunEventsUntil([] { return false; }, kSilenceMs);
        ear.arm();
        const auto start = Clock::now();
        rig.DoubleClick(run % files.size() + 1);
        RunEventsUntil([&] { return ear.heard().has_value(); }, 5000);
        const auto heard = ear.heard();
        if (!heard) {
            std::printf("%s run %d: no sound within 5 s (%s)\n", legName, run + 1,
                        qPrintable(player.ErrorText()));
            figures.complete = false;
            continue;
        }
        figures.oursMs.push_back(Ms(*heard - start));
        RunEventsUntil([] { return false; }, kPlayBeforeStopMs);
    }
    rig.program().app().Run(Command::Stop);
    for (int run = 0; run < kRuns; ++run) {
        if (const auto ms = BareStart(ear, files[run % files.size()])) figures.bareMs.push_back(*ms);
        RunEventsUntil([] { return false; }, kSilenceMs);
    }
    QStringList texts;
    for (const double ms : figures.oursMs)
        texts << QString::number(ms, 'f', 0);
    std::printf("%-10s ours: double-click to first sound, median %.0f ms (runs %s)\n", legName,
                figures.oursMs.empty() ? NAN : Median(figures.oursMs), qPrintable(texts.join(u' ')));
    std::printf("%-10s bare playbin to playing, median %.0f ms of %zu\n", legName,
                figures.bareMs.empty() ? NAN : Median(figures.bareMs), figures.bareMs.size());
    return figures;
}

int Run() {
    QTemporaryDir dir;
    if (!dir.isValid()) return 1;
    QStringList files;
    const std::pair<const char*, const char*> kinds[] = {
        {"cbr.mp3", "lamemp3enc target=bitrate bitrate=128 cbr=true"},
        {"vbr.mp3", "lamemp3enc target=quality quality=4"}};
    for (const auto& [name, encoder] : kinds) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        if (const QString error = WriteTone(QString::fromLatin1(encoder), kToneSeconds, kFileSeconds, path);
            !error.isEmpty()) {
            std::printf("cannot make %s: %s\n", name, qPrintable(error));
            return 1;
        }
        files << path;
    }
    std::printf(
        "files: two %.0f s MP3 files, a tone for 1 s then silence (CBR, VBR without Xing), listed with their "
        "lengths; %d runs "
        "per leg, alternating, stopped and silent before each\n",
        kFileSeconds, kRuns);

    FirstSoundSink capture;
    const Ear captureEar{[&] { return capture.Make(); }, [&] { capture.Arm(); },
                         [&] { return capture.FirstSound(); }};
    QDir(dir.path()).mkpath(QStringLiteral("capture"));
    const LegFigures captured =
        MeasureLeg("capture", captureEar, dir.filePath(QStringLiteral("capture")), files);

    PulseServer pulse;
    QString why;
    std::optional<LegFigures> pulsed;
    if (pulse.Start({QStringLiteral("ostrelle_start")}, &why)) {
        MonitorOnset monitor(pulse.Address(), QStringLiteral("ostrelle_start"));
        pulse.WarmUp(QStringLiteral("ostrelle_start"));
        const Ear pulseEar{[&] {
                               GstElement* sink = gst_element_factory_make("pulsesink", nullptr);
                               g_object_set(sink, "server", pulse.Address().toUtf8().constData(), "device",
                                            "ostrelle_start", nullptr);
                               return sink;
                           },
                           [&] { monitor.Arm(); }, [&] { return monitor.Onset(); }};
        QDir(dir.path()).mkpath(QStringLiteral("pulse"));
        pulsed = MeasureLeg("pulseaudio", pulseEar, dir.filePath(QStringLiteral("pulse")), files);
        // The program's own output, autoaudiosink, choosing its sink as on a desktop whose server is this
        // one.
        qputenv("PULSE_SERVER", pulse.Address().toUtf8());
        const Ear desktopEar{[&] { return gst_element_factory_make("autoaudiosink", nullptr); },
                             [&] { monitor.Arm(); }, [&] { return monitor.Onset(); }};
        QDir(dir.path()).mkpath(QStringLiteral("desktop"));
        const LegFigures desktop =
            MeasureLeg("desktop", desktopEar, dir.filePath(QStringLiteral("desktop")), files);
        pulsed->complete &= desktop.complete;
    } else {
        std::printf("pulseaudio leg skipped: %s\n", qPrintable(why));
    }
    const LegFigures& summary = pulsed ? *pulsed : captured;
    std::printf("summary from the %s leg\n", pulsed ? "pulseaudio" : "capture");
    if (summary.oursMs.empty()) return 1;
    std::printf("start-latency open_to_sound_ms=%.0f worst_ms=%.0f\n", Median(summary.oursMs),
                *std::max_element(summary.oursMs.begin(), summary.oursMs.end()));
    return captured.complete && (!pulsed || pulsed->complete) ? 0 : 1;
}

}  // namespace
}  // namespace ostrelle::bench

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    gst_init(&argc, &argv);
    return ostrelle::bench::Run();
}
