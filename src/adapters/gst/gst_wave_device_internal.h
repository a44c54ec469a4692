#pragma once

// What the wave device's two files share: the recorded format, its timing and the GStreamer callbacks.

#include "adapters/gst/gst_support.h"
#include "adapters/gst/gst_wave_device.h"

#include <QFile>
#include <QMetaObject>

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <chrono>
#include <filesystem>
#include <limits>

namespace ostrelle::wave_device {

// The recorded format: voice needs no more than mono, and 48 kHz is what desktop sound servers run at,
// so nothing is resampled on the usual machine.
inline constexpr int kSampleRate = 48000;
inline constexpr int kChannels = 1;
inline constexpr qint64 kBytesPerSample = 2 * kChannels;
inline constexpr qint64 kBytesPerSecond = kSampleRate * kBytesPerSample;
// The most sound a RIFF size field can describe.
inline constexpr qint64 kMaxDataBytes = (0xFFFFFFFFLL - 36) / kBytesPerSample * kBytesPerSample;

// The input delivers within a few tens of milliseconds; an input that stalls must not hold the learner.
inline constexpr std::chrono::milliseconds kDrainTimeout{500};
// A kept input that has given nothing for this long has no sound to give.
inline constexpr qint64 kSilentInputNs = 1000 * 1000 * 1000;
// The anchor may rise by this fraction of the time passed: follows an input clock up to 500 ppm slower
// than the system's, while a late buffer moves it by next to nothing.
inline constexpr qint64 kAnchorRiseDivisor = 2000;
// How much of the input a recording can start in, kept while nothing is recorded.
inline constexpr qint64 kRecentSamples = 2 * kSampleRate;
inline constexpr qint64 kOpenEnd = std::numeric_limits<qint64>::max();

inline qint64 NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

inline std::filesystem::path FileSystemPath(const QString& path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

// NULL joins the streaming threads, so no callback of the pipeline runs after this.
void EndPipeline(GstObjectPtr<GstElement>& pipeline);

}  // namespace ostrelle::wave_device

namespace ostrelle {

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
    static GstFlowReturn NewSampleCallback(GstAppSink* sink, gpointer self);
    // Counts samples in, places them in time, and writes those of the recording. Holds mutex_.
    static void Deliver(GstWaveDevice& device, const char* data, qint64 samples, qint64 arrivalNs,
                        bool discont);
    // Writes what of samples [first, first + count) lies in the recording. Holds mutex_.
    static void WriteSpan(GstWaveDevice& device, qint64 first, const char* data, qint64 count);
    // Which sample was heard at the instant ns. Holds mutex_.
    static qint64 SampleAt(const Input& in, qint64 ns);
};

}  // namespace ostrelle
