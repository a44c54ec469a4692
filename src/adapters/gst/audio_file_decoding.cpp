#include "adapters/gst/audio_file_decoding.h"

#include "adapters/gst/gst_support.h"
#include "core/formats/waveform_cache.h"

#include <QFile>

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

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

Result<void> DecodeSpeech(const QString& path, const SampleSink& take, const std::atomic<bool>* stop) {
    const Result<AudioFileIdentity> audio = IdentifyAudioFile(path);
    if (!audio.ok()) return audio.failure();
    if (!InitGstreamer().ok()) return CannotDecode();
    const GstObjectPtr<GstElement> pipeline = LaunchPipeline(
        "uridecodebin name=decoder expose-all-streams=false ! audioconvert ! audioresample quality=2 ! "
        "appsink name=sink sync=false enable-last-sample=false max-buffers=16 "
        "caps=audio/x-raw,format=F32LE,layout=interleaved,channels=1,rate=16000");
    if (!pipeline) return CannotDecode();
    const GstObjectPtr<GstElement> sink(gst_bin_get_by_name(GST_BIN(pipeline.get()), "sink"));
    const GstObjectPtr<GstBus> bus(gst_element_get_bus(pipeline.get()));
    if (!sink || !SetDecoderFile(pipeline.get(), audio.value().absolutePath) ||
        gst_element_set_state(pipeline.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        gst_element_set_state(pipeline.get(), GST_STATE_NULL);
        return CannotDecode();
    }
    std::size_t taken = 0;
    bool failed = false;
    // A pipeline that delivers nothing for this long is stuck on a file nothing can make sense of.
    constexpr auto kStall = std::chrono::seconds(15);
    auto lastData = std::chrono::steady_clock::now();
    for (;;) {
        if (stop && stop->load()) {
            failed = true;
            break;
        }
        if (GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink.get()), 100 * GST_MSECOND)) {
            GstMapInfo map;
            GstBuffer* buffer = gst_sample_get_buffer(sample);
            if (buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
                const std::size_t count = map.size / sizeof(float);
                if (reinterpret_cast<std::uintptr_t>(map.data) % alignof(float) == 0) {
                    if (count > 0) take(reinterpret_cast<const float*>(map.data), count);
                } else {
                    std::vector<float> aligned(count);
                    std::memcpy(aligned.data(), map.data, count * sizeof(float));
                    if (count > 0) take(aligned.data(), count);
                }
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

}  // namespace ostrelle
