#pragma once

#include "core/model/window_model.h"
#include "core/operations/feature.h"
#include "core/ports/dialogs.h"
#include "core/ports/media_player.h"
#include "core/ports/wave_device.h"

#include <optional>

namespace ostrelle {

// The learner's own voice: recording into the recording file, playing it back with a running time in the
// recording group's caption, and saving a copy.
class Recorder final : public Feature {
public:
    Recorder(Window& window, MediaPlayer& player, WaveDevice& device, Dialogs& dialogs,
             QString recordingPath);

    void ToggleRecording();
    void PlayRecording();
    // The device's completion: playback reached its end or was stopped.
    void RecordingDone();
    void ShowRecordingTime();
    void SaveRecording();
    // Removes what a recording cut short by a crash left beside the recording file.
    void DiscardUnfinishedRecordings() const;

    const QString& recordingPath() const { return recordingPath_; }

    // Recording or playing back: the device is the recorder's.
    bool Busy() const { return phase_ != Phase::kIdle; }
    // While another feature uses the device (a shadowing run), recording and playing back are off.
    void Lend() { lent_ = true; }
    void TakeBack() { lent_ = false; }
    bool Owns(Command command) const override {
        return command == Command::Record || command == Command::PlayRecording ||
               command == Command::SaveRecording;
    }
    void Run(Command command) override;
    // The recording group's commands and captions, from the recorder's phase.
    void Present() override;

private:
    // Asked before each render, so the answer is kept until the recorder itself acts again.
    bool RecordingExists() const;
    void Tell(const QString& whatFailed, const Failure& failure);

    enum class Phase { kIdle, kRecording, kPlaying };
    Phase phase_ = Phase::kIdle;
    bool lent_ = false;
    mutable std::optional<bool> exists_;

    Window& window_;
    MediaPlayer& player_;
    WaveDevice& device_;
    Dialogs& dialogs_;
    QString recordingPath_;
};

}  // namespace ostrelle
