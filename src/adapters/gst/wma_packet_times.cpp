#include "adapters/gst/wma_packet_times.h"

#include "adapters/gst/audio_file_decoding.h"
#include "adapters/gst/gst_support.h"

#include <QFile>

#include <gst/audio/audio.h>
#include <gst/gst.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <mutex>

namespace ostrelle {

namespace {

constexpr std::array<unsigned char, 16> kAsfHeaderGuid{0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                                       0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr GstClockTime kPollNs = 50 * GST_MSECOND;
constexpr auto kStallTimeout = std::chrono::seconds(20);

struct Measuring {
    std::mutex mutex;
    WmaPacketTimes times;
    bool sawWma = false;
    bool unplaceable = false;  // a buffer without a time or a format
};

GstPadProbeReturn DecodedBufferProbe(GstPad* pad, GstPadProbeInfo* info, gpointer data) {
    auto* measuring = static_cast<Measuring*>(data);
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    GstCaps* caps = gst_pad_get_current_caps(pad);
    GstAudioInfo audio;
    const bool known = caps && gst_audio_info_from_caps(&audio, caps) && GST_AUDIO_INFO_BPF(&audio) > 0;
    if (caps) gst_caps_unref(caps);
    std::lock_guard lock(measuring->mutex);
    if (!known || !GST_BUFFER_PTS_IS_VALID(buffer)) {
        measuring->unplaceable = true;
        return GST_PAD_PROBE_OK;
    }
    measuring->times.SetRate(GST_AUDIO_INFO_RATE(&audio));
    measuring->times.Add(GST_BUFFER_PTS(buffer), gst_buffer_get_size(buffer) / GST_AUDIO_INFO_BPF(&audio));
    return GST_PAD_PROBE_OK;
}

void ElementAddedCallback(GstBin*, GstBin*, GstElement* element, gpointer data) {
    GstElementFactory* factory = gst_element_get_factory(element);
    if (!factory || !IsWmaDecoder(gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory)))) return;
    auto* measuring = static_cast<Measuring*>(data);
    {
        std::lock_guard lock(measuring->mutex);
        measuring->sawWma = true;
    }
    const GstObjectPtr<GstPad> output(gst_element_get_static_pad(element, "src"));
    if (output)
        gst_pad_add_probe(output.get(), GST_PAD_PROBE_TYPE_BUFFER, &DecodedBufferProbe, measuring, nullptr);
}

bool RunToTheEnd(GstElement* pipeline, const std::atomic<bool>& cancel) {
    if (gst_element_set_state(pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) return false;
    const GstObjectPtr<GstBus> bus(gst_element_get_bus(pipeline));
    const auto deadline = std::chrono::steady_clock::now() + kStallTimeout;
    while (!cancel && std::chrono::steady_clock::now() < deadline) {
        const GstMessagePtr message(gst_bus_timed_pop_filtered(
            bus.get(), kPollNs, static_cast<GstMessageType>(GST_MESSAGE_ERROR | GST_MESSAGE_EOS)));
        if (message) return GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_EOS;
    }
    return false;
}

}  // namespace

void WmaPacketTimes::Add(std::uint64_t stampNs, std::uint64_t samples) {
    const Packet packet{stampNs, decodedEnd_, samples};
    decodedEnd_ += samples;
    // Decode order is stamp order; a stamp seen again (a damaged file) keeps its first place.
    if (!packets_.empty() && stampNs <= packets_.back().stampNs) return;
    packets_.push_back(packet);
}

std::optional<std::uint64_t> WmaPacketTimes::Place(std::uint64_t stampNs, std::uint64_t samples) const {
    const auto found =
        std::lower_bound(packets_.begin(), packets_.end(), stampNs,
                         [](const Packet& packet, std::uint64_t stamp) { return packet.stampNs < stamp; });
    if (found == packets_.end() || found->stampNs != stampNs || rate_ <= 0) return std::nullopt;
    const std::uint64_t lost = found->samples > samples ? found->samples - samples : 0;
    return gst_util_uint64_scale_round(found->decodedStart + lost, GST_SECOND, static_cast<guint64>(rate_));
}

bool IsAsfFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray start = file.read(kAsfHeaderGuid.size());
    return start.size() == static_cast<int>(kAsfHeaderGuid.size()) &&
           std::memcmp(start.constData(), kAsfHeaderGuid.data(), kAsfHeaderGuid.size()) == 0;
}

bool IsWmaDecoder(const char* factoryName) {
    return factoryName &&
           (std::strcmp(factoryName, "avdec_wmav1") == 0 || std::strcmp(factoryName, "avdec_wmav2") == 0);
}

std::optional<WmaPacketTimes> MeasureWmaPacketTimes(const QString& absolutePath,
                                                    const std::atomic<bool>& cancel) {
    if (!InitGstreamer().ok()) return std::nullopt;
    const GstObjectPtr<GstElement> pipeline =
        LaunchPipeline("uridecodebin name=decoder expose-all-streams=false ! fakesink sync=false");
    if (!pipeline) return std::nullopt;
    Measuring measuring;
    g_signal_connect(pipeline.get(), "deep-element-added", G_CALLBACK(&ElementAddedCallback), &measuring);
    const bool ended = SetDecoderFile(pipeline.get(), absolutePath) && RunToTheEnd(pipeline.get(), cancel);
    // Joins the streaming threads before measuring goes.
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    std::lock_guard lock(measuring.mutex);
    if (!ended || !measuring.sawWma || measuring.unplaceable || measuring.times.Empty() ||
        measuring.times.Rate() <= 0)
        return std::nullopt;
    return std::move(measuring.times);
}

}  // namespace ostrelle
