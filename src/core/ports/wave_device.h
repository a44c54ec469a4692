#pragma once

#include "base/result.h"

#include <QString>

#include <functional>

namespace ostrelle {

// The recorder's device: records the default input into a WAV file and plays one back. Every call
// returns at once; a failure carries the device's own reason as its detail.
class WaveDevice {
public:
    virtual ~WaveDevice() = default;

    // Prepares recording into path, or playback of it; closes whatever was open first.
    virtual Result<void> Open(const QString& path) = 0;
    virtual QString FileName() const = 0;
    // Keeps the default input capturing until CloseInput(), across Open() and Close(), so that a recording
    // holds the sound from the instant StartRecording() is called instead of from when the input got going.
    // Fails with NoInputDevice when there is no input to open.
    virtual Result<void> OpenInput() = 0;
    virtual void CloseInput() = 0;
    // Starts recording the default input: from this instant while the input is kept open, else from the
    // first sound the input gives. An earlier file of that name is left as it was until Save().
    virtual Result<void> StartRecording() = 0;
    // Ends the recording at this instant, with all the input has captured up to it, and finishes the file as
    // FileName (header with the true length).
    virtual Result<void> Save() = 0;
    virtual Result<void> Play() = 0;
    // Stops playing or capturing; a capture stopped this way waits for Save() or Close().
    virtual Result<void> Stop() = 0;
    // Releases everything; a capture that was not saved is discarded.
    virtual void Close() = 0;

    // Milliseconds: the recording's length (growing while capturing) and the playing position.
    virtual qint64 LengthMs() const = 0;
    virtual qint64 PositionMs() const = 0;

    // Raised on the UI thread when playback reaches its end, and after a Stop() of playback.
    void SetDoneHandler(std::function<void()> handler) { done_ = std::move(handler); }

protected:
    void RaiseDone() {
        if (done_) done_();
    }

private:
    std::function<void()> done_;
};

}  // namespace ostrelle
