#include "adapters/gst/wma_retimer.h"

#include "adapters/gst/gst_support.h"

#include <gst/audio/audio.h>
#include <gst/gst.h>

#include <algorithm>
#include <cmath>

namespace ostrelle {

namespace {

// Passes remembered for segments still on their way through the decoder.
constexpr std::size_t kPassesKept = 8;

std::uint64_t ToNs(double seconds) {
    return static_cast<std::uint64_t>(std::llround(std::max(0.0, seconds) * GST_SECOND));
}

// The same segment event with other times, keeping its sequence number.
void ReplaceSegment(GstPadProbeInfo* info, const GstSegment& segment) {
    GstEvent* old = GST_PAD_PROBE_INFO_EVENT(info);
    GstEvent* replaced = gst_event_new_segment(&segment);
    gst_event_set_seqnum(replaced, gst_event_get_seqnum(old));
    gst_event_unref(old);
    GST_PAD_PROBE_INFO_DATA(info) = replaced;
}

}  // namespace

struct WmaRetimer::Callbacks {
    static GstPadProbeReturn Input(GstPad*, GstPadProbeInfo* info, gpointer self) {
        return static_cast<GstPadProbeReturn>(static_cast<WmaRetimer*>(self)->OnDecoderInput(info));
    }
    static GstPadProbeReturn Output(GstPad*, GstPadProbeInfo* info, gpointer self) {
        return static_cast<GstPadProbeReturn>(static_cast<WmaRetimer*>(self)->OnDecoderOutput(info));
    }
};

void WmaRetimer::Open(const QString& absolutePath) {
    Close();
    if (!IsAsfFile(absolutePath)) return;
    cancel_ = false;
    measuring_ = true;
    measurer_ = std::thread([this, absolutePath] {
        if (auto times = MeasureWmaPacketTimes(absolutePath, cancel_)) {
            std::lock_guard lock(mutex_);
            times_ = std::move(times);
        }
        measuring_ = false;
    });
}

void WmaRetimer::Close() {
    cancel_ = true;
    if (measurer_.joinable()) measurer_.join();
    measuring_ = false;
    std::lock_guard lock(mutex_);
    times_.reset();
    expected_.clear();
    sent_.clear();
    retiming_ = false;
    lastSegment_.reset();
    flushed_ = true;
    nextNs_.reset();
    rate_ = 0;
    bytesPerFrame_ = 0;
}

bool WmaRetimer::Ready() const {
    std::lock_guard lock(mutex_);
    return times_.has_value();
}

WmaRetimer::DemuxSeek WmaRetimer::Expect(double startSeconds, std::optional<double> stopSeconds) {
    std::lock_guard lock(mutex_);
    const DemuxSeek demux{std::max(0.0, startSeconds - kLeadSeconds),
                          stopSeconds ? std::optional(*stopSeconds + kLeadSeconds) : std::nullopt};
    // Seeks may follow each other before the first one's segment arrives, so each is told by its own.
    expected_.push_back(
        {ToNs(demux.startSeconds),
         demux.stopSeconds ? std::optional(ToNs(*demux.stopSeconds)) : std::nullopt,
         {ToNs(startSeconds), stopSeconds ? std::optional(ToNs(*stopSeconds)) : std::nullopt}});
    if (expected_.size() > kPassesKept) expected_.erase(expected_.begin());
    return demux;
}

void WmaRetimer::Attach(GstElement* decoder) {
    // playbin may keep a decoder for the same file; its probes are already there.
    static const char kAttached[] = "ostrelle-wma-retimer";
    if (g_object_get_data(G_OBJECT(decoder), kAttached)) return;
    g_object_set_data(G_OBJECT(decoder), kAttached, this);
    const GstObjectPtr<GstPad> input(gst_element_get_static_pad(decoder, "sink"));
    const GstObjectPtr<GstPad> output(gst_element_get_static_pad(decoder, "src"));
    if (!input || !output) return;
    gst_pad_add_probe(input.get(), GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, &Callbacks::Input, this, nullptr);
    gst_pad_add_probe(
        output.get(),
        static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM |
                                     GST_PAD_PROBE_TYPE_EVENT_FLUSH),
        &Callbacks::Output, this, nullptr);
}

// A pass's segment reaches the decoder as the demuxer made it, a lead early; the decoder would cut its
// output to it by the packets' stamps, so it gets one that cuts nothing.
int WmaRetimer::OnDecoderInput(GstPadProbeInfo* info) {
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    if (GST_EVENT_TYPE(event) != GST_EVENT_SEGMENT) return GST_PAD_PROBE_OK;
    std::lock_guard lock(mutex_);
    const GstSegment* segment = nullptr;
    gst_event_parse_segment(event, &segment);
    if (!times_ || segment->format != GST_FORMAT_TIME) return GST_PAD_PROBE_OK;
    const auto expected = std::find_if(expected_.rbegin(), expected_.rend(), [segment](const Expected& seek) {
        return seek.demuxStartNs == segment->start &&
               (!seek.demuxStopNs || *seek.demuxStopNs == segment->stop);
    });
    if (expected == expected_.rend()) return GST_PAD_PROBE_OK;
    GstSegment wide;
    gst_segment_copy_into(segment, &wide);
    wide.start = wide.time = wide.position = 0;
    wide.stop = GST_CLOCK_TIME_NONE;
    sent_.emplace_back(gst_event_get_seqnum(event), expected->pass);
    if (sent_.size() > kPassesKept) sent_.erase(sent_.begin());
    expected_.erase(std::next(expected).base());
    ReplaceSegment(info, wide);
    return GST_PAD_PROBE_OK;
}

