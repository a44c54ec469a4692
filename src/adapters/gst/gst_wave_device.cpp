#include "adapters/gst/gst_wave_device.h"

#include "adapters/gst/gst_support.h"
#include "adapters/gst/wav_header.h"
#include "core/formats/atomic_file.h"

#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QTemporaryFile>

#include <gst/gst.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <system_error>
#include <utility>

namespace ostrelle {

namespace {

// The recorded format: voice needs no more than mono, and 48 kHz is what desktop sound servers run at,
// so nothing is resampled on the usual machine.
constexpr int kSampleRate = 48000;
constexpr int kChannels = 1;
constexpr qint64 kBytesPerSecond = kSampleRate * kChannels * 2;

const char* const kDefaultSource = "pulsesrc";
const char* const kDefaultSink = "autoaudiosink";

// The encoder rewrites the header once EOS reaches it; a source that never lets EOS through must not
// block the learner for long.
constexpr std::chrono::seconds kFinishTimeout{3};
constexpr int kStartPollMs = 20;

QString CaptureDescription(const QString& source) {
    return QStringLiteral(
               "%1 ! audioconvert ! audioresample ! "
               "audio/x-raw,format=S16LE,layout=interleaved,rate=%2,channels=%3 ! "
               "wavenc name=encoder ! filesink name=file")
        .arg(source)
        .arg(kSampleRate)
        .arg(kChannels);
}

QString PlaybackDescription(const QString& sink) {
    return QStringLiteral("filesrc name=file ! wavparse ! audioconvert ! audioresample ! %1").arg(sink);
}

std::filesystem::path FileSystemPath(const QString& path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

}  // namespace

struct GstWaveDevice::Callbacks {
    // Runs on GStreamer's threads (or inside a state change on ours): records what happened for a waiting
    // Save() and hands the rest to the creating thread.
    static GstBusSyncReply BusSyncCallback(GstBus*, GstMessage* message, gpointer self) {
        auto* device = static_cast<GstWaveDevice*>(self);
        const GstMessageType type = GST_MESSAGE_TYPE(message);
        if (type == GST_MESSAGE_EOS || type == GST_MESSAGE_ERROR) {
            const QString text =
                type == GST_MESSAGE_ERROR ? GstErrorText(ParseErrorMessage(message).get()) : QString();
            unsigned generation = 0;
            {
                std::lock_guard lock(device->mutex_);
                generation = device->streaming_.generation;
                if (type == GST_MESSAGE_EOS) {
                    device->streaming_.ended = true;
                } else if (device->streaming_.error.isEmpty()) {
                    device->streaming_.error = text;  // the first reason is the most precise one
                }
            }
            device->streamingChanged_.notify_all();
            QMetaObject::invokeMethod(
                &device->eventContext_, [device, generation] { device->HandleStreamingEvent(generation); },
                Qt::QueuedConnection);
        }
        const GstMessagePtr dropped(message);  // dropped messages are ours to release
        return GST_BUS_DROP;
    }

