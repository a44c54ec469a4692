#include "adapters/gst/gst_wave_device.h"

#include "adapters/gst/gst_support.h"
#include "adapters/gst/wav_header.h"
#include "core/formats/atomic_file.h"

#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QTemporaryFile>

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <limits>
#include <system_error>
#include <utility>

namespace ostrelle {

namespace {

// The recorded format: voice needs no more than mono, and 48 kHz is what desktop sound servers run at,
// so nothing is resampled on the usual machine.
constexpr int kSampleRate = 48000;
constexpr int kChannels = 1;
constexpr qint64 kBytesPerSample = 2 * kChannels;
constexpr qint64 kBytesPerSecond = kSampleRate * kBytesPerSample;
// The most sound a RIFF size field can describe.
constexpr qint64 kMaxDataBytes = (0xFFFFFFFFLL - 36) / kBytesPerSample * kBytesPerSample;

const char* const kDefaultSource = "pulsesrc";
const char* const kDefaultSink = "autoaudiosink";

// The input delivers within a few tens of milliseconds; an input that stalls must not hold the learner.
constexpr std::chrono::milliseconds kDrainTimeout{500};
// A kept input that has given nothing for this long has no sound to give.
constexpr qint64 kSilentInputNs = 1000 * 1000 * 1000;
// The anchor may rise by this fraction of the time passed: follows an input clock up to 500 ppm slower
// than the system's, while a late buffer moves it by next to nothing.
constexpr qint64 kAnchorRiseDivisor = 2000;
// How much of the input a recording can start in, kept while nothing is recorded.
constexpr qint64 kRecentSamples = 2 * kSampleRate;
constexpr qint64 kOpenEnd = std::numeric_limits<qint64>::max();

QString CaptureDescription(const QString& source) {
    return QStringLiteral(
               "%1 ! audioconvert ! audioresample ! "
               "audio/x-raw,format=S16LE,layout=interleaved,rate=%2,channels=%3 ! "
               "appsink name=input sync=false")
        .arg(source)
        .arg(kSampleRate)
        .arg(kChannels);
}

qint64 NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

QString PlaybackDescription(const QString& sink) {
    return QStringLiteral("filesrc name=file ! wavparse ! audioconvert ! audioresample ! %1").arg(sink);
}

// NULL joins the streaming threads, so no callback of the pipeline runs after this.
void EndPipeline(GstObjectPtr<GstElement>& pipeline) {
    if (!pipeline) return;
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    const GstObjectPtr<GstBus> bus(gst_element_get_bus(pipeline.get()));
    gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
    pipeline.reset();
}

std::filesystem::path FileSystemPath(const QString& path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

}  // namespace

struct GstWaveDevice::Callbacks {
    // Runs on GStreamer's threads (or inside a state change on ours): records the end or the first error in
    // the pipeline's state (the playback's or the input's) for a waiting Save(), and hands the rest to the
    // creating thread.
    template <auto state, auto handle>
    static GstBusSyncReply BusSyncCallback(GstBus*, GstMessage* message, gpointer self) {
        auto* device = static_cast<GstWaveDevice*>(self);
        const GstMessageType type = GST_MESSAGE_TYPE(message);
        if (type == GST_MESSAGE_EOS || type == GST_MESSAGE_ERROR) {
            const QString text =
                type == GST_MESSAGE_ERROR ? GstErrorText(ParseErrorMessage(message).get()) : QString();
            unsigned generation = 0;
            {
                std::lock_guard lock(device->mutex_);
                auto& reported = device->*state;
                generation = reported.generation;
                if (type == GST_MESSAGE_EOS) {
                    reported.ended = true;
                } else if (reported.error.isEmpty()) {
                    reported.error = text;  // the first reason is the most precise one
                }
            }
            device->streamingChanged_.notify_all();
            QMetaObject::invokeMethod(
                &device->eventContext_, [device, generation] { (device->*handle)(generation); },
                Qt::QueuedConnection);
        }
        const GstMessagePtr dropped(message);  // dropped messages are ours to release
        return GST_BUS_DROP;
    }

