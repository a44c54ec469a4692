#include "adapters/gst/tempo_stretcher.h"

#include <gst/gst.h>

namespace ostrelle {

GstElement* MakeTempoStretcherBin(GstElement** stretcher) {
    *stretcher = nullptr;
    GstElement* in = gst_element_factory_make("audioconvert", nullptr);
    GstElement* out = gst_element_factory_make("audioconvert", nullptr);
    if (!in || !out) {
        if (in) gst_object_unref(gst_object_ref_sink(in));
        if (out) gst_object_unref(gst_object_ref_sink(out));
        return nullptr;
    }
    // No dither: at 1.0 the samples come out as they went in.
    g_object_set(out, "dithering", 0, "noise-shaping", 0, nullptr);
    GstElement* element = GST_ELEMENT(g_object_new(TempoStretcherGetType(), nullptr));
    GstElement* bin = gst_bin_new(nullptr);
    gst_bin_add_many(GST_BIN(bin), in, element, out, nullptr);
    gst_element_link_many(in, element, out, nullptr);
    GstPad* sink = gst_element_get_static_pad(in, "sink");
    GstPad* src = gst_element_get_static_pad(out, "src");
    gst_element_add_pad(bin, gst_ghost_pad_new("sink", sink));
    gst_element_add_pad(bin, gst_ghost_pad_new("src", src));
    gst_object_unref(sink);
    gst_object_unref(src);
    *stretcher = GST_ELEMENT(gst_object_ref(element));
    return bin;
}

}  // namespace ostrelle
