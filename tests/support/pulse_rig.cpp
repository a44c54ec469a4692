#include "pulse_server.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QStandardPaths>

namespace ostrelle::bench {

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

}  // namespace ostrelle::bench
