// From the learner's Play to the first sound heard, after the output waited paused: at an open (played by
// 播放, or by a shadowing run, which pauses first), at a pause made 0.5 s into the lesson, at a step (a pause
// and a seek) and after a stop, each for 0.5, 3 and 10 s.
// Heard on the monitor of a private PulseAudio server that the program's own output (autoaudiosink) plays
// to. The baseline is a bare playbin opened paused on the same server, waiting as long.

#include "adapters/gst/gst_media_player.h"
#include "support/generated_audio.h"
#include "support/pulse_rig.h"
#include "support/run_events.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <gst/gst.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>

namespace ostrelle::bench {
namespace {

using testing::MonitorOnset;
using testing::PulseServer;

constexpr const char* kSink = "ostrelle_paused";
constexpr double kWaits[] = {0.5, 3, 10};
constexpr double kA = 1.0;
constexpr double kB = 2.5;

void Wait(double seconds) {
    RunEventsUntil([] { return false; }, static_cast<int>(seconds * 1000));
}

// Arms the ear, runs play, and returns the milliseconds until the monitor heard sound.
std::optional<double> HeardAfter(MonitorOnset& ear, const std::function<void()>& play) {
    ear.Arm();
    const auto pressed = MonitorOnset::Clock::now();
    play();
    if (!RunEventsUntil([&] { return ear.Onset().has_value(); }, 20000)) return std::nullopt;
    return std::chrono::duration<double, std::milli>(*ear.Onset() - pressed).count();
}

struct Scenario {
    const char* name;
    // Brings the player to the paused state whose wait is measured.
    std::function<void(GstMediaPlayer&)> hold;
    bool pauseFirst = false;  // Play comes from a run that pauses before it starts (shadowing)
};

std::optional<double> MeasureOurs(MonitorOnset& ear, const Scenario& scenario, double wait) {
    GstMediaPlayer player(AudioOutput::kDesktop);
    scenario.hold(player);
    const auto held = [&] {
        return player.PlayState() == kPlayStatePaused || player.PlayState() == kPlayStateStopped;
    };
    if (!RunEventsUntil(held, 10000)) return std::nullopt;
    Wait(wait);
    // What 播放 does: the segment, from A.
    const auto heard = HeardAfter(ear, [&] {
        if (scenario.pauseFirst) player.Pause();
        player.SetStopPoint(kB);
        player.SetCurrentPosition(kA);
        player.Play();
    });
    RunEventsUntil([&] { return player.CurrentPosition() >= kB; }, 10000);
    Wait(0.3);
    return heard;
}

std::optional<double> MeasureBare(MonitorOnset& ear, const QString& path, double wait) {
    GstElement* playbin = gst_element_factory_make("playbin", nullptr);
    g_object_set(playbin, "audio-sink", gst_element_factory_make("autoaudiosink", nullptr), "flags", 0x2,
                 nullptr);
    gchar* uri = gst_filename_to_uri(QFile::encodeName(path).constData(), nullptr);
    g_object_set(playbin, "uri", uri, nullptr);
    g_free(uri);
    gst_element_set_state(playbin, GST_STATE_PAUSED);
    gst_element_get_state(playbin, nullptr, nullptr, 10 * GST_SECOND);
    Wait(wait);
    const auto heard = HeardAfter(ear, [&] { gst_element_set_state(playbin, GST_STATE_PLAYING); });
    Wait(0.5);
    gst_element_set_state(playbin, GST_STATE_NULL);
    gst_object_unref(playbin);
    Wait(0.3);
    return heard;
}

int Run() {
    QTemporaryDir dir;
    const QString path = dir.filePath("lesson.mp3");
    if (const QString error = testing::WriteTone("lamemp3enc ! xingmux", 5.0, path); !error.isEmpty()) {
        std::printf("cannot make the test file: %s\n", qPrintable(error));
        return 1;
    }
    PulseServer server;
    QString why;
    if (!server.Start({QString::fromUtf8(kSink)}, &why)) {
        std::printf("no private sound server: %s\n", qPrintable(why));
        return 1;
    }
    server.WarmUp(QString::fromUtf8(kSink));
    qputenv("PULSE_SERVER", server.Address().toUtf8());
    MonitorOnset ear(server.Address(), QString::fromUtf8(kSink));
    Wait(3);  // a new monitor stream carries its first sound a second or two late

    const auto open = [&](GstMediaPlayer& player, bool autoStart) {
        player.SetAutoStart(autoStart);
        player.SetUrl(path);
        RunEventsUntil([&] { return player.PlayState() != kPlayStateTransitioning; }, 10000);
    };
    const auto playHalfASecond = [&](GstMediaPlayer& player) {
        open(player, true);
        RunEventsUntil([&] { return player.CurrentPosition() >= 0.5; }, 10000);
    };
    const Scenario scenarios[] = {
        {"open", [&](GstMediaPlayer& player) { open(player, false); }},
        {"open+run", [&](GstMediaPlayer& player) { open(player, false); }, true},
        {"pause",
         [&](GstMediaPlayer& player) {
             playHalfASecond(player);
             player.Pause();
         }},
        {"step",
         [&](GstMediaPlayer& player) {
             playHalfASecond(player);
             player.Pause();
             player.SetCurrentPosition(3.0);
         }},
        {"stop",
         [&](GstMediaPlayer& player) {
             playHalfASecond(player);
             player.Stop();
         }},
    };

    double worst = 0;
    double baselineWorst = 0;
    bool complete = true;
    for (const double wait : kWaits) {
        std::printf("wait %4.1f s:", wait);
        for (const Scenario& scenario : scenarios) {
            const auto ms = MeasureOurs(ear, scenario, wait);
            if (ms) {
                std::printf("  %s %.0f ms", scenario.name, *ms);
                worst = std::max(worst, *ms);
            } else {
                std::printf("  %s not heard", scenario.name);
                complete = false;
            }
        }
        const auto bare = MeasureBare(ear, path, wait);
        if (bare) {
            std::printf("  | bare playbin %.0f ms\n", *bare);
            baselineWorst = std::max(baselineWorst, *bare);
        } else {
            std::printf("  | bare playbin not heard\n");
        }
    }
    std::printf("baseline: a bare playbin opened paused, worst %.0f ms\n", baselineWorst);
    std::printf("target worst_ms <= 200: %s\n", !complete      ? "not measured"
                                                : worst <= 200 ? "met"
                                                               : "NOT met");
    std::printf("paused-play waits_s=0.5,3,10 worst_ms=%.0f\n", worst);
    return complete ? 0 : 1;
}

}  // namespace
}  // namespace ostrelle::bench

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    gst_init(&argc, &argv);
    return ostrelle::bench::Run();
}
