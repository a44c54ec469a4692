#include "adapters/gst/audio_file_decoding.h"

#include "adapters/gst/gst_support.h"
#include "core/formats/waveform_cache.h"

#include <QByteArray>
#include <QFile>

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <vector>

namespace ostrelle {

namespace {

// decodebin's GstAutoplugSelectResult, whose header is not installed.
constexpr int kAutoplugTry = 0;
constexpr int kAutoplugSkip = 2;

int AutoplugSelectCallback(GstElement*, GstPad*, GstCaps*, GstElementFactory* factory, gpointer) {
    // libav's MPEG audio decoders come first by name at the same rank, and take twice mpg123's time.
    static const bool haveMpg123 = HaveElement("mpg123audiodec");
    const gchar* name = gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory));
    return haveMpg123 && g_str_has_prefix(name, "avdec_mp") ? kAutoplugSkip : kAutoplugTry;
}

}  // namespace

bool HaveElement(const char* name) {
    GstElementFactory* factory = gst_element_factory_find(name);
    if (factory) gst_object_unref(factory);
    return factory != nullptr;
}

bool SetDecoderFile(GstElement* pipeline, const QString& absolutePath) {
    const GstObjectPtr<GstElement> decoder(gst_bin_get_by_name(GST_BIN(pipeline), "decoder"));
    gchar* uri = gst_filename_to_uri(QFile::encodeName(absolutePath).constData(), nullptr);
    if (!decoder || !uri) {
        g_free(uri);
        return false;
    }
    GstCaps* audioOnly = gst_caps_new_empty_simple("audio/x-raw");
    g_object_set(decoder.get(), "uri", uri, "caps", audioOnly, nullptr);
    gst_caps_unref(audioOnly);
    g_free(uri);
    g_signal_connect(decoder.get(), "autoplug-select", G_CALLBACK(&AutoplugSelectCallback), nullptr);
    return true;
}

namespace {

Result<void> DecodeMonoPart(const QString& path, double fromSeconds, double toSeconds, int rateHz,
                            int resampleQuality, const SampleSink& take, const std::atomic<bool>* stop) {
    const Result<AudioFileIdentity> audio = IdentifyAudioFile(path);
    if (!audio.ok()) return audio.failure();
    if (!InitGstreamer().ok()) return CannotDecode();
    const QByteArray description =
        "uridecodebin name=decoder expose-all-streams=false ! audioconvert ! audioresample quality=" +
        QByteArray::number(resampleQuality) +
        " ! appsink name=sink sync=false enable-last-sample=false max-buffers=16 "
        "caps=audio/x-raw,format=F32LE,layout=interleaved,channels=1,rate=" +
        QByteArray::number(rateHz);
    const GstObjectPtr<GstElement> pipeline = LaunchPipeline(description.constData());
    if (!pipeline) return CannotDecode();
    const GstObjectPtr<GstElement> sink(gst_bin_get_by_name(GST_BIN(pipeline.get()), "sink"));
    const GstObjectPtr<GstBus> bus(gst_element_get_bus(pipeline.get()));
    const auto fail = [&] {
        gst_element_set_state(pipeline.get(), GST_STATE_NULL);
        return CannotDecode();
    };
    if (!sink || !SetDecoderFile(pipeline.get(), audio.value().absolutePath)) return fail();
    // A part starts where a seek puts the decoder once it has prerolled; a file that cannot seek is read
    // from its start, and the samples before the part are left out by their time.
    if (fromSeconds > 0) {
        if (gst_element_set_state(pipeline.get(), GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE)
            return fail();
        const GstMessagePtr prerolled(gst_bus_timed_pop_filtered(
            bus.get(), 15 * GST_SECOND,
            static_cast<GstMessageType>(GST_MESSAGE_ERROR | GST_MESSAGE_ASYNC_DONE)));
        if (!prerolled || GST_MESSAGE_TYPE(prerolled.get()) == GST_MESSAGE_ERROR) return fail();
        gst_element_seek_simple(pipeline.get(), GST_FORMAT_TIME,
                                static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                                static_cast<gint64>(fromSeconds * GST_SECOND));
    }
    if (gst_element_set_state(pipeline.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) return fail();
    const auto rate = static_cast<double>(rateHz);
    std::size_t taken = 0;
    bool failed = false;
    bool past = false;  // the part's end is reached
    // A pipeline that delivers nothing for this long is stuck on a file nothing can make sense of.
    constexpr auto kStall = std::chrono::seconds(15);
    auto lastData = std::chrono::steady_clock::now();
    std::vector<float> aligned;
    while (!past) {
        if (stop && stop->load()) {
            failed = true;
            break;
        }
        if (GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink.get()), 100 * GST_MSECOND)) {
            GstMapInfo map;
            GstBuffer* buffer = gst_sample_get_buffer(sample);
            if (buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
                std::size_t count = map.size / sizeof(float);
                const float* samples = reinterpret_cast<const float*>(map.data);
                if (reinterpret_cast<std::uintptr_t>(map.data) % alignof(float) != 0) {
                    aligned.resize(count);
                    std::memcpy(aligned.data(), map.data, count * sizeof(float));
                    samples = aligned.data();
                }
                if (fromSeconds > 0 || toSeconds > 0) {
                    const double at = GST_BUFFER_PTS_IS_VALID(buffer)
                                          ? static_cast<double>(GST_BUFFER_PTS(buffer)) / GST_SECOND
                                          : fromSeconds + static_cast<double>(taken) / rate;
                    const auto skip = static_cast<std::size_t>(
                        std::clamp((fromSeconds - at) * rate, 0.0, static_cast<double>(count)));
                    std::size_t end = count;
                    if (toSeconds > 0 && at + static_cast<double>(count) / rate >= toSeconds) {
                        end = static_cast<std::size_t>(
                            std::clamp((toSeconds - at) * rate, 0.0, static_cast<double>(count)));
                        past = true;
                    }
                    samples += skip;
                    count = end > skip ? end - skip : 0;
                }
                if (count > 0) take(samples, count);
                taken += count;
                gst_buffer_unmap(buffer, &map);
            }
            gst_sample_unref(sample);
            lastData = std::chrono::steady_clock::now();
        } else if (gst_app_sink_is_eos(GST_APP_SINK(sink.get()))) {
            break;
        }
        const GstMessagePtr message(gst_bus_pop_filtered(bus.get(), GST_MESSAGE_ERROR));
        if (message || std::chrono::steady_clock::now() - lastData > kStall) {
            failed = true;
            break;
        }
    }
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    if (failed) return CannotDecode();
    if (taken == 0) return NoSound();
    return {};
}

}  // namespace

Result<void> DecodeSpeech(const QString& path, const SampleSink& take, const std::atomic<bool>* stop) {
    return DecodeSpeechPart(path, 0, 0, take, stop);
}

Result<void> DecodeSpeechPart(const QString& path, double fromSeconds, double toSeconds,
                              const SampleSink& take, const std::atomic<bool>* stop) {
    // Speech is only compared: the cheaper resampling does.
    return DecodeMonoPart(path, fromSeconds, toSeconds, 16000, 2, take, stop);
}

Result<void> DecodeSoundPart(const QString& path, double fromSeconds, double toSeconds, int rateHz,
                             const SampleSink& take, const std::atomic<bool>* stop) {
    return DecodeMonoPart(path, fromSeconds, toSeconds, rateHz, 4, take, stop);
}

}  // namespace ostrelle