    // Runs on the input's streaming thread for each buffer the input delivers.
    static GstFlowReturn NewSampleCallback(GstAppSink* sink, gpointer self) {
        const qint64 arrivalNs = NowNs();
        auto* device = static_cast<GstWaveDevice*>(self);
        GstSample* sample = gst_app_sink_pull_sample(sink);
        if (!sample) return GST_FLOW_OK;
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        GstMapInfo map;
        if (buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            {
                std::lock_guard lock(device->mutex_);
                Deliver(*device, reinterpret_cast<const char*>(map.data),
                        static_cast<qint64>(map.size) / kBytesPerSample, arrivalNs,
                        GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_DISCONT));
            }
            gst_buffer_unmap(buffer, &map);
            device->streamingChanged_.notify_all();
        }
        gst_sample_unref(sample);
        return GST_FLOW_OK;
    }

    // Counts samples in, places them in time, and writes those of the recording. Holds mutex_.
    static void Deliver(GstWaveDevice& device, const char* data, qint64 samples, qint64 arrivalNs,
                        bool discont) {
        Input& in = device.input_;
        const qint64 first = in.received;
        in.received += samples;
        // The last sample of a buffer was heard no later than the buffer arrived.
        const qint64 candidate = arrivalNs - in.received * 1000000000 / kSampleRate;
        if (!in.anchored || (discont && first > 0)) {
            in.anchorNs = candidate;  // after a gap the count no longer says where a sample lies
            in.anchored = true;
        } else {
            in.anchorNs =
                std::min(candidate, in.anchorNs + (arrivalNs - in.lastArrivalNs) / kAnchorRiseDivisor);
        }
        in.lastArrivalNs = arrivalNs;
        if (in.file) {
            WriteSpan(device, first, data, samples);
            return;
        }
        if (in.recent.isEmpty()) in.recentFrom = first;
        in.recent.append(data, static_cast<qsizetype>(samples * kBytesPerSample));
        const qint64 excess = static_cast<qint64>(in.recent.size()) / kBytesPerSample - kRecentSamples;
        if (excess > kRecentSamples) {  // trimmed now and then, not on every buffer
            in.recent.remove(0, static_cast<qsizetype>(excess * kBytesPerSample));
            in.recentFrom += excess;
        }
    }

    // Writes what of samples [first, first + count) lies in the recording. Holds mutex_.
    static void WriteSpan(GstWaveDevice& device, qint64 first, const char* data, qint64 count) {
        Input& in = device.input_;
        if (!in.file || !in.writeError.isEmpty()) return;
        const qint64 begin = std::max(first, in.from);
        const qint64 written = device.capturedBytes_.load();
        const qint64 end =
            std::min({first + count, in.to, begin + (kMaxDataBytes - written) / kBytesPerSample});
        if (end <= begin) return;
        const qint64 bytes = (end - begin) * kBytesPerSample;
        if (in.file->write(data + (begin - first) * kBytesPerSample, bytes) != bytes) {
            in.writeError = in.file->errorString();
            return;
        }
        device.capturedBytes_ += bytes;
    }

