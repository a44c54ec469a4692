// The wave device's input: captured sound placed in time, and the recording cut from it.
#include "adapters/gst/gst_wave_device_internal.h"

#include "adapters/gst/wav_header.h"
#include "core/formats/atomic_file.h"

#include <algorithm>
#include <cmath>
#include <system_error>

namespace ostrelle {

using namespace wave_device;

namespace {

QString CaptureDescription(const QString& source) {
    return QStringLiteral(
               "%1 ! audioconvert ! audioresample ! "
               "audio/x-raw,format=S16LE,layout=interleaved,rate=%2,channels=%3 ! "
               "appsink name=input sync=false")
        .arg(source)
        .arg(kSampleRate)
        .arg(kChannels);
}

}  // namespace

// Runs on the input's streaming thread for each buffer the input delivers.
GstFlowReturn GstWaveDevice::Callbacks::NewSampleCallback(GstAppSink* sink, gpointer self) {
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
void GstWaveDevice::Callbacks::Deliver(GstWaveDevice& device, const char* data, qint64 samples,
                                       qint64 arrivalNs, bool discont) {
    Input& in = device.input_;
    const qint64 first = in.received;
    in.received += samples;
    // The last sample of a buffer was heard no later than the buffer arrived.
    const qint64 candidate = arrivalNs - in.received * 1000000000 / kSampleRate;
    if (!in.anchored || (discont && first > 0)) {
        in.anchorNs = candidate;  // after a gap the count no longer says where a sample lies
        in.anchored = true;
    } else {
        in.anchorNs = std::min(candidate, in.anchorNs + (arrivalNs - in.lastArrivalNs) / kAnchorRiseDivisor);
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
void GstWaveDevice::Callbacks::WriteSpan(GstWaveDevice& device, qint64 first, const char* data,
                                         qint64 count) {
    Input& in = device.input_;
    if (!in.file || !in.writeError.isEmpty()) return;
    const qint64 begin = std::max(first, in.from);
    const qint64 written = device.capturedBytes_.load();
    const qint64 end = std::min({first + count, in.to, begin + (kMaxDataBytes - written) / kBytesPerSample});
    if (end <= begin) return;
    const qint64 bytes = (end - begin) * kBytesPerSample;
    if (in.file->write(data + (begin - first) * kBytesPerSample, bytes) != bytes) {
        in.writeError = in.file->errorString();
        return;
    }
    device.capturedBytes_ += bytes;
}

// Which sample was heard at the instant ns. Holds mutex_.
qint64 GstWaveDevice::Callbacks::SampleAt(const Input& in, qint64 ns) {
    return std::llround(static_cast<double>(ns - in.anchorNs) * kSampleRate / 1e9);
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
        return discard(FailureCode::DeviceFailed, QString::fromUtf8("录音中断（%1）。").arg(error));
    if (!writeError.isEmpty())
        return discard(FailureCode::CannotWrite, QString::fromUtf8("无法写入录音（%1）。").arg(writeError));
    if (received == 0)
        return discard(FailureCode::NoInputDevice, QString::fromUtf8("声音输入没有送来任何声音。"));
    const qint64 bytes = capturedBytes_.load();
    if (bytes == 0) return discard(FailureCode::DeviceFailed, QString::fromUtf8("什么也没有录下。"));
    // The header now says how much sound there is.
    if (!partFile_->seek(0) ||
        partFile_->write(PcmWavHeader(kSampleRate, kChannels, bytes)) != kPcmWavHeaderBytes ||
        !partFile_->flush()) {
        return discard(FailureCode::CannotWrite,
                       QString::fromUtf8("无法写入录音（%1）。").arg(partFile_->errorString()));
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
                                                   ? QString::fromUtf8("什么也没有录下。")
                                                   : QString::fromUtf8("录音无法完成。"));
    }
    std::error_code renameError;
    std::filesystem::rename(FileSystemPath(partPath_), FileSystemPath(fileName_), renameError);
    if (renameError) {
        // A rename fails across file systems, where a copy still saves the recording.
        const Result<void> copied = CopyFileAtomically(partPath_, fileName_);
        DiscardCapture();
        if (!copied.ok()) {
            state_ = State::kOpen;
            return Fail(
                copied.failure().code,
                QString::fromUtf8("录音无法保存为 %1（%2）。").arg(fileName_, copied.failure().detail));
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
    captureError_ = QString::fromUtf8("录音中断（%1）。").arg(reason);
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

}  // namespace ostrelle
