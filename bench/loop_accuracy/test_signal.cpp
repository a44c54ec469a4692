#include "test_signal.h"

#include <QFile>

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <cmath>
#include <numbers>

namespace ostrelle::bench {

namespace {

constexpr int kRate = 44100;
constexpr int kBlockSamples = kRate / 100;

// Parses a gst-launch description; gst_parse_launch can return a pipeline and an error at once.
GstElement* Parse(const QString& description, QString* error) {
    GError* parseError = nullptr;
    GstElement* pipeline = gst_parse_launch(description.toUtf8().constData(), &parseError);
    if (parseError) {
        *error = QString::fromUtf8(parseError->message);
        g_clear_error(&parseError);
        if (pipeline) gst_object_unref(pipeline);
        return nullptr;
    }
    return pipeline;
}

QString WaitForEnd(GstElement* pipeline) {
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* message = gst_bus_timed_pop_filtered(
        bus, 60 * GST_SECOND, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    QString result;
    if (!message) {
        result = QStringLiteral("timed out");
    } else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
        GError* error = nullptr;
        gst_message_parse_error(message, &error, nullptr);
        result = QString::fromUtf8(error->message);
        g_clear_error(&error);
    }
    if (message) gst_message_unref(message);
    gst_object_unref(bus);
    return result;
}

}  // namespace

QString WriteTestSignal(const QString& encoder, double seconds, const QString& path) {
    QString error;
    GstElement* pipeline = Parse(QStringLiteral("appsrc name=src format=time ! audioconvert ! %1 ! "
                                                "filesink name=out")
                                     .arg(encoder),
                                 &error);
    if (!pipeline) return error;
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "out");
    g_object_set(sink, "location", QFile::encodeName(path).constData(), nullptr);
    gst_object_unref(sink);
    GstElement* source = gst_bin_get_by_name(GST_BIN(pipeline), "src");
    GstCaps* caps =
        gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, "F32LE", "rate", G_TYPE_INT, kRate,
                            "channels", G_TYPE_INT, 2, "layout", G_TYPE_STRING, "interleaved", nullptr);
    gst_app_src_set_caps(GST_APP_SRC(source), caps);
    gst_caps_unref(caps);
    gst_element_set_state(pipeline, GST_STATE_PLAYING);

    // Phase-continuous tone; the pitch hops between 37 steps in an order that does not repeat soon, but
    // for a steady section that tells the pitch kept at other speeds.
    const int blocks = static_cast<int>(std::lround(seconds * 100));
    double phase = 0;
    for (int block = 0; block < blocks; ++block) {
        const bool steady =
            block >= std::lround(kSteadyFromSeconds * 100) && block < std::lround(kSteadyToSeconds * 100);
        const double frequency = steady ? kSteadyHz : 330.0 + ((block * 23) % 37) * 89.0;
        GstBuffer* buffer = gst_buffer_new_allocate(nullptr, kBlockSamples * 2 * sizeof(float), nullptr);
        GstMapInfo map;
        gst_buffer_map(buffer, &map, GST_MAP_WRITE);
        auto* samples = reinterpret_cast<float*>(map.data);
        for (int i = 0; i < kBlockSamples; ++i) {
            const float value = static_cast<float>(0.4 * std::sin(phase));
            samples[2 * i] = value;
            samples[2 * i + 1] = value;
            phase += 2 * std::numbers::pi * frequency / kRate;
        }
        phase = std::fmod(phase, 2 * std::numbers::pi);
        gst_buffer_unmap(buffer, &map);
        GST_BUFFER_PTS(buffer) = gst_util_uint64_scale(block * kBlockSamples, GST_SECOND, kRate);
        GST_BUFFER_DURATION(buffer) = gst_util_uint64_scale(kBlockSamples, GST_SECOND, kRate);
        gst_app_src_push_buffer(GST_APP_SRC(source), buffer);
    }
    gst_app_src_end_of_stream(GST_APP_SRC(source));
    gst_object_unref(source);
    error = WaitForEnd(pipeline);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return error;
}

std::optional<Timeline> DecodeWholeFile(const QString& path, QString* error) {
    GstElement* pipeline = Parse(QStringLiteral("filesrc name=in ! decodebin ! audioconvert ! "
                                                "audio/x-raw,format=F32LE,channels=2,layout=interleaved ! "
                                                "appsink name=out sync=false"),
                                 error);
    if (!pipeline) return std::nullopt;
    GstElement* source = gst_bin_get_by_name(GST_BIN(pipeline), "in");
    g_object_set(source, "location", QFile::encodeName(path).constData(), nullptr);
    gst_object_unref(source);
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "out");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);

    Timeline timeline;
    while (GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 30 * GST_SECOND)) {
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        const GstSegment* segment = gst_sample_get_segment(sample);
        if (timeline.rate == 0) {
            const GstStructure* format = gst_caps_get_structure(gst_sample_get_caps(sample), 0);
            gst_structure_get_int(format, "rate", &timeline.rate);
        }
        // Only the first buffer is placed by its timestamp: ASF stamps are whole milliseconds, so the
        // rest follow one another sample by sample.
        if (timeline.samples.empty()) {
            const guint64 start =
                gst_segment_to_stream_time(segment, GST_FORMAT_TIME, GST_BUFFER_PTS(buffer));
            timeline.samples.resize(gst_util_uint64_scale_round(start, timeline.rate, GST_SECOND));
        }
        const std::size_t at = timeline.samples.size();
        GstMapInfo map;
        if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            const auto* samples = reinterpret_cast<const float*>(map.data);
            const std::size_t frames = map.size / (2 * sizeof(float));
            if (timeline.samples.size() < at + frames) timeline.samples.resize(at + frames);
            for (std::size_t i = 0; i < frames; ++i)
                timeline.samples[at + i] = samples[2 * i];
            gst_buffer_unmap(buffer, &map);
        }
        gst_sample_unref(sample);
    }
    gst_object_unref(sink);
    *error = WaitForEnd(pipeline);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    if (!error->isEmpty()) return std::nullopt;
    if (timeline.rate == 0 || timeline.samples.empty()) {
        *error = QStringLiteral("no audio decoded");
        return std::nullopt;
    }
    return timeline;
}

}  // namespace ostrelle::bench
