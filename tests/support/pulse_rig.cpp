#include "support/pulse_rig.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QThread>

#include <cmath>

namespace ostrelle::testing {

PulseServer::~PulseServer() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();  // SIGTERM to the daemon's own PID
    if (!process_.waitForFinished(3000)) {
        process_.kill();
        process_.waitForFinished(3000);
    }
}

bool PulseServer::Start(const QStringList& sinkNames, QString* why) {
    const QString program = QStandardPaths::findExecutable(QStringLiteral("pulseaudio"));
    if (program.isEmpty()) {
        *why = QStringLiteral("pulseaudio is not installed");
        return false;
    }
    if (!dir_.isValid()) {
        *why = QStringLiteral("no temporary folder");
        return false;
    }
    QDir dir(dir_.path());
    dir.mkpath(QStringLiteral("runtime"));
    dir.mkpath(QStringLiteral("state"));
    socketPath_ = dir.filePath(QStringLiteral("native"));

    // Everything the daemon keeps stays in the temporary folder; as root it needs its own runtime folder.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir_.path());
    environment.insert(QStringLiteral("PULSE_RUNTIME_PATH"), dir.filePath(QStringLiteral("runtime")));
    environment.insert(QStringLiteral("PULSE_STATE_PATH"), dir.filePath(QStringLiteral("state")));
    environment.insert(QStringLiteral("HOME"), dir_.path());
    environment.remove(QStringLiteral("PULSE_SERVER"));
    environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    process_.setProcessEnvironment(environment);
    process_.setProcessChannelMode(QProcess::MergedChannels);

    QStringList arguments{QStringLiteral("-n"),
                          QStringLiteral("--daemonize=no"),
                          QStringLiteral("--use-pid-file=no"),
                          QStringLiteral("--exit-idle-time=-1"),
                          QStringLiteral("--disable-shm=yes"),
                          QStringLiteral("--log-target=stderr"),
                          QStringLiteral("--log-level=error")};
    for (const QString& name : sinkNames) {
        arguments << QStringLiteral("-L")
                  << QStringLiteral("module-null-sink sink_name=%1 rate=44100 format=float32le channels=2")
                         .arg(name);
    }
    arguments << QStringLiteral("-L")
              << QStringLiteral("module-native-protocol-unix auth-anonymous=1 socket=%1").arg(socketPath_);
    process_.start(program, arguments);
    if (!process_.waitForStarted(5000)) {
        *why = QStringLiteral("pulseaudio did not start: %1").arg(process_.errorString());
        return false;
    }
    // The socket appears once the daemon accepts clients.
    QDeadlineTimer deadline(10000);
    while (!QFileInfo::exists(socketPath_)) {
        if (process_.state() == QProcess::NotRunning || deadline.hasExpired()) {
            *why = QStringLiteral("pulseaudio exited or did not open its socket: %1")
                       .arg(QString::fromLocal8Bit(process_.readAll()).trimmed());
            return false;
        }
        process_.waitForReadyRead(20);
    }
    return true;
}

GstElement* RecordMonitor(const QString& server, const QString& sinkName, const char* sourceProperties,
                          GstFlowReturn (*onSample)(GstAppSink*, gpointer), gpointer user) {
    const QByteArray description =
        QByteArray("pulsesrc name=src ") + sourceProperties +
        " ! audio/x-raw,format=F32LE,rate=44100,channels=2,layout=interleaved ! appsink name=out sync=false";
    GstElement* pipeline = gst_parse_launch(description.constData(), nullptr);
    GstElement* source = gst_bin_get_by_name(GST_BIN(pipeline), "src");
    g_object_set(source, "server", server.toUtf8().constData(), "device",
                 (sinkName + QStringLiteral(".monitor")).toUtf8().constData(), nullptr);
    gst_object_unref(source);
    GstElement* appsink = gst_bin_get_by_name(GST_BIN(pipeline), "out");
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = onSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(appsink), &callbacks, user, nullptr);
    gst_object_unref(appsink);
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    return pipeline;
}

void PulseServer::WarmUp(const QString& sinkName) const {
    const QByteArray description =
        ("audiotestsrc wave=silence is-live=true ! pulsesink device=" + sinkName + " server=" + Address())
            .toUtf8();
    GstElement* pipeline = gst_parse_launch(description.constData(), nullptr);
    if (!pipeline) return;
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    QThread::msleep(2000);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
}

namespace {
constexpr int kMonitorRate = 44100;
constexpr float kSoundLevel = 0.05f;
}  // namespace

MonitorOnset::MonitorOnset(const QString& server, const QString& sinkName) {
    pipeline_ = RecordMonitor(server, sinkName, "buffer-time=20000 latency-time=5000",
                              &MonitorOnset::NewSampleCallback, this);
}

MonitorOnset::~MonitorOnset() {
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    gst_object_unref(pipeline_);
}

void MonitorOnset::Arm() {
    std::lock_guard lock(mutex_);
    armedAt_ = Clock::now();
    onset_.reset();
    last_.reset();
}

std::optional<MonitorOnset::Clock::time_point> MonitorOnset::Onset() {
    std::lock_guard lock(mutex_);
    return onset_;
}

std::optional<MonitorOnset::Clock::time_point> MonitorOnset::LastSound() {
    std::lock_guard lock(mutex_);
    return last_;
}

GstFlowReturn MonitorOnset::NewSampleCallback(GstAppSink* sink, gpointer self) {
    const auto now = Clock::now();
    auto* monitor = static_cast<MonitorOnset*>(self);
    GstSample* sample = gst_app_sink_pull_sample(sink);
    if (!sample) return GST_FLOW_OK;
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstMapInfo map;
    if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        const auto* samples = reinterpret_cast<const float*>(map.data);
        const std::size_t frames = map.size / (2 * sizeof(float));
        std::lock_guard lock(monitor->mutex_);
        for (std::size_t i = 0; monitor->armedAt_ && i < frames; ++i) {
            // The buffer's last frame was captured just now; this one that much earlier. Sound from
            // before the arming (still on its way through the monitor) does not count.
            const auto before = std::chrono::duration<double>(double(frames - i) / kMonitorRate);
            const auto at = now - std::chrono::duration_cast<Clock::duration>(before);
            if (at <= *monitor->armedAt_ || std::fabs(samples[2 * i]) <= kSoundLevel) continue;
            if (!monitor->onset_) monitor->onset_ = at;
            monitor->last_ = at;
        }
        gst_buffer_unmap(buffer, &map);
    }
    gst_sample_unref(sample);
    return GST_FLOW_OK;
}

}  // namespace ostrelle::testing
