#pragma once

#include "core/ports/wave_device.h"

#include <QFile>
#include <QHash>
#include <QStringList>

namespace ostrelle {

// A device that logs its calls ("input", "close input", "open", "record", "save", "play", "stop", "close"),
// fails where told, and writes a small file at "save".
class FakeWaveDevice : public WaveDevice {
public:
    Result<void> Open(const QString& path) override {
        fileName_ = path;
        return Call(QStringLiteral("open"));
    }
    QString FileName() const override { return fileName_; }
    Result<void> OpenInput() override { return Call(QStringLiteral("input")); }
    void CloseInput() override { log << QStringLiteral("close input"); }
    Result<void> StartRecording() override { return Call(QStringLiteral("record")); }
    Result<void> Save() override {
        Result<void> result = Call(QStringLiteral("save"));
        if (!result.ok()) return result;
        QFile file(fileName_);
        if (file.open(QIODevice::WriteOnly)) file.write("RIFF....WAVE");
        return result;
    }
    Result<void> Play() override {
        Result<void> result = Call(QStringLiteral("play"));
        if (result.ok()) playing = true;
        return result;
    }
    Result<void> Stop() override {
        Result<void> result = Call(QStringLiteral("stop"));
        if (result.ok() && playing) Finish();
        return result;
    }
    void Close() override { log << QStringLiteral("close"); }
    qint64 LengthMs() const override { return lengthMs; }
    qint64 PositionMs() const override { return positionMs; }

    // Playback reaches its end.
    void Finish() {
        playing = false;
        RaiseDone();
    }

    QStringList log;
    QHash<QString, Failure> failures;  // call → failure it returns
    qint64 lengthMs = 0;
    qint64 positionMs = 0;
    bool playing = false;

private:
    Result<void> Call(const QString& name) {
        log << name;
        if (const auto failure = failures.constFind(name); failure != failures.constEnd()) return *failure;
        return {};
    }

    QString fileName_;
};

}  // namespace ostrelle