    // Counts the sound that reaches the encoder: the recording's length so far, and the file's in the end.
    static GstPadProbeReturn CountCallback(GstPad*, GstPadProbeInfo* info, gpointer self) {
        auto* device = static_cast<GstWaveDevice*>(self);
        if (info->type & GST_PAD_PROBE_TYPE_BUFFER) {
            device->capturedBytes_ +=
                static_cast<qint64>(gst_buffer_get_size(GST_PAD_PROBE_INFO_BUFFER(info)));
        } else if (info->type & GST_PAD_PROBE_TYPE_BUFFER_LIST) {
            device->capturedBytes_ +=
                static_cast<qint64>(gst_buffer_list_calculate_size(GST_PAD_PROBE_INFO_BUFFER_LIST(info)));
        }
        return GST_PAD_PROBE_OK;
    }
};

GstWaveDevice::GstWaveDevice(QString captureSource, QString playbackSink)
    : captureSource_(captureSource.isEmpty() ? QString::fromLatin1(kDefaultSource)
                                             : std::move(captureSource)),
      playbackSink_(playbackSink.isEmpty() ? QString::fromLatin1(kDefaultSink) : std::move(playbackSink)) {
    (void)InitGstreamer();  // a failure is reported when a pipeline is started
}

GstWaveDevice::~GstWaveDevice() {
    // NULL joins the streaming threads, so no callback runs after this; queued events die with
    // eventContext_.
    Close();
}

Failure GstWaveDevice::Fail(FailureCode code, const QString& detail) {
    errorText_ = detail;
    return Failure{code, detail};
}

Result<void> GstWaveDevice::Open(const QString& path) {
    Close();
    errorText_.clear();
    fileName_ = path;
    if (fileName_.isEmpty())
        return Fail(FailureCode::DeviceNotReady, QStringLiteral("No file was named for the recording."));
    state_ = State::kOpen;
    WavHeader header;
    if (ReadWavHeader(fileName_, header).isEmpty()) fileLengthMs_ = header.LengthMs();
    return {};
}

Result<void> GstWaveDevice::StartRecording() {
    switch (state_) {
        case State::kClosed:
            return Fail(FailureCode::DeviceNotReady, QStringLiteral("The recording device is not open."));
        case State::kCapturing:
            return {};
        case State::kPlaying:
            return Fail(FailureCode::DeviceNotReady,
                        QStringLiteral("The recording is playing; stop it before recording."));
        case State::kCaptured:
            DiscardCapture();
            break;
        case State::kCaptureFailed:
        case State::kOpen:
            break;
    }
    captureError_.clear();
    state_ = State::kOpen;

    // A new file beside the old recording, so that the old one stays whole until Save() and the rename
    // that replaces it does not cross file systems.
    QTemporaryFile part(fileName_ + QStringLiteral(".part-XXXXXX"));
    part.setAutoRemove(false);
    if (!part.open()) {
        return Fail(FailureCode::CannotWrite,
                    QStringLiteral("The recording cannot be written in the folder %1 (%2).")
                        .arg(QFileInfo(fileName_).absolutePath(), part.errorString()));
    }
    part.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                        QFileDevice::ReadOther);
    partPath_ = part.fileName();
    part.close();
    partClaim_ = FileClaim::Take(partPath_);  // other copies of the program starting now leave it alone

