#include "adapters/gst/clip_maker.h"

#include "adapters/gst/audio_file_decoding.h"
#include "adapters/gst/gst_support.h"
#include "core/formats/atomic_file.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <unistd.h>
#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

namespace ostrelle {
namespace {

constexpr int kRateHz = 44100;
constexpr double kLongestSeconds = 600;
constexpr double kTargetLufs = -18;
// Lossy coding adds ripples that raise the peaks by up to half a dB: decoded, they stay under -1 dBFS.
constexpr double kCeilingDbfs = -1.5;
// A pause or a breath is not raised into hiss.
constexpr double kMostGainDb = 24;
constexpr double kFadeSeconds = 0.01;

// b0 + b1/z + b2/z², over 1 + a1/z + a2/z².
struct Biquad {
    double b0, b1, b2, a1, a2;
};

// The filter ITU-R BS.1770 gives for 48 kHz, taken back to the analogue filter it is the bilinear transform
// of, and transformed again at rateHz: the shelf and the high-pass sit far enough from both Nyquist
// frequencies that the warps of the two transforms differ by a fraction of a percent there.
Biquad AtRate(const Biquad& at48kHz, int rateHz) {
    const double r = rateHz / 48000.0;
    const auto carry = [r](double c0, double c1, double c2) {
        // The analogue polynomial in s / (2 × 48000), then s = 2 × rate × (1 - 1/z) / (1 + 1/z).
        const double p0 = c0 + c1 + c2, p1 = 2 * (c0 - c2), p2 = c0 - c1 + c2;
        const double rr = r * r;
        return std::array<double, 3>{p0 + p1 * r + p2 * rr, 2 * (p0 - p2 * rr), p0 - p1 * r + p2 * rr};
    };
    const auto [n0, n1, n2] = carry(at48kHz.b0, at48kHz.b1, at48kHz.b2);
    const auto [d0, d1, d2] = carry(1, at48kHz.a1, at48kHz.a2);
    return {n0 / d0, n1 / d0, n2 / d0, d1 / d0, d2 / d0};
}

// The K-weighting: a shelf for the head, then a high-pass for what is hardly heard.
constexpr Biquad kShelfAt48kHz{1.53512485958697, -2.69169618940638, 1.19839281085285, -1.69065929318241,
                               0.73248077421585};
constexpr Biquad kHighPassAt48kHz{1.0, -2.0, 1.0, -1.99004745483398, 0.99007225036621};

class BiquadRun {
public:
    explicit BiquadRun(const Biquad& filter) : f_(filter) {}
    double operator()(double x) {
        const double y = f_.b0 * x + s1_;
        s1_ = f_.b1 * x - f_.a1 * y + s2_;
        s2_ = f_.b2 * x - f_.a2 * y;
        return y;
    }

private:
    Biquad f_;
    double s1_ = 0, s2_ = 0;
};

double Lufs(double meanSquare) {
    return -0.691 + 10 * std::log10(meanSquare);
}

// The gated loudness of BS.1770 over mono samples: blocks of 400 ms every 100 ms, leaving out those under
// -70 LUFS and then those 10 LU under the mean of the rest. A clip shorter than a block is one block.
// Nothing when no block is loud enough to count.
std::optional<double> LoudnessLufs(const std::vector<float>& samples, int rateHz) {
    BiquadRun shelf(AtRate(kShelfAt48kHz, rateHz));
    BiquadRun highPass(AtRate(kHighPassAt48kHz, rateHz));
    const auto step = static_cast<std::size_t>(rateHz / 10);
    std::vector<double> stepSums;
    double sum = 0, all = 0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double y = highPass(shelf(samples[i]));
        sum += y * y;
        if ((i + 1) % step == 0) {
            stepSums.push_back(sum);
            all += sum;
            sum = 0;
        }
    }
    std::vector<double> blocks;  // mean squares
    if (stepSums.size() < 4) {
        if (!samples.empty()) blocks.push_back((all + sum) / static_cast<double>(samples.size()));
    } else {
        for (std::size_t i = 0; i + 4 <= stepSums.size(); ++i)
            blocks.push_back((stepSums[i] + stepSums[i + 1] + stepSums[i + 2] + stepSums[i + 3]) /
                             static_cast<double>(4 * step));
    }
    const auto gatedMean = [&blocks](double gateLufs) -> std::optional<double> {
        double total = 0;
        std::size_t count = 0;
        for (const double block : blocks) {
            if (block > 0 && Lufs(block) > gateLufs) {
                total += block;
                ++count;
            }
        }
        if (count == 0) return std::nullopt;
        return total / static_cast<double>(count);
    };
    const std::optional<double> audible = gatedMean(-70);
    if (!audible) return std::nullopt;
    const std::optional<double> kept = gatedMean(Lufs(*audible) - 10);
    return Lufs(kept ? *kept : *audible);
}

// Toward the target, but never past the cap nor so far that the highest peak passes the ceiling.
double GainDb(const std::vector<float>& samples, int rateHz) {
    const std::optional<double> loudness = LoudnessLufs(samples, rateHz);
    double gainDb = loudness ? std::min(kTargetLufs - *loudness, kMostGainDb) : 0.0;
    float peak = 0;
    for (const float sample : samples)
        peak = std::max(peak, std::abs(sample));
    if (peak > 0) gainDb = std::min(gainDb, kCeilingDbfs - 20 * std::log10(static_cast<double>(peak)));
    return gainDb;
}

void Level(std::vector<float>& samples, int rateHz) {
    const auto gain = static_cast<float>(std::pow(10.0, GainDb(samples, rateHz) / 20));
    const std::size_t fade = std::min(static_cast<std::size_t>(kFadeSeconds * rateHz), samples.size() / 2);
    for (float& sample : samples)
        sample *= gain;
    // A clip cut in the middle of a wave would start and end with a click.
    for (std::size_t i = 0; i < fade; ++i) {
        const float ramp = static_cast<float>(i) / static_cast<float>(fade);
        samples[i] *= ramp;
        samples[samples.size() - 1 - i] *= ramp;
    }
}

Failure CannotWriteClip(const QString& why) {
    return {FailureCode::CannotWrite, why};
}

Failure Stopped() {
    return CannotWriteClip(QStringLiteral("stopped"));
}

// What the encoder is fed from, on its streaming thread.
struct Feed {
    const std::vector<float>* samples = nullptr;
    std::size_t next = 0;
};

void NeedDataCallback(GstAppSrc* source, guint, gpointer self) {
    auto* feed = static_cast<Feed*>(self);
    const std::size_t total = feed->samples->size();
    if (feed->next >= total) {
        gst_app_src_end_of_stream(source);
        return;
    }
    const std::size_t count = std::min<std::size_t>(8192, total - feed->next);
    GstBuffer* buffer = gst_buffer_new_memdup(feed->samples->data() + feed->next, count * sizeof(float));
    const guint64 at = gst_util_uint64_scale(feed->next, GST_SECOND, kRateHz);
    GST_BUFFER_PTS(buffer) = at;
    GST_BUFFER_DURATION(buffer) = gst_util_uint64_scale(feed->next + count, GST_SECOND, kRateHz) - at;
    feed->next += count;
    gst_app_src_push_buffer(source, buffer);
}

const char* EncoderDescription(ClipFormat format) {
    switch (format) {
        case ClipFormat::Mp3:
            // The Xing frame tells players the length of a VBR file without reading it through.
            return "appsrc name=source format=time ! audioconvert ! "
                   "lamemp3enc target=quality quality=4 mono=true ! xingmux ! filesink name=sink";
        case ClipFormat::OggVorbis:
            break;
    }
    return "appsrc name=source format=time ! audioconvert ! vorbisenc quality=0.4 ! oggmux ! "
           "filesink name=sink";
}

// Encodes samples into the file at path, to its end.
Result<void> Encode(const std::vector<float>& samples, ClipFormat format, const QString& path,
                    const std::atomic<bool>* stop) {
    QString why;
    const GstObjectPtr<GstElement> pipeline = LaunchPipeline(EncoderDescription(format), &why);
    if (!pipeline) return CannotWriteClip(why);
    const GstObjectPtr<GstElement> source(gst_bin_get_by_name(GST_BIN(pipeline.get()), "source"));
    const GstObjectPtr<GstElement> sink(gst_bin_get_by_name(GST_BIN(pipeline.get()), "sink"));
    if (!source || !sink) return CannotWriteClip(QStringLiteral("no encoder"));
    GstCaps* caps =
        gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, "F32LE", "layout", G_TYPE_STRING,
                            "interleaved", "channels", G_TYPE_INT, 1, "rate", G_TYPE_INT, kRateHz, nullptr);
    gst_app_src_set_caps(GST_APP_SRC(source.get()), caps);
    gst_caps_unref(caps);
    Feed feed{&samples, 0};
    GstAppSrcCallbacks callbacks{};
    callbacks.need_data = &NeedDataCallback;
    gst_app_src_set_callbacks(GST_APP_SRC(source.get()), &callbacks, &feed, nullptr);
    g_object_set(sink.get(), "location", QFile::encodeName(path).constData(), nullptr);

