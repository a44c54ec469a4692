#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gst/app/gstappsink.h>

#include <chrono>
#include <mutex>
#include <optional>

// A private sound server for tests and benchmarks that listen to what the program really played.
namespace ostrelle::testing {

// A private PulseAudio daemon with null sinks, in a temporary runtime folder; the daemon it started
// (and only that one) is ended when this object goes.
class PulseServer {
public:
    PulseServer() = default;
    ~PulseServer();
    PulseServer(const PulseServer&) = delete;
    PulseServer& operator=(const PulseServer&) = delete;

    // Starts the daemon with one null sink per name (44.1 kHz float stereo), the first the default.
    // False, and why, on failure.
    bool Start(const QStringList& sinkNames, QString* why);
    // Plays silence into sinkName for a while: a new server's null sink and monitor take a second or two to
    // carry their first sound.
    void WarmUp(const QString& sinkName) const;
    // For pulsesink/pulsesrc's "server" property.
    QString Address() const { return QStringLiteral("unix:") + socketPath_; }

private:
    QTemporaryDir dir_;
    QProcess process_;
    QString socketPath_;
};

// A playing pipeline that records sinkName's monitor on server (what the server really played, F32 stereo
// at 44.1 kHz) and hands each new sample to onSample; sourceProperties go on its pulsesrc.
GstElement* RecordMonitor(const QString& server, const QString& sinkName, const char* sourceProperties,
                          GstFlowReturn (*onSample)(GstAppSink*, gpointer), gpointer user);

// Records a sink's monitor and notes when, after Arm(), sound is first and last heard on it (steady clock).
class MonitorOnset {
public:
    using Clock = std::chrono::steady_clock;

    // Started once every member is there: samples arrive on another thread at once.
    MonitorOnset(const QString& server, const QString& sinkName);
    ~MonitorOnset();
    MonitorOnset(const MonitorOnset&) = delete;
    MonitorOnset& operator=(const MonitorOnset&) = delete;

    void Arm();
    std::optional<Clock::time_point> Onset();
    std::optional<Clock::time_point> LastSound();

private:
    static GstFlowReturn NewSampleCallback(GstAppSink* sink, gpointer self);

    GstElement* pipeline_ = nullptr;
    std::mutex mutex_;
    std::optional<Clock::time_point> armedAt_;
    std::optional<Clock::time_point> onset_;
    std::optional<Clock::time_point> last_;
};

}  // namespace ostrelle::testing
