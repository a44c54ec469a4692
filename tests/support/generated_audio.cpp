#include "support/generated_audio.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QtEndian>

#include <gst/gst.h>

#include <cmath>
#include <cstring>
#include <numbers>

namespace ostrelle::testing {

QString WriteAudioFile(const QString& description, const QString& path, int timeoutSeconds) {
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
        bus, timeoutSeconds * GST_SECOND, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
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

QString WriteToneBurstWav(double seconds, double burstStart, double burstSeconds, const QString& path) {
    constexpr int kRate = 44100;
    constexpr int kChannels = 2;
    const long frames = std::lround(seconds * kRate);
    const long burstFrom = std::lround(burstStart * kRate);
    const long burstTo = burstFrom + std::lround(burstSeconds * kRate);
    const auto dataBytes = static_cast<quint32>(frames * kChannels * 2);
    QByteArray bytes(44 + static_cast<qsizetype>(dataBytes), '\0');
    char* at = bytes.data();
    auto put32 = [&](quint32 value) {
        qToLittleEndian(value, at);
        at += 4;
    };
    auto put16 = [&](quint16 value) {
        qToLittleEndian(value, at);
        at += 2;
    };
    auto tag = [&](const char* name) {
        std::memcpy(at, name, 4);
        at += 4;
    };
    tag("RIFF");
    put32(36 + dataBytes);
    tag("WAVE");
    tag("fmt ");
    put32(16);
    put16(1);  // PCM
    put16(kChannels);
    put32(kRate);
    put32(kRate * kChannels * 2);
    put16(kChannels * 2);
    put16(16);
    tag("data");
    put32(dataBytes);
    for (long frame = 0; frame < frames; ++frame) {
        const double value = frame >= burstFrom && frame < burstTo
                                 ? 0.5 * std::sin(2 * std::numbers::pi * 440.0 * frame / kRate)
                                 : 0.0;
        const auto sample = static_cast<quint16>(static_cast<qint16>(std::lround(value * 32767)));
        for (int c = 0; c < kChannels; ++c)
            put16(sample);
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) return file.errorString();
    return {};
}

namespace {

QString RunTool(const QString& program, const QStringList& arguments) {
    const QString found = QStandardPaths::findExecutable(program);
    if (found.isEmpty()) return program + QStringLiteral(" is not installed");
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(found, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return program + QStringLiteral(" failed: ") + QString::fromLocal8Bit(process.readAll()).trimmed();
    return {};
}

}  // namespace

QString WriteSpeechWav(const QString& text, const QString& path) {
    return RunTool(QStringLiteral("espeak-ng"),
                   {QStringLiteral("-v"), QStringLiteral("en-us"), QStringLiteral("-w"), path, text});
}

QString EncodeWav(const QString& wav, int rate, const QString& encoder, const QString& path) {
    QString location = wav;
    location.replace(u'"', QStringLiteral("\\\""));
    return WriteAudioFile(
        QStringLiteral("filesrc location=\"%1\" ! wavparse ! audioconvert ! audioresample ! "
                       "audio/x-raw,rate=%2,channels=2 ! %3 ! filesink name=out")
            .arg(location)
            .arg(rate)
            .arg(encoder),
        path);
}

QString EncodeM4aWithFfmpeg(const QString& wav, const QString& path) {
    return RunTool(
        QStringLiteral("ffmpeg"),
        {QStringLiteral("-nostdin"), QStringLiteral("-y"), QStringLiteral("-v"), QStringLiteral("error"),
         QStringLiteral("-i"), wav, QStringLiteral("-ac"), QStringLiteral("1"), QStringLiteral("-ar"),
         QStringLiteral("44100"), QStringLiteral("-c:a"), QStringLiteral("aac"), QStringLiteral("-b:a"),
         QStringLiteral("128k"), path});
}

}  // namespace ostrelle::testing