    const GstObjectPtr<GstBus> bus(gst_element_get_bus(pipeline.get()));
    // NULL joins the streaming thread before feed goes.
    const auto end = [&](Result<void> result) {
        gst_element_set_state(pipeline.get(), GST_STATE_NULL);
        return result;
    };
    if (gst_element_set_state(pipeline.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        const GstMessagePtr message(gst_bus_pop_filtered(bus.get(), GST_MESSAGE_ERROR));
        const GErrorPtr error = message ? ParseErrorMessage(message.get()) : nullptr;
        return end(CannotWriteClip(GstErrorText(error.get())));
    }
    // Encoders run many times faster than real time; this only ends a pipeline that is stuck.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30) +
                          std::chrono::seconds(samples.size() / kRateHz);
    for (;;) {
        if (stop && stop->load()) return end(Stopped());
        const GstMessagePtr message(gst_bus_timed_pop_filtered(
            bus.get(), 100 * GST_MSECOND, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
        if (message && GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_EOS) return end({});
        if (message) return end(CannotWriteClip(GstErrorText(ParseErrorMessage(message.get()).get())));
        if (std::chrono::steady_clock::now() > deadline)
            return end(CannotWriteClip(QStringLiteral("the encoder did not finish")));
    }
}

// Encodes samples into a new file beside outPath, which then takes outPath's place.
Result<void> WriteClip(const std::vector<float>& samples, ClipFormat format, const QString& outPath,
                       const std::atomic<bool>* stop) {
    const QString target = QFileInfo(outPath).absoluteFilePath();
    RemoveStaleTemporaries(target);
    // Same name pattern as the atomic writes, so a crash's leftovers are cleared the same way.
    QTemporaryFile part(target + QStringLiteral(".tmp-XXXXXX"));
    if (!part.open()) return CannotWriteClip(QStringLiteral("%1: %2").arg(outPath, part.errorString()));
    part.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                        QFileDevice::ReadOther);
    const QString partPath = part.fileName();
    part.close();
    if (const Result<void> encoded = Encode(samples, format, partPath, stop); !encoded.ok()) return encoded;
    // On disk before the rename, so a crash leaves the old clip or the new one, never an empty file.
    QFile written(partPath);
    int error = 0;
    if (!written.open(QIODevice::ReadWrite) || ::fsync(written.handle()) != 0) error = errno ? errno : EIO;
    written.close();
    if (error == 0 &&
        std::rename(QFile::encodeName(partPath).constData(), QFile::encodeName(target).constData()) != 0)
        error = errno;
    if (error != 0)
        return CannotWriteClip(QStringLiteral("%1: %2").arg(QFileInfo(target).fileName(),
                                                            QString::fromLocal8Bit(std::strerror(error))));
    part.setAutoRemove(false);  // its name is the clip's now
    return {};
}

}  // namespace

Result<void> MakeClip(const ClipRequest& request, const std::atomic<bool>* stop) {
    if (request.outPath.isEmpty()) return CannotWriteClip(QStringLiteral("no file name"));
    const double fromSeconds = std::max(0.0, request.fromSeconds);
    if (!(request.toSeconds > fromSeconds))
        return Failure{FailureCode::NoSound, QStringLiteral("the segment is empty")};
    if (request.toSeconds - fromSeconds > kLongestSeconds)
        return Failure{FailureCode::TooLarge, QStringLiteral("a clip is at most 10 minutes long")};
    const double padSeconds = std::max(0.0, request.padSeconds);
    // Past the file's end the decoder simply ends: the padding there is clamped by itself.
    const double startSeconds = std::max(0.0, fromSeconds - padSeconds);
    const double endSeconds = request.toSeconds + padSeconds;

    std::vector<float> samples;
    samples.reserve(static_cast<std::size_t>((endSeconds - startSeconds) * kRateHz) + kRateHz / 10);
    const auto take = [&samples](const float* piece, std::size_t count) {
        samples.insert(samples.end(), piece, piece + count);
    };
    const Result<void> decoded =
        DecodeSoundPart(request.lessonPath, startSeconds, endSeconds, kRateHz, take, stop);
    if (stop && stop->load()) return Stopped();
    if (!decoded.ok()) return decoded;
    Level(samples, kRateHz);
    return WriteClip(samples, request.format, request.outPath, stop);
}

}  // namespace ostrelle
