// The player's side of the audio output: what the desktop's output really is, the wait it was held for,
// and the volume.
#include "adapters/gst/gst_media_player.h"

#include <gst/audio/streamvolume.h>
#include <gst/gst.h>

#include <algorithm>
#include <cmath>

namespace ostrelle {

namespace {

// A paused output whose clock ran on further than this while it waited would start that much late.
constexpr GstClockTime kHeldClockDriftNs = 150 * GST_MSECOND;
// How long Play() waits for a fresh output stream to preroll; it takes some tens of milliseconds.
constexpr GstClockTime kFreshStreamWaitNs = 2 * GST_SECOND;

}  // namespace

void GstMediaPlayer::CheckOutput() {
    if (!desktopSink_) return;
    // Without a reachable sound server or card the automatic output plays into a fake sink.
    GstIterator* children = gst_bin_iterate_elements(GST_BIN(desktopSink_));
    GValue item = G_VALUE_INIT;
    if (gst_iterator_next(children, &item) == GST_ITERATOR_OK) {
        GstElementFactory* factory = gst_element_get_factory(GST_ELEMENT(g_value_get_object(&item)));
        const QByteArray kind = factory ? gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory)) : "";
        outputClock_.reset();
        if (kind == "fakesink" || kind == "fakeaudiosink") {
            outputProblem_ = outputWarning_.isEmpty() ? QStringLiteral("No sound output could be opened.")
                                                      : outputWarning_;
        } else {
            outputProblem_.clear();
            outputClock_.reset(gst_element_provide_clock(GST_ELEMENT(g_value_get_object(&item))));
        }
        g_value_unset(&item);
    }
    gst_iterator_free(children);
}

void GstMediaPlayer::HoldOutput() {
    // A pause while already held (a run starting pauses first) must not restart the wait.
    if (outputClock_ && !heldAtClockNs_) heldAtClockNs_ = gst_clock_get_time(outputClock_.get());
}

// The PulseAudio client library of Debian 12 (before 17.0) reports, for a stream that waits corked before
// the server has taken any of its data, the wall-clock time since the stream was made as its time. The
// sink's clock runs on through the wait, and the first sound after it is held back for as long. A healthy
// library keeps the clock still while paused, so this only ever triggers where the fault is.
bool GstMediaPlayer::OutputClockRanWhileHeld() const {
    if (!outputClock_ || !heldAtClockNs_) return false;
    const GstClockTime now = gst_clock_get_time(outputClock_.get());
    return GST_CLOCK_TIME_IS_VALID(now) && now > *heldAtClockNs_ + kHeldClockDriftNs;
}

// A new stream from where the output was held: through READY the sink drops its stream and makes a fresh
// one, whose clock starts at the moment it plays. The pending seek (with its stop point) is issued again.
void GstMediaPlayer::PlayOnAFreshOutputStream() {
    const double at = CurrentPosition();
    heldAtClockNs_.reset();
    reachPoll_.stop();
    idleTimeout_.stop();
    gst_element_set_state(playbin_.get(), GST_STATE_READY);
    if (sinkPad_) gst_pad_set_offset(sinkPad_.get(), 0);
    sinkOffset_ = 0;
    gst_element_set_state(playbin_.get(), GST_STATE_PAUSED);
    // Preroll first: a seek needs the stream running, and the messages it posts on the way are stale once
    // the seek below is issued.
    if (gst_element_get_state(playbin_.get(), nullptr, nullptr, kFreshStreamWaitNs) ==
        GST_STATE_CHANGE_FAILURE) {
        return;  // the ERROR message says why
    }
    Seek(at);
    gst_element_set_state(playbin_.get(), GST_STATE_PLAYING);
}

void GstMediaPlayer::SetVolume(int volume) {
    volume_ = std::clamp(volume, 0, 100);
    if (!playbin_) return;
    const double linear = gst_stream_volume_convert_volume(GST_STREAM_VOLUME_FORMAT_CUBIC,
                                                           GST_STREAM_VOLUME_FORMAT_LINEAR, volume_ / 100.0);
    g_object_set(playbin_.get(), "volume", linear, nullptr);
}

}  // namespace ostrelle
