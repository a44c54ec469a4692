#include "adapters/gst/gst_wave_device.h"

#include "adapters/gst/gst_support.h"
#include "adapters/gst/gst_wave_device_internal.h"
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

namespace wave_device {

void EndPipeline(GstObjectPtr<GstElement>& pipeline) {
    if (!pipeline) return;
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    const GstObjectPtr<GstBus> bus(gst_element_get_bus(pipeline.get()));
    gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
    pipeline.reset();
}

}  // namespace wave_device

using namespace wave_device;

namespace {

const char* const kDefaultSource = "pulsesrc";
const char* const kDefaultSink = "autoaudiosink";
QString PlaybackDescription(const QString& sink) {
    return QStringLiteral("filesrc name=file ! wavparse ! audioconvert ! audioresample ! %1").arg(sink);
}

}  // namespace

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
        return Fail(FailureCode::DeviceNotReady, QString::fromUtf8("没有指定录音文件。"));
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
        return Fail(FailureCode::NoInputDevice, QString::fromUtf8("无法打开声音输入（%1）。").arg(error));
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
            return Fail(FailureCode::DeviceNotReady, QString::fromUtf8("录音设备还没有打开。"));
        case State::kCapturing:
            return {};
        case State::kPlaying:
            return Fail(FailureCode::DeviceNotReady, QString::fromUtf8("正在播放录音，请先停止播放再录音。"));
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
                    QString::fromUtf8("无法在文件夹 %1 中写入录音（%2）。")
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
        return Fail(FailureCode::CannotWrite, QString::fromUtf8("无法在文件夹 %1 中写入录音（%2）。")
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
            return Fail(FailureCode::NoInputDevice, QString::fromUtf8("无法打开声音输入（%1）。").arg(error));
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
        return Fail(FailureCode::NoInputDevice, QString::fromUtf8("声音输入没有送来任何声音。"));
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
            return Fail(FailureCode::DeviceNotReady, QString::fromUtf8("还没有录下可保存的声音。"));
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
            return Fail(FailureCode::DeviceNotReady, QString::fromUtf8("录音设备还没有打开。"));
        case State::kPlaying:
            return {};
        case State::kCapturing:
        case State::kCaptured:
            return Fail(FailureCode::DeviceNotReady, QString::fromUtf8("录音还没有保存。"));
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
        return Fail(FailureCode::DeviceFailed, QString::fromUtf8("无法播放录音（%1）。").arg(error));
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

void GstWaveDevice::EndPlayback(const QString& reason) {
    StopPipeline();
    state_ = State::kOpen;
    if (!reason.isEmpty()) errorText_ = QString::fromUtf8("录音播放中断（%1）。").arg(reason);
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
