#include "adapters/gst/gst_support.h"

#include <gst/gst.h>

namespace ostrelle {

Result<void> InitGstreamer() {
    static const Result<void> initialised = []() -> Result<void> {
        GError* raw = nullptr;
        const bool ok = gst_init_check(nullptr, nullptr, &raw);
        const GErrorPtr error(raw);
        if (ok) return {};
        return Failure{FailureCode::DeviceFailed,
                       QStringLiteral("GStreamer cannot start: %1").arg(GstErrorText(error.get()))};
    }();
    return initialised;
}

QString GstErrorText(const GError* error) {
    return error && error->message ? QString::fromUtf8(error->message) : QStringLiteral("unknown error");
}

void GstObjectUnref::operator()(void* object) const {
    gst_object_unref(object);
}
void GstMessageUnref::operator()(GstMessage* message) const {
    gst_message_unref(message);
}
void GErrorFree::operator()(GError* error) const {
    g_error_free(error);
}

GstObjectPtr<GstElement> LaunchPipeline(const char* description, QString* why) {
    GError* rawError = nullptr;
    GstElement* launched = gst_parse_launch(description, &rawError);
    const GErrorPtr error(rawError);
    // It can return a pipeline and an error at once.
    if (error || !launched) {
        if (launched) gst_object_unref(launched);
        if (why) *why = error ? QString::fromUtf8(error->message) : QStringLiteral("no pipeline");
        return nullptr;
    }
    return GstObjectPtr<GstElement>(GST_ELEMENT(gst_object_ref_sink(launched)));
}

GErrorPtr ParseErrorMessage(GstMessage* message) {
    if (GST_MESSAGE_TYPE(message) != GST_MESSAGE_ERROR) return nullptr;
    GError* error = nullptr;
    gst_message_parse_error(message, &error, nullptr);
    return GErrorPtr(error);
}

}  // namespace ostrelle
