#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gst/app/gstappsink.h>

namespace ostrelle::bench {

// A private PulseAudio daemon with null sinks, in a temporary runtime folder; the daemon it started
// (and only that one) is ended when this object goes.
class PulseServer {
public:
    PulseServer() = default;
    ~PulseServer();
    PulseServer(const PulseServer&) = delete;
    PulseServer& operator=(const PulseServer&) = delete;

    // Starts the daemon with one null sink per name (44.1 kHz float stereo). False, and why, on failure.
    bool Start(const QStringList& sinkNames, QString* why);
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

}  // namespace ostrelle::bench
