#pragma once

// GStreamer's own typedefs; repeating them keeps <gst/gst.h> out of this header.
typedef struct _GstElement GstElement;
typedef unsigned long GType;

namespace ostrelle {

// A filter element that plays its input faster or slower with the pitch kept (Rubber Band, real time).
// Upstream always runs at rate 1.0; the element turns each upstream segment into output segments with
// applied_rate set to the speed, so the sink's stream time stays media time while its running time advances
// at 1/speed. Each segment's output lasts exactly its input's length divided by the speed, its tail drained
// at SEGMENT_DONE, EOS or the next segment. At speed 1.0 buffers and events pass through untouched.
// Properties: "rate" (double, 0.5..2.0, default 1.0), settable from any thread and applied from the next
// input buffer on; "stretchable" (read-only boolean), false while the stream cannot be stretched, which then
// plays at 1.0. Caps: F32 interleaved, any sample rate, 1 to 8 channels.
GType TempoStretcherGetType();

// audioconvert ! tempo stretcher ! audioconvert in a bin with ghost pads, so any raw audio format goes
// through; a floating reference, or null when an element is missing. *stretcher receives a new reference
// to the element inside, whose properties the bin does not repeat.
GstElement* MakeTempoStretcherBin(GstElement** stretcher);

}  // namespace ostrelle
