#pragma once

#include <QString>

#include <functional>

namespace ostrelle {

// The recorder's device, driven by command words as the recording operations send them:
//   "open"   prepares recording into FileName (or playback of it, when a file of that name exists and
//            the next command is "play"),
//   "Record" starts capturing from the default input,
//   "save"   ends capturing and finishes the file as FileName (header with the true length); until then
//            an earlier file of that name is left as it was,
//   "play"   plays FileName, "stop" stops playing or capturing, "close" releases everything.
// Every call returns at once.
class WaveDevice {
public:
    virtual ~WaveDevice() = default;

    virtual void SetDeviceType(const QString& type) = 0;  // "waveaudio"
    virtual void SetFileName(const QString& path) = 0;
    virtual QString FileName() const = 0;
    // Empty on success, else a reason the learner can read (no input device, folder not writable…).
    virtual QString Command(const QString& command) = 0;

    // Milliseconds: the recording's length (growing while capturing) and the playing position.
    virtual qint64 LengthMs() const = 0;
    virtual qint64 PositionMs() const = 0;

    virtual void SetVisible(bool visible) = 0;

    // Raised on the UI thread when playback reaches its end, and after a "stop" of playback.
    void SetDoneHandler(std::function<void()> handler) { done_ = std::move(handler); }

protected:
    void RaiseDone() {
        if (done_) done_();
    }

private:
    std::function<void()> done_;
};

}  // namespace ostrelle
