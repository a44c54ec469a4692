#pragma once

#include "base/result.h"

#include <QString>

#include <memory>

// GStreamer's and GLib's own typedefs; repeating them keeps <gst/gst.h> out of this header.
typedef struct _GError GError;
typedef struct _GstMessage GstMessage;
typedef struct _GstElement GstElement;

namespace ostrelle {

// Initialises GStreamer once for the whole program; later calls give the first call's outcome.
Result<void> InitGstreamer();

// The text of an error GStreamer reported, or "unknown error" when it gave none.
QString GstErrorText(const GError* error);

// Owners of one GStreamer or GLib reference each, released when the owner goes.
struct GstObjectUnref {
    void operator()(void* object) const;
};
struct GstMessageUnref {
    void operator()(GstMessage* message) const;
};
struct GErrorFree {
    void operator()(GError* error) const;
};
template <typename T>
using GstObjectPtr = std::unique_ptr<T, GstObjectUnref>;
using GstMessagePtr = std::unique_ptr<GstMessage, GstMessageUnref>;
using GErrorPtr = std::unique_ptr<GError, GErrorFree>;

// The pipeline a gst-launch description makes, owned; null when it makes none or reports an error, with
// GStreamer's reason in *why when asked for.
GstObjectPtr<GstElement> LaunchPipeline(const char* description, QString* why = nullptr);

// The error an ERROR message carries; null for other messages.
GErrorPtr ParseErrorMessage(GstMessage* message);

}  // namespace ostrelle