    capturedBytes_ = 0;
    const QString error = StartPipeline(CaptureDescription(captureSource_), partPath_);
    if (!error.isEmpty()) {
        DiscardCapture();
        return Fail(FailureCode::NoInputDevice,
                    QStringLiteral("The sound input could not be opened: %1").arg(error));
    }
    state_ = State::kCapturing;
    return {};
}

Result<void> GstWaveDevice::TakeCaptureFailure() {
    const QString error = captureError_;
    captureError_.clear();
    state_ = State::kOpen;
    return Fail(FailureCode::DeviceFailed, error);
}

Result<void> GstWaveDevice::Save() {
    switch (state_) {
        case State::kCapturing: {
            const Result<void> finished = FinishCapture();
            if (!finished.ok()) return Fail(finished.failure().code, finished.failure().detail);
            return CommitCapture();
        }
        case State::kCaptured:
            return CommitCapture();
        case State::kCaptureFailed:
            return TakeCaptureFailure();
        default:
            return Fail(FailureCode::DeviceNotReady, QStringLiteral("Nothing has been recorded to save."));
    }
}

Result<void> GstWaveDevice::Stop() {
    switch (state_) {
        case State::kCapturing: {
            const Result<void> finished = FinishCapture();
            if (!finished.ok()) return Fail(finished.failure().code, finished.failure().detail);
            return {};
        }
        case State::kCaptureFailed:
            return TakeCaptureFailure();
        case State::kPlaying:
            PositionMs();  // keeps where it stopped
            EndPlayback({});
            RaiseDone();
            return {};
        default:
            return {};
    }
}

Result<void> GstWaveDevice::Play() {
    switch (state_) {
        case State::kClosed:
            return Fail(FailureCode::DeviceNotReady, QStringLiteral("The recording device is not open."));
        case State::kPlaying:
            return {};
        case State::kCapturing:
        case State::kCaptured:
            return Fail(FailureCode::DeviceNotReady, QStringLiteral("The recording has not been saved yet."));
        case State::kCaptureFailed:
            captureError_.clear();
            state_ = State::kOpen;
            break;
        case State::kOpen:
            break;
    }
    WavHeader header;
    QString error = ReadWavHeader(fileName_, header);
    if (!error.isEmpty())
        return Fail(QFileInfo(fileName_).isFile() ? FailureCode::NotAudio : FailureCode::CannotRead, error);
    fileLengthMs_ = header.LengthMs();
    positionMs_ = 0;
    error = StartPipeline(PlaybackDescription(playbackSink_), fileName_);
    if (!error.isEmpty())
        return Fail(FailureCode::DeviceFailed,
                    QStringLiteral("The recording could not be played: %1").arg(error));
    state_ = State::kPlaying;
    return {};
}

void GstWaveDevice::Close() {
    switch (state_) {
        case State::kCapturing:
            StopPipeline();
            DiscardCapture();
            break;
        case State::kCaptured:
            DiscardCapture();
            break;
        case State::kPlaying:
            EndPlayback({});
            break;
        default:
            break;
    }
    state_ = State::kClosed;
    captureError_.clear();
    fileLengthMs_ = 0;
    positionMs_ = 0;
}

QString GstWaveDevice::StartPipeline(const QString& description, const QString& fileElementLocation) {
    {
        std::lock_guard lock(mutex_);
        streaming_.ended = false;
        streaming_.error.clear();
    }
    if (const Result<void> started = InitGstreamer(); !started.ok()) return started.failure().detail;
    GError* rawError = nullptr;
    GstElement* pipeline = gst_parse_launch(description.toUtf8().constData(), &rawError);
    const GErrorPtr error(rawError);
    // gst_parse_launch can return a pipeline and an error at once.
    if (error || !pipeline) {
        if (pipeline) gst_object_unref(pipeline);
        return error ? QString::fromUtf8(error->message) : QStringLiteral("no pipeline");
    }
    pipeline_.reset(GST_ELEMENT(gst_object_ref_sink(pipeline)));

    const GstObjectPtr<GstElement> file(gst_bin_get_by_name(GST_BIN(pipeline_.get()), "file"));
    if (!file) {
        StopPipeline();
        return QStringLiteral("the pipeline has no file element");
    }
    g_object_set(file.get(), "location", QFile::encodeName(fileElementLocation).constData(), nullptr);
    if (const GstObjectPtr<GstElement> encoder(gst_bin_get_by_name(GST_BIN(pipeline_.get()), "encoder"));
        encoder) {
        const GstObjectPtr<GstPad> pad(gst_element_get_static_pad(encoder.get(), "sink"));
        gst_pad_add_probe(
            pad.get(),
            static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST),
            &Callbacks::CountCallback, this, nullptr);
    }
    const GstObjectPtr<GstBus> bus(gst_element_get_bus(pipeline_.get()));
    gst_bus_set_sync_handler(bus.get(), &Callbacks::BusSyncCallback, this, nullptr);

    if (gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        QString text;
        {
            std::lock_guard lock(mutex_);
            text = streaming_.error;
        }
        StopPipeline();
        return text.isEmpty() ? QStringLiteral("the pipeline did not start") : text;
    }
    return {};
}

void GstWaveDevice::StopPipeline() {
    if (pipeline_) {
        gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
        const GstObjectPtr<GstBus> bus(gst_element_get_bus(pipeline_.get()));
        gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
        pipeline_.reset();
    }
    std::lock_guard lock(mutex_);
    ++streaming_.generation;  // events of this pipeline still queued are stale from here on
    streaming_.ended = false;
    streaming_.error.clear();
}

Result<void> GstWaveDevice::FinishCapture() {
    const auto deadline = std::chrono::steady_clock::now() + kFinishTimeout;
    auto streamingOver = [this] { return streaming_.ended || !streaming_.error.isEmpty(); };

    // Sending an event takes the pipeline's state lock, while a sink that has not started yet holds the
    // streaming thread until the pipeline gets that lock to go on to PLAYING. So EOS goes only to a
    // pipeline that is playing; one that never got there (an error aborts the start) has nothing to keep.
    GstState current = GST_STATE_VOID_PENDING;
    GstStateChangeReturn start = GST_STATE_CHANGE_ASYNC;
    while (start == GST_STATE_CHANGE_ASYNC && std::chrono::steady_clock::now() < deadline) {
        start = gst_element_get_state(pipeline_.get(), &current, nullptr, kStartPollMs * GST_MSECOND);
        std::lock_guard lock(mutex_);
        if (streamingOver()) break;
    }
    if ((start == GST_STATE_CHANGE_SUCCESS || start == GST_STATE_CHANGE_NO_PREROLL) &&
        current == GST_STATE_PLAYING)
        gst_element_send_event(pipeline_.get(), gst_event_new_eos());

    Streaming result;
    {
        std::unique_lock lock(mutex_);
        streamingChanged_.wait_until(lock, deadline, streamingOver);
        result = streaming_;
    }
    StopPipeline();  // closes the file
    if (!result.error.isEmpty()) {
        DiscardCapture();
        state_ = State::kOpen;
        return Failure{FailureCode::DeviceFailed,
                       QStringLiteral("The recording stopped: %1").arg(result.error)};
    }
    if (!result.ended) {
        DiscardCapture();
        state_ = State::kOpen;
        if (capturedBytes_.load() == 0)
            return Failure{FailureCode::NoInputDevice, QStringLiteral("No sound came from the input.")};
        return Failure{FailureCode::DeviceFailed,
                       QStringLiteral("The recording could not be finished in time.")};
    }
    state_ = State::kCaptured;
    return {};
}

