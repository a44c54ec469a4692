#pragma once

#include "core/ports/wave_device.h"

#include <QFile>
#include <QHash>
#include <QStringList>

namespace ostrelle {

// A device that logs its commands, fails where told, and writes a small file at "save".
class FakeWaveDevice : public WaveDevice {
public:
    void SetDeviceType(const QString& type) override { log << QStringLiteral("type ") + type; }
    void SetFileName(const QString& path) override { fileName_ = path; }
    QString FileName() const override { return fileName_; }
    QString Command(const QString& command) override {
        log << command;
        const QString error = failures.value(command);
        if (!error.isEmpty()) return error;
        if (command == QStringLiteral("save")) {
            QFile file(fileName_);
            if (file.open(QIODevice::WriteOnly)) file.write("RIFF....WAVE");
        }
        if (command == QStringLiteral("play")) playing = true;
        if (command == QStringLiteral("stop") && playing) Finish();
        return {};
    }
    qint64 LengthMs() const override { return lengthMs; }
    qint64 PositionMs() const override { return positionMs; }
    void SetVisible(bool shown) override { visible = shown; }

    // Playback reaches its end.
    void Finish() {
        playing = false;
        RaiseDone();
    }

    QStringList log;
    QHash<QString, QString> failures;  // command → error it returns
    qint64 lengthMs = 0;
    qint64 positionMs = 0;
    bool playing = false;
    bool visible = false;

private:
    QString fileName_;
};

}  // namespace ostrelle
