#pragma once

#include "adapters/gst/gst_support.h"
#include "core/formats/file_claim.h"
#include "core/ports/wave_device.h"

#include <QFile>
#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <memory>
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
// The input runs into an appsink. Each sample is placed on the monotonic system clock by counting samples
// from an anchor: the latest instant consistent with every buffer's arrival (a buffer cannot arrive before
// its last sample was heard), so neither the sound server's stream time nor the pipeline's clock is trusted.
// A recording is the span of samples between the instants of StartRecording() and Save().
//
// Beyond the base contract:
//   OpenInput() fails at once for an input that cannot be opened; the input then runs beside playback.
//   StartRecording() writes into a temporary file beside FileName; a folder that cannot be written to, an
//            input that cannot be opened, or a kept input that has given no sound for a second is reported
//            here, and nothing is left behind.
//   Save()   waits (at most 0.5 s) until the input has delivered the sound up to its call, then renames the
//            file over FileName; it fails when the input failed during capture or nothing was recorded, and
//            FileName stays as it was. Stop() during capture finishes the file the same way, to be saved or
//            closed.
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
    Result<void> OpenInput() override;
    void CloseInput() override;
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
    QString StartInput();
    void StopInput();
    Result<void> FinishCapture();
    Result<void> CommitCapture();
    Result<void> TakeCaptureFailure();
    void FailCapture(const QString& reason);
    void DiscardCapture();
    void EndPlayback(const QString& reason);
    void StopPipeline();
    void HandleStreamingEvent(unsigned generation);
    void HandleInputEvent(unsigned generation);
    Failure Fail(FailureCode code, const QString& detail);

    struct Callbacks;  // GStreamer C callbacks, defined beside the implementation

    // What GStreamer's threads report about the playback pipeline, guarded by mutex_.
    struct Streaming {
        unsigned generation = 0;  // of pipeline_; events of earlier pipelines are stale
        bool ended = false;       // EOS reached every sink
        QString error;            // the first error posted
    };

    // The input and the recording taken from it, guarded by mutex_. Samples are counted from the input's
    // start; sample n was heard at anchorNs + n / rate on the monotonic clock.
    struct Input {
        unsigned generation = 0;  // of inputPipeline_
        qint64 received = 0;      // samples delivered so far
        bool anchored = false;
        qint64 anchorNs = 0;
        qint64 lastArrivalNs = 0;
        QByteArray recent;  // the last samples delivered, from sample recentFrom, for a recording to start in
        qint64 recentFrom = 0;
        bool ended = false;  // the source ran out by itself
        QString error;       // the first error posted
        // The recording: samples [from, to) go into file; to is open until Save() or Stop() fixes it.
        QFile* file = nullptr;
        qint64 from = 0;
        qint64 to = 0;
        QString writeError;
    };

    QObject eventContext_;  // lives on the creating thread; streaming events are queued to it
    const QString captureSource_;
    const QString playbackSink_;

    QString fileName_;
    QString errorText_;
    QString captureError_;  // reported by the next Save() or Stop()
    State state_ = State::kClosed;

    GstObjectPtr<GstElement> pipeline_;       // playback
    GstObjectPtr<GstElement> inputPipeline_;  // the input, while kept open or recording
    bool inputKept_ = false;                  // between OpenInput() and CloseInput()
    qint64 inputOpenedNs_ = 0;
    QString partPath_;
    FileClaim partClaim_;  // held while partPath_ exists
    std::unique_ptr<QFile> partFile_;
    qint64 fileLengthMs_ = 0;
    mutable qint64 positionMs_ = 0;
    std::atomic<qint64> capturedBytes_{0};

    std::mutex mutex_;
    std::condition_variable streamingChanged_;
    Streaming streaming_;
    Input input_;
};

}  // namespace ostrelle