Result<void> GstWaveDevice::CommitCapture() {
    // The header must hold the true length: the sizes agree with the file and with what was captured.
    WavHeader header;
    const QString error = ReadWavHeader(partPath_, header);
    if (!error.isEmpty() || !header.sizesAgree || header.dataBytes != capturedBytes_.load()) {
        DiscardCapture();
        state_ = State::kOpen;
        return Fail(FailureCode::DeviceFailed, capturedBytes_.load() == 0
                                                   ? QStringLiteral("Nothing was recorded.")
                                                   : QStringLiteral("The recording could not be finished."));
    }
    std::error_code renameError;
    std::filesystem::rename(FileSystemPath(partPath_), FileSystemPath(fileName_), renameError);
    if (renameError) {
        // A rename fails across file systems, where a copy still saves the recording.
        const Result<void> copied = CopyFileAtomically(partPath_, fileName_);
        DiscardCapture();
        if (!copied.ok()) {
            state_ = State::kOpen;
            return Fail(copied.failure().code, QStringLiteral("The recording could not be saved as %1: %2")
                                                   .arg(fileName_, copied.failure().detail));
        }
    }
    partPath_.clear();
    partClaim_.Release();
    state_ = State::kOpen;
    fileLengthMs_ = header.LengthMs();
    positionMs_ = 0;
    return {};
}

void GstWaveDevice::FailCapture(const QString& reason) {
    StopPipeline();
    DiscardCapture();
    captureError_ = QStringLiteral("The recording stopped: %1").arg(reason);
    errorText_ = captureError_;
    state_ = State::kCaptureFailed;
}

void GstWaveDevice::DiscardCapture() {
    if (!partPath_.isEmpty()) QFile::remove(partPath_);
    partPath_.clear();
    partClaim_.Release();
}

void GstWaveDevice::EndPlayback(const QString& reason) {
    StopPipeline();
    state_ = State::kOpen;
    if (!reason.isEmpty()) errorText_ = QStringLiteral("The recording stopped playing: %1").arg(reason);
}

void GstWaveDevice::HandleStreamingEvent(unsigned generation) {
    Streaming now;
    {
        std::lock_guard lock(mutex_);
        if (generation != streaming_.generation) return;
        now = streaming_;
    }
    if (state_ == State::kCapturing) {
        if (!now.error.isEmpty()) {
            FailCapture(now.error);
        } else if (now.ended) {
            // The source ran out by itself: the file is complete and waits for Save().
            StopPipeline();
            state_ = State::kCaptured;
        }
    } else if (state_ == State::kPlaying && (now.ended || !now.error.isEmpty())) {
        if (now.error.isEmpty()) positionMs_ = fileLengthMs_;
        EndPlayback(now.error);
        RaiseDone();
    }
}

qint64 GstWaveDevice::LengthMs() const {
    switch (state_) {
        case State::kCapturing:
        case State::kCaptured:
        case State::kCaptureFailed:
            return capturedBytes_.load() * 1000 / kBytesPerSecond;
        default:
            return fileLengthMs_;
    }
}

qint64 GstWaveDevice::PositionMs() const {
    if (state_ == State::kPlaying) {
        gint64 position = 0;
        if (gst_element_query_position(pipeline_.get(), GST_FORMAT_TIME, &position) && position >= 0)
            positionMs_ = std::min<qint64>(position / GST_MSECOND, fileLengthMs_);
        return positionMs_;
    }
    if (state_ == State::kOpen || state_ == State::kClosed) return positionMs_;
    return LengthMs();
}

}  // namespace ostrelle
