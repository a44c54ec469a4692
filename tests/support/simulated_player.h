#pragma once

#include "core/formats/time_values.h"
#include "core/ports/media_player.h"

#include <QHash>

#include <vector>

namespace ostrelle {

// A player whose position moves only when the test advances its clock. It honours the stop point the way
// the real player does: playing ends there, paused, positioned exactly at it.
class SimulatedPlayer : public MediaPlayer {
public:
    // Moves the clock; while playing, the position follows it up to the stop point or the end.
    void Advance(double seconds);

    void SetUrl(const QString& path) override;
    QString Url() const override { return url_; }
    void Play() override;
    void Pause() override;
    void Stop() override;
    double CurrentPosition() const override { return static_cast<double>(positionUs_) / 1e6; }
    void SetCurrentPosition(double seconds) override;
    QString CurrentPositionString() const override { return PositionText(CurrentPosition(), duration_); }
    double Duration() const override { return duration_; }
    int PlayState() const override { return state_; }
    bool EndedByItself() const override { return ended_; }
    void SetVolume(int volume) override { volume_ = volume; }
    int Volume() const override { return volume_; }
    void SetAutoStart(bool autoStart) override { autoStart_ = autoStart; }
    void SetStopPoint(std::optional<double> seconds) override { stopPoint_ = seconds; }
    void SetRate(double rate) override { rate_ = rate; }
    double Rate() const override { return fixedSpeed ? 1.0 : rate_; }
    QString ErrorText() const override { return errorText_; }
    QString OutputProblem() const override { return outputProblem; }

    // Test controls and observations.
    double duration_ = 600;
    std::optional<double> stopPoint() const { return stopPoint_; }
    int playCalls = 0;
    int pauseCalls = 0;
    std::vector<double> seeks;
    // Paths whose opening fails, with the reason the player gives.
    QHash<QString, QString> unplayable;
    QString outputProblem;
    bool fixedSpeed = false;  // the media cannot change speed
    double requestedRate() const { return rate_; }

private:
    QString url_;
    // Whole microseconds, so that a hundred 10 ms ticks make exactly one second.
    long long positionUs_ = 0;
    int state_ = kPlayStateUndefined;
    bool ended_ = false;
    QString errorText_;
    int volume_ = 50;
    bool autoStart_ = true;
    std::optional<double> stopPoint_;
    double rate_ = 1.0;
};

}  // namespace ostrelle
