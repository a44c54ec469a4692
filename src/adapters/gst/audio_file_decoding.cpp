#include "adapters/gst/audio_file_decoding.h"

#include "adapters/gst/gst_support.h"

#include <QFile>

#include <gst/gst.h>

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

}  // namespace ostrelle