    // Which sample was heard at the instant ns. Holds mutex_.
    static qint64 SampleAt(const Input& in, qint64 ns) {
        return std::llround(static_cast<double>(ns - in.anchorNs) * kSampleRate / 1e9);
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
    inputKept_ = false;
    Close();
    StopInput();
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

Result<void> GstWaveDevice::OpenInput() {
    inputKept_ = true;
    if (inputPipeline_) return {};
    const QString error = StartInput();
    if (!error.isEmpty()) {
        inputKept_ = false;
        return Fail(FailureCode::NoInputDevice,
                    QStringLiteral("The sound input could not be opened: %1").arg(error));
    }
    return {};
}

void GstWaveDevice::CloseInput() {
    inputKept_ = false;
    if (state_ != State::kCapturing) StopInput();  // else the recording's end closes it
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
    const qint64 startNs = NowNs();
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
    partFile_ = std::make_unique<QFile>(partPath_);
    if (!partFile_->open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        partFile_->write(PcmWavHeader(kSampleRate, kChannels, 0)) != kPcmWavHeaderBytes) {
        const QString why = partFile_->errorString();
        DiscardCapture();
        return Fail(FailureCode::CannotWrite,
                    QStringLiteral("The recording cannot be written in the folder %1 (%2).")
                        .arg(QFileInfo(fileName_).absolutePath(), why));
    }
    capturedBytes_ = 0;

    // A kept input has been running: the recording starts at this instant. One started now (or again,
    // after it failed) starts with the first sound it gives.
    if (inputPipeline_) {
        bool stopped = false;
        {
            std::lock_guard lock(mutex_);
            stopped = input_.ended || !input_.error.isEmpty();
        }
        if (stopped) StopInput();  // its event is still on the way
    }
    const bool fromFirstSound = !inputPipeline_;
    if (!inputPipeline_) {
        const QString error = StartInput();
        if (!error.isEmpty()) {
            DiscardCapture();
            return Fail(FailureCode::NoInputDevice,
                        QStringLiteral("The sound input could not be opened: %1").arg(error));
        }
    }
    bool silent = false;
    {
        std::lock_guard lock(mutex_);
        Input& in = input_;
        silent = !fromFirstSound && in.received == 0 && startNs - inputOpenedNs_ > kSilentInputNs;
        if (!silent) {
            in.from =
                fromFirstSound || !in.anchored ? 0 : std::max<qint64>(0, Callbacks::SampleAt(in, startNs));
            in.to = kOpenEnd;
            in.writeError.clear();
            in.file = partFile_.get();
            Callbacks::WriteSpan(*this, in.recentFrom, in.recent.constData(),
                                 static_cast<qint64>(in.recent.size()) / kBytesPerSample);
            in.recent.clear();
        }
    }
    if (silent) {
        DiscardCapture();
        return Fail(FailureCode::NoInputDevice, QStringLiteral("No sound came from the input."));
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
            DiscardCapture();
            if (!inputKept_) StopInput();
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
    QString why;
    pipeline_ = LaunchPipeline(description.toUtf8().constData(), &why);
    if (!pipeline_) return why;

    const GstObjectPtr<GstElement> file(gst_bin_get_by_name(GST_BIN(pipeline_.get()), "file"));
    if (!file) {
        StopPipeline();
        return QStringLiteral("the pipeline has no file element");
    }
    g_object_set(file.get(), "location", QFile::encodeName(fileElementLocation).constData(), nullptr);
    const GstObjectPtr<GstBus> bus(gst_element_get_bus(pipeline_.get()));
    gst_bus_set_sync_handler(
        bus.get(),
        &Callbacks::BusSyncCallback<&GstWaveDevice::streaming_, &GstWaveDevice::HandleStreamingEvent>, this,
        nullptr);

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
    EndPipeline(pipeline_);
    std::lock_guard lock(mutex_);
    ++streaming_.generation;  // events of this pipeline still queued are stale from here on
    streaming_.ended = false;
    streaming_.error.clear();
}

QString GstWaveDevice::StartInput() {
    StopInput();
    if (const Result<void> started = InitGstreamer(); !started.ok()) return started.failure().detail;
    QString why;
    inputPipeline_ = LaunchPipeline(CaptureDescription(captureSource_).toUtf8().constData(), &why);
    if (!inputPipeline_) return why;
    const GstObjectPtr<GstElement> sink(gst_bin_get_by_name(GST_BIN(inputPipeline_.get()), "input"));
    if (!sink || !GST_IS_APP_SINK(sink.get())) {
        StopInput();
        return QStringLiteral("the pipeline has no input element");
    }
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = &Callbacks::NewSampleCallback;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink.get()), &callbacks, this, nullptr);
    const GstObjectPtr<GstBus> bus(gst_element_get_bus(inputPipeline_.get()));
    gst_bus_set_sync_handler(
        bus.get(), &Callbacks::BusSyncCallback<&GstWaveDevice::input_, &GstWaveDevice::HandleInputEvent>,
        this, nullptr);

    inputOpenedNs_ = NowNs();
    if (gst_element_set_state(inputPipeline_.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        QString text;
        {
            std::lock_guard lock(mutex_);
            text = input_.error;
        }
        StopInput();
        return text.isEmpty() ? QStringLiteral("the input did not start") : text;
    }
    return {};
}

void GstWaveDevice::StopInput() {
    EndPipeline(inputPipeline_);
    std::lock_guard lock(mutex_);
    // Events of this input still queued are stale from here on; a recording from it has ended.
    const unsigned next = input_.generation + 1;
    input_ = Input{};
    input_.generation = next;
}

Result<void> GstWaveDevice::FinishCapture() {
    const qint64 endNs = NowNs();
    const auto deadline = std::chrono::steady_clock::now() + kDrainTimeout;
    qint64 received = 0;
    QString error;
    QString writeError;
    {
        std::unique_lock lock(mutex_);
        Input& in = input_;
        // The end is placed once the input has said where its samples lie, and the sound up to it is
        // waited for: what the input still held when Save() was called belongs to the recording.
        auto drained = [&] {
            if (in.to == kOpenEnd && in.anchored) in.to = std::max(in.from, Callbacks::SampleAt(in, endNs));
            return (in.to != kOpenEnd && in.received >= in.to) || in.ended || !in.error.isEmpty() ||
                   !in.writeError.isEmpty();
        };
        streamingChanged_.wait_until(lock, deadline, drained);
        in.file = nullptr;  // nothing more is written
        received = in.received;
        error = in.error;
        writeError = in.writeError;
    }
    if (!inputKept_ || !error.isEmpty()) StopInput();

    auto discard = [this](FailureCode code, const QString& detail) {
        DiscardCapture();
        state_ = State::kOpen;
        return Failure{code, detail};
    };
    if (!error.isEmpty())
        return discard(FailureCode::DeviceFailed, QStringLiteral("The recording stopped: %1").arg(error));
    if (!writeError.isEmpty())
        return discard(FailureCode::CannotWrite,
                       QStringLiteral("The recording could not be written: %1").arg(writeError));
    if (received == 0)
        return discard(FailureCode::NoInputDevice, QStringLiteral("No sound came from the input."));
    const qint64 bytes = capturedBytes_.load();
    if (bytes == 0) return discard(FailureCode::DeviceFailed, QStringLiteral("Nothing was recorded."));
    // The header now says how much sound there is.
    if (!partFile_->seek(0) ||
        partFile_->write(PcmWavHeader(kSampleRate, kChannels, bytes)) != kPcmWavHeaderBytes ||
        !partFile_->flush()) {
        return discard(
            FailureCode::CannotWrite,
            QStringLiteral("The recording could not be written: %1").arg(partFile_->errorString()));
    }
    partFile_->close();
    partFile_.reset();
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
    StopInput();
    DiscardCapture();
    captureError_ = QStringLiteral("The recording stopped: %1").arg(reason);
    errorText_ = captureError_;
    state_ = State::kCaptureFailed;
}

void GstWaveDevice::DiscardCapture() {
    {
        std::lock_guard lock(mutex_);
        input_.file = nullptr;
    }
    partFile_.reset();
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
    if (state_ == State::kPlaying && (now.ended || !now.error.isEmpty())) {
        if (now.error.isEmpty()) positionMs_ = fileLengthMs_;
        EndPlayback(now.error);
        RaiseDone();
    }
}

void GstWaveDevice::HandleInputEvent(unsigned generation) {
    QString error;
    bool ended = false;
    {
        std::lock_guard lock(mutex_);
        if (generation != input_.generation) return;
        error = input_.error;
        ended = input_.ended;
    }
    if (error.isEmpty() && !ended) return;
    if (state_ != State::kCapturing) {
        StopInput();  // a kept input that stopped is started again by the next recording
        return;
    }
    if (!error.isEmpty()) {
        FailCapture(error);
        return;
    }
    // The source ran out by itself: the file is complete and waits for Save().
    const Result<void> finished = FinishCapture();
    if (!finished.ok()) {
        captureError_ = finished.failure().detail;
        errorText_ = captureError_;
        state_ = State::kCaptureFailed;
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
