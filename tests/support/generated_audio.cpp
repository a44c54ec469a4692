#include "support/generated_audio.h"

#include <QFile>

#include <gst/gst.h>

#include <cmath>

namespace ostrelle::testing {

QString WriteAudioFile(const QString& description, const QString& path) {
    if (!gst_is_initialized()) gst_init(nullptr, nullptr);
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(description.toUtf8().constData(), &error);
    // gst_parse_launch can return a pipeline and an error at once.
    if (error) {
        const QString text = QString::fromUtf8(error->message);
        g_clear_error(&error);
        if (pipeline) gst_object_unref(pipeline);
        return text;
    }
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "out");
    if (!sink) {
        gst_object_unref(pipeline);
        return QStringLiteral("no element named out");
    }
    g_object_set(sink, "location", QFile::encodeName(path).constData(), nullptr);
    gst_object_unref(sink);

    QString result;
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* message = gst_bus_timed_pop_filtered(
        bus, 60 * GST_SECOND, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    if (!message) {
        result = QStringLiteral("timed out");
    } else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
        gst_message_parse_error(message, &error, nullptr);
        result = QString::fromUtf8(error->message);
        g_clear_error(&error);
    }
    if (message) gst_message_unref(message);
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return result;
}

QString WriteTone(double seconds, int rate, int channels, const QString& encoder, const QString& path) {
    // Buffers of a size that divides the length, so the tone is exact to the sample.
    const long samples = std::lround(seconds * rate);
    long perBuffer = 1024;
    while (perBuffer > 1 && samples % perBuffer != 0)
        --perBuffer;
    return WriteAudioFile(QStringLiteral("audiotestsrc wave=sine freq=440 volume=0.5 num-buffers=%1 "
                                         "samplesperbuffer=%2 ! audio/x-raw,rate=%3,channels=%4 ! %5 ! "
                                         "filesink name=out")
                              .arg(samples / perBuffer)
                              .arg(perBuffer)
                              .arg(rate)
                              .arg(channels)
                              .arg(encoder),
                          path);
}

}  // namespace ostrelle::testing
