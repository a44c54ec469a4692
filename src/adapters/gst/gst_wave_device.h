#pragma once

#include "adapters/gst/gst_support.h"
#include "core/formats/file_claim.h"
#include "core/ports/wave_device.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <mutex>

// GStreamer's own typedefs; repeating them keeps <gst/gst.h> out of this header.
typedef struct _GstElement GstElement;

namespace ostrelle {

// WaveDevice on GStreamer. Records 16-bit PCM, mono, 48000 Hz WAV; plays any WAV file.
//
// captureSource and playbackSink are gst-launch descriptions (an element with its properties, or a short
// chain); empty means the desktop's default input ("pulsesrc", also under PipeWire) and output
// ("autoaudiosink"). Tests pass "audiotestsrc is-live=true" and "fakesink sync=true".
//
// Beyond the base contract:
//   StartRecording() writes into a temporary file beside FileName; a folder that cannot be written to or
//            an input that cannot be opened is reported here, and nothing is left behind.
//   Save()   waits (at most 3 s) until the file is finished, then renames it over FileName; it fails when
//            the input failed during capture or nothing was recorded, and FileName stays as it was.
//            Stop() during capture finishes the file the same way, to be saved or closed.
//   Play()   fails at once for a missing file or one that is not WAV; the done handler is then not raised.
//            After a Play() that succeeded, done is raised exactly once: at the end (through the event
//            loop), before Stop() returns, or when playback fails midway; Close() ends playback silently.
// GStreamer's messages are handled on the thread that created the device, through its Qt event loop.
class GstWaveDevice : public WaveDevice {
public:
    explicit GstWaveDevice(QString captureSource = {}, QString playbackSink = {});
    ~GstWaveDevice() override;

    GstWaveDevice(const GstWaveDevice&) = delete;
    GstWaveDevice& operator=(const GstWaveDevice&) = delete;

    Result<void> Open(const QString& path) override;
    QString FileName() const override { return fileName_; }
    Result<void> StartRecording() override;
    Result<void> Save() override;
    Result<void> Play() override;
    Result<void> Stop() override;
    void Close() override;

    // While capturing: the length recorded so far; open for playback: the file's length.
    qint64 LengthMs() const override;
    // While playing: the position played; after playback, where it ended; while capturing, LengthMs().
    qint64 PositionMs() const override;

    // The detail of the last failure, including one between calls (the input failing while capturing,
    // playback failing midway). Cleared by Open().
    QString ErrorText() const { return errorText_; }

private:
    enum class State {
        kClosed,
        kOpen,           // a file name to record into or play
        kCapturing,      // capture running into partPath_
        kCaptured,       // capture finished into partPath_, waiting for Save() or Close()
        kCaptureFailed,  // the input failed; partPath_ is gone and the reason waits for Save() or Stop()
        kPlaying,
    };

    QString StartPipeline(const QString& description, const QString& fileElementLocation);
    Result<void> FinishCapture();
    Result<void> CommitCapture();
    Result<void> TakeCaptureFailure();
    void FailCapture(const QString& reason);
    void DiscardCapture();
    void EndPlayback(const QString& reason);
    void StopPipeline();
    void HandleStreamingEvent(unsigned generation);
    Failure Fail(FailureCode code, const QString& detail);

    struct Callbacks;  // GStreamer C callbacks, defined beside the implementation

    // What GStreamer's threads report about the current pipeline, guarded by mutex_.
    struct Streaming {
        unsigned generation = 0;  // of pipeline_; events of earlier pipelines are stale
        bool ended = false;       // EOS reached every sink
        QString error;            // the first error posted
    };

    QObject eventContext_;  // lives on the creating thread; streaming events are queued to it
    const QString captureSource_;
    const QString playbackSink_;

    QString fileName_;
    QString errorText_;
    QString captureError_;  // reported by the next Save() or Stop()
    State state_ = State::kClosed;

    GstObjectPtr<GstElement> pipeline_;
    QString partPath_;
    FileClaim partClaim_;  // held while partPath_ exists
    qint64 fileLengthMs_ = 0;
    mutable qint64 positionMs_ = 0;
    std::atomic<qint64> capturedBytes_{0};

    std::mutex mutex_;
    std::condition_variable streamingChanged_;
    Streaming streaming_;
};

}  // namespace ostrelle