int WmaRetimer::OnDecoderOutput(GstPadProbeInfo* info) {
    std::lock_guard lock(mutex_);
    if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_EVENT_BOTH) {
        GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
        switch (GST_EVENT_TYPE(event)) {
            case GST_EVENT_FLUSH_STOP:
                flushed_ = true;
                break;
            case GST_EVENT_CAPS: {
                GstCaps* caps = nullptr;
                gst_event_parse_caps(event, &caps);
                GstAudioInfo audio;
                if (caps && gst_audio_info_from_caps(&audio, caps)) {
                    rate_ = GST_AUDIO_INFO_RATE(&audio);
                    bytesPerFrame_ = GST_AUDIO_INFO_BPF(&audio);
                }
                break;
            }
            case GST_EVENT_SEGMENT: {
                const GstSegment* segment = nullptr;
                gst_event_parse_segment(event, &segment);
                const std::uint32_t seqnum = gst_event_get_seqnum(event);
                const auto pass = std::find_if(sent_.rbegin(), sent_.rend(),
                                               [seqnum](const auto& sent) { return sent.first == seqnum; });
                // A segment queued behind the last one starts where that one's running time ended.
                std::uint64_t base = segment->base;
                if (!flushed_ && lastSegment_ && lastSegment_->stopNs)
                    base = lastSegment_->baseNs + (*lastSegment_->stopNs - lastSegment_->startNs);
                retiming_ = pass != sent_.rend() && segment->format == GST_FORMAT_TIME;
                flushed_ = false;
                nextNs_.reset();
                if (!retiming_) {
                    lastSegment_ = Sent{
                        segment->start,
                        GST_CLOCK_TIME_IS_VALID(segment->stop) ? std::optional(segment->stop) : std::nullopt,
                        segment->base};
                    break;
                }
                GstSegment retimed;
                gst_segment_copy_into(segment, &retimed);
                retimed.start = retimed.time = retimed.position = pass->second.startNs;
                retimed.stop = pass->second.stopNs.value_or(GST_CLOCK_TIME_NONE);
                retimed.base = base;
                lastSegment_ = Sent{pass->second.startNs, pass->second.stopNs, base};
                ReplaceSegment(info, retimed);
                break;
            }
            default:
                break;
        }
        return GST_PAD_PROBE_OK;
    }

    if (!retiming_ || !times_ || rate_ <= 0 || bytesPerFrame_ <= 0 || !lastSegment_) return GST_PAD_PROBE_OK;
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    const std::uint64_t samples = gst_buffer_get_size(buffer) / static_cast<gsize>(bytesPerFrame_);
    const auto ns = [this](std::uint64_t count) {
        return gst_util_uint64_scale_round(count, GST_SECOND, static_cast<guint64>(rate_));
    };
    const auto count = [this](std::uint64_t nanoseconds) {
        return gst_util_uint64_scale_round(nanoseconds, static_cast<guint64>(rate_), GST_SECOND);
    };
    std::uint64_t start = GST_BUFFER_PTS(buffer);
    if (const auto placed = times_->Place(start, samples))
        start = *placed;
    else if (nextNs_)
        start = *nextNs_;  // not a packet's first buffer: it follows the one before
    const std::uint64_t end = start + ns(samples);
    nextNs_ = end;

    const Sent& pass = *lastSegment_;
    if (end <= pass.startNs || (pass.stopNs && start >= *pass.stopNs)) return GST_PAD_PROBE_DROP;
    const std::uint64_t front = start < pass.startNs ? std::min(samples, count(pass.startNs - start)) : 0;
    const std::uint64_t back =
        pass.stopNs && end > *pass.stopNs ? std::min(samples - front, count(end - *pass.stopNs)) : 0;
    if (front + back >= samples) return GST_PAD_PROBE_DROP;
    buffer = gst_buffer_make_writable(buffer);
    if (front + back > 0)
        buffer = gst_audio_buffer_truncate(buffer, bytesPerFrame_, front, samples - front - back);
    GST_BUFFER_PTS(buffer) = start + ns(front);
    GST_BUFFER_DTS(buffer) = GST_CLOCK_TIME_NONE;
    GST_BUFFER_DURATION(buffer) = ns(samples - front - back);
    GST_PAD_PROBE_INFO_DATA(info) = buffer;
    return GST_PAD_PROBE_OK;
}

}  // namespace ostrelle
