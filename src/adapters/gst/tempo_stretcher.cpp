#include "adapters/gst/tempo_stretcher.h"

#include <gst/audio/audio.h>
#include <gst/gst.h>
#include <rubberband/RubberBandStretcher.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <deque>
#include <memory>
#include <new>
#include <optional>
#include <vector>

namespace ostrelle {

namespace {

constexpr double kMinRate = 0.5;
constexpr double kMaxRate = 2.0;
// Input fed to the stretcher at once; also the largest block it is told to expect.
constexpr std::size_t kBlockFrames = 4096;
// Where the speed goes back to 1.0 mid-segment, the stretcher's last output fades into the input over this.
constexpr std::size_t kFadeFrames = 256;
// Input kept after it went through, to prime a stretcher that starts in the middle of a segment.
constexpr std::size_t kHistoryFrames = 16384;

using RubberBand::RubberBandStretcher;

// R3 ("finer") in real-time mode, one thread: processing stays on the streaming thread.
constexpr RubberBandStretcher::Options kStretchOptions =
    RubberBandStretcher::OptionProcessRealTime | RubberBandStretcher::OptionEngineFiner |
    RubberBandStretcher::OptionThreadingNever | RubberBandStretcher::OptionChannelsTogether;

// Input played at one speed. Spans follow one another on one stretcher while the speed changes between two
// stretched speeds, so its output goes on smoothly; a span's output is exactly its input over its speed long.
struct Span {
    double rate = 1.0;
    GstClockTime start = 0;  // upstream timestamp of its first input frame
    // Upstream timestamp after its last input frame. Its length is taken from timestamps, not from the count
    // of frames: a decoder whose timestamps are rounded (WMA's whole milliseconds) has its last buffer cut at
    // the segment's stop by them, and the output must end there in media time as it does at 1.0.
    GstClockTime end = 0;
    guint64 in = 0;       // frames taken in
    guint64 out = 0;      // frames sent out
    bool closed = false;  // takes no more input
    guint64 Expected(int sampleRate) const {
        return static_cast<guint64>(
            std::llround(static_cast<double>(end - start) * sampleRate / GST_SECOND / rate));
    }
};

// What the streaming thread keeps between buffers; the rate alone is touched by other threads.
class StretchState {
public:
    std::atomic<double> rate{1.0};
    std::atomic<bool> stretchable{true};

    // Everything below: streaming thread only (under the stream lock).
    GstAudioInfo info;
    bool haveInfo = false;
    std::unique_ptr<RubberBandStretcher> band;

    GstSegment input;  // the upstream segment, always at rate 1.0
    bool haveSegment = false;
    bool segmentStretchable = false;
    guint32 segmentSeqnum = GST_SEQNUM_INVALID;  // carried by every output segment made from it
    // Output running time minus upstream running time, from the spans played since the last flush.
    gint64 shiftNs = 0;

    // Front: the span being sent out; back: the span taking input. Empty between segments.
    std::deque<Span> spans;
    guint64 discard = 0;  // stretcher output still to drop: its start delay
    // A new speed reaches the stretcher once the back span has taken this much input (see OpenSpan).
    std::optional<guint64> ratioAt;

    std::vector<std::vector<float>> history;  // per channel, the latest input frames
    // The stretcher's output past the last span, to fade into the input that follows at 1.0.
    std::vector<std::vector<float>> tail;
    bool keepTail = false;
    std::vector<std::vector<float>> planar;  // scratch: one channel per row
    std::vector<std::vector<float>> ready;   // scratch: the stretcher's output
    std::vector<float*> pointers;

    int Channels() const { return GST_AUDIO_INFO_CHANNELS(&info); }
    int SampleRate() const { return GST_AUDIO_INFO_RATE(&info); }
    GstClockTime FramesToTime(guint64 frames) const {
        return gst_util_uint64_scale_round(frames, GST_SECOND, SampleRate());
    }
    guint64 Expected(const Span& span) const { return span.Expected(SampleRate()); }
    // Output running time gained over upstream's by a span that has all its output.
    gint64 Shift(const Span& span) const {
        if (span.rate == 1.0) return 0;
        return static_cast<gint64>(FramesToTime(span.out)) - static_cast<gint64>(span.end - span.start);
    }
    bool Stretching() const { return !spans.empty() && spans.back().rate != 1.0; }
    double Wanted() const {
        return segmentStretchable && band ? std::clamp(rate.load(), kMinRate, kMaxRate) : 1.0;
    }
};

struct TempoStretcher {
    GstElement element;
    GstPad* sinkPad;
    GstPad* srcPad;
    StretchState* state;
};

struct TempoStretcherClass {
    GstElementClass parentClass;
};

enum Property { kPropertyRate = 1, kPropertyStretchable };

GstElementClass* parentClass = nullptr;

TempoStretcher* Self(GstObject* parent) {
    return reinterpret_cast<TempoStretcher*>(parent);
}

// Pushes the output segment of the front span: stream time is media time, the running time goes on from
// the output so far. The upstream event itself is passed on when nothing differs from it.
bool PushSpanSegment(TempoStretcher* self, GstEvent* original) {
    StretchState& s = *self->state;
    const Span& span = s.spans.front();
    if (original && span.rate == 1.0 && s.shiftNs == 0 && span.start == s.input.start)
        return gst_pad_push_event(self->srcPad, original);
    if (original) gst_event_unref(original);
    GstSegment out;
    gst_segment_copy_into(&s.input, &out);
    const GstClockTime upstreamRunning = gst_segment_to_running_time(&s.input, GST_FORMAT_TIME, span.start);
    out.start = span.start;
    out.position = span.start;
    out.time = gst_segment_to_stream_time(&s.input, GST_FORMAT_TIME, span.start);
    out.base = GST_CLOCK_TIME_IS_VALID(upstreamRunning) ? upstreamRunning + s.shiftNs : s.input.base;
    out.applied_rate = s.input.applied_rate * span.rate;
    if (GST_CLOCK_TIME_IS_VALID(s.input.stop) && s.input.stop > span.start) {
        // One frame beyond the exact end, so rounding never clips the last frame.
        const double length = static_cast<double>(s.input.stop - span.start) / span.rate;
        out.stop = span.start + static_cast<GstClockTime>(std::ceil(length)) + s.FramesToTime(1);
    }
    GstEvent* event = gst_event_new_segment(&out);
    if (s.segmentSeqnum != GST_SEQNUM_INVALID) gst_event_set_seqnum(event, s.segmentSeqnum);
    return gst_pad_push_event(self->srcPad, event);
}

// The front span has all its output: the next one, if any, starts its own.
void FinishFrontSpan(TempoStretcher* self) {
    StretchState& s = *self->state;
    const Span& span = s.spans.front();
    s.shiftNs += s.Shift(span);
    s.spans.pop_front();
    if (!s.spans.empty()) PushSpanSegment(self, nullptr);
}

void Feed(StretchState& s, std::size_t frames) {
    for (int c = 0; c < s.Channels(); ++c)
        s.pointers[c] = s.planar[c].data();
    s.band->process(s.pointers.data(), frames, false);
}

void Remember(StretchState& s, std::size_t frames) {
    for (int c = 0; c < s.Channels(); ++c) {
        std::vector<float>& kept = s.history[c];
        kept.insert(kept.end(), s.planar[c].begin(), s.planar[c].begin() + frames);
        if (kept.size() > kHistoryFrames) kept.erase(kept.begin(), kept.end() - kHistoryFrames);
    }
}

// Sends frames [from, from + frames) of planar as one interleaved buffer, after the front span's output.
GstFlowReturn PushPlanar(TempoStretcher* self, const std::vector<std::vector<float>>& planar,
                         std::size_t from, std::size_t frames) {
    StretchState& s = *self->state;
    if (frames == 0) return GST_FLOW_OK;
    Span& span = s.spans.front();
    const int channels = s.Channels();
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, frames * channels * sizeof(float), nullptr);
    GstMapInfo map;
    gst_buffer_map(buffer, &map, GST_MAP_WRITE);
    auto* out = reinterpret_cast<float*>(map.data);
    for (std::size_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            out[i * channels + c] = planar[c][from + i];
    gst_buffer_unmap(buffer, &map);
    const GstClockTime start = span.start + s.FramesToTime(span.out);
    span.out += frames;
    GST_BUFFER_PTS(buffer) = start;
    GST_BUFFER_DURATION(buffer) = span.start + s.FramesToTime(span.out) - start;
    return gst_pad_push(self->srcPad, buffer);
}

// Sends what the stretcher has ready, without its start delay, each frame under the span it belongs to.
// Past the end of the last closed span nothing more is sent.
GstFlowReturn PushReady(TempoStretcher* self) {
    StretchState& s = *self->state;
    GstFlowReturn flow = GST_FLOW_OK;
    for (int ready = s.band->available(); ready > 0 && flow == GST_FLOW_OK; ready = s.band->available()) {
        for (int c = 0; c < s.Channels(); ++c) {
            s.ready[c].resize(ready);
            s.pointers[c] = s.ready[c].data();
        }
        const std::size_t got = s.band->retrieve(s.pointers.data(), ready);
        std::size_t from = std::min<std::size_t>(got, s.discard);
        s.discard -= from;
        while (flow == GST_FLOW_OK && !s.spans.empty()) {
            Span& span = s.spans.front();
            if (span.closed && span.out >= s.Expected(span)) {
                if (s.spans.size() == 1) {  // the last one is drained: the rest is its tail
                    for (int c = 0; c < s.Channels() && s.keepTail; ++c) {
                        const std::size_t take = std::min(got - from, kFadeFrames - s.tail[c].size());
                        s.tail[c].insert(s.tail[c].end(), s.ready[c].begin() + from,
                                         s.ready[c].begin() + from + take);
                    }
                    break;
                }
                FinishFrontSpan(self);
                continue;
            }
            if (from == got) break;
            std::size_t frames = got - from;
            if (span.closed) frames = std::min<std::size_t>(frames, s.Expected(span) - span.out);
            flow = PushPlanar(self, s.ready, from, frames);
            from += frames;
        }
    }
    return flow;
}

// Starts a span at the current speed from start (an upstream timestamp). A speed change between two
// stretched speeds goes on with the same stretcher; otherwise a new one is primed, mid-segment with the
// input that went before, at a segment's start with silence.
bool OpenSpan(TempoStretcher* self, GstClockTime start, GstEvent* original) {
    StretchState& s = *self->state;
    Span span;
    span.rate = s.Wanted();
    span.start = start;
    span.end = start;
    if (span.rate != 1.0 && s.Stretching()) {
        // The stretcher applies a new ratio to the input it still holds too; measured, that is about 7/8 of
        // its preferred start pad. Set that much later, the speed changes in its output where the span
        // starts, within a few milliseconds.
        if (s.ratioAt) s.band->setTimeRatio(1.0 / s.spans.back().rate);
        s.ratioAt = s.band->getPreferredStartPad() * 7 / 8;
        s.spans.back().closed = true;
        s.spans.push_back(span);
        return true;  // its segment goes out with its first output
    }
    s.ratioAt.reset();
    s.spans.push_back(span);
    if (span.rate != 1.0) {
        s.band->reset();
        s.band->setTimeRatio(1.0 / span.rate);
        std::size_t pad = s.band->getPreferredStartPad();
        s.discard = s.band->getStartDelay();
        while (pad > 0) {
            const std::size_t frames = std::min(pad, kBlockFrames);
            for (int c = 0; c < s.Channels(); ++c) {
                const std::vector<float>& kept = s.history[c];
                std::vector<float>& row = s.planar[c];
                // Frames pad .. pad - frames before the span's start, from history where it has them.
                for (std::size_t i = 0; i < frames; ++i) {
                    const std::size_t back = pad - i;
                    row[i] = back <= kept.size() ? kept[kept.size() - back] : 0.0f;
                }
            }
            Feed(s, frames);
            pad -= frames;
        }
    }
    return PushSpanSegment(self, original);
}

// Ends every span: all their output goes out, each exactly its input over its speed long. A stretcher in
// real time gives its last frames only once more input follows, so what comes next (when known: the
// planar scratch's first lookahead frames), then silence, is fed behind the input.
GstFlowReturn CloseSpans(TempoStretcher* self, std::size_t lookahead = 0) {
    StretchState& s = *self->state;
    if (s.spans.empty()) return GST_FLOW_OK;
    GstFlowReturn flow = GST_FLOW_OK;
    s.spans.back().closed = true;
    if (s.spans.back().rate != 1.0) {
        if (s.ratioAt) s.band->setTimeRatio(1.0 / s.spans.back().rate);
        s.ratioAt.reset();
        if (lookahead > 0) {
            Feed(s, std::min(lookahead, kBlockFrames));
            flow = PushReady(self);
        }
        for (auto& row : s.planar)
            std::fill(row.begin(), row.end(), 0.0f);
        s.keepTail = lookahead > 0;
        for (auto& row : s.tail)
            row.clear();
        const auto drained = [&s] {
            return s.spans.size() == 1 && s.spans.front().out >= s.Expected(s.spans.front()) &&
                   (!s.keepTail || s.tail[0].size() >= kFadeFrames);
        };
        // Bounded: the stretcher holds no more than a few of its windows.
        for (int fed = 0; flow == GST_FLOW_OK && !drained() && fed < 64; ++fed) {
            Feed(s, std::clamp<std::size_t>(s.band->getSamplesRequired(), 256, kBlockFrames));
            flow = PushReady(self);
        }
        // Should the stretcher still come out short, silence fills the span to its length.
        s.keepTail = false;
        while (flow == GST_FLOW_OK && !s.spans.empty() && !drained()) {
            Span& span = s.spans.front();
            const std::size_t missing = s.Expected(span) - span.out;
            flow = PushPlanar(
                self, std::vector<std::vector<float>>(s.Channels(), std::vector<float>(missing)), 0, missing);
            if (s.spans.size() > 1) FinishFrontSpan(self);
        }
    }
    while (!s.spans.empty()) {
        const Span& span = s.spans.front();
        s.shiftNs += s.Shift(span);
        s.spans.pop_front();
    }
    return flow;
}

// The first frames at 1.0 after stretched ones: a short crossfade from the stretcher's last output, whose
// phase may differ by a little.
GstBuffer* FadeIn(StretchState& s, GstBuffer* buffer, std::size_t frames) {
    buffer = gst_buffer_make_writable(buffer);
    GstMapInfo map;
    gst_buffer_map(buffer, &map, GST_MAP_READWRITE);
    auto* samples = reinterpret_cast<float*>(map.data);
    const int channels = s.Channels();
    const std::size_t fade = std::min(frames, s.tail[0].size());
    for (std::size_t i = 0; i < fade; ++i) {
        const float weight = (static_cast<float>(i) + 0.5f) / static_cast<float>(s.tail[0].size());
        for (int c = 0; c < channels; ++c) {
            float& sample = samples[i * channels + c];
            sample = weight * sample + (1.0f - weight) * s.tail[c][i];
        }
    }
    gst_buffer_unmap(buffer, &map);
    for (auto& row : s.tail)
        row.clear();
    return buffer;
}

GstFlowReturn Chain(GstPad*, GstObject* parent, GstBuffer* buffer) {
    TempoStretcher* self = Self(parent);
    StretchState& s = *self->state;
    if (!s.haveInfo || !s.haveSegment) return gst_pad_push(self->srcPad, buffer);
    buffer = gst_audio_buffer_clip(buffer, &s.input, s.SampleRate(), GST_AUDIO_INFO_BPF(&s.info));
    if (!buffer) return GST_FLOW_OK;  // wholly outside the segment
    const std::size_t frames = gst_buffer_get_size(buffer) / GST_AUDIO_INFO_BPF(&s.info);
    const GstClockTime pts = GST_BUFFER_PTS(buffer);

    // Deinterleaved: the stretcher wants it so, and history keeps it so.
    for (int c = 0; c < s.Channels(); ++c)
        s.planar[c].resize(std::max(frames, kBlockFrames));
    GstMapInfo map;
    gst_buffer_map(buffer, &map, GST_MAP_READ);
    const auto* in = reinterpret_cast<const float*>(map.data);
    const int channels = s.Channels();
    const auto deinterleave = [&](std::size_t from, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i)
            for (int c = 0; c < channels; ++c)
                s.planar[c][i] = in[(from + i) * channels + c];
    };

    GstFlowReturn flow = GST_FLOW_OK;
    const double wanted = s.Wanted();
    if (s.spans.empty() || wanted != s.spans.back().rate) {
        GstClockTime next = GST_CLOCK_TIME_IS_VALID(pts) ? pts : s.input.start;
        if (!s.spans.empty() && !GST_CLOCK_TIME_IS_VALID(pts)) next = s.spans.back().end;
        // Into a stretcher only the speed changes; out of one, it is drained first.
        if (!(s.Stretching() && wanted != 1.0)) {
            deinterleave(0, std::min(frames, kBlockFrames));
            flow = CloseSpans(self, s.Stretching() ? frames : 0);
        }
        if (flow == GST_FLOW_OK) OpenSpan(self, next, nullptr);
    }
    if (flow != GST_FLOW_OK) {
        gst_buffer_unmap(buffer, &map);
        gst_buffer_unref(buffer);
        return flow;
    }

    Span& span = s.spans.back();
    span.end = GST_CLOCK_TIME_IS_VALID(pts) ? std::max(span.end, pts + s.FramesToTime(frames))
                                            : span.end + s.FramesToTime(frames);
    // Clipping keeps whole frames, so the last one may reach a little past the stop.
    if (GST_CLOCK_TIME_IS_VALID(s.input.stop))
        span.end = std::min(span.end, std::max(s.input.stop, span.start));
    if (span.rate == 1.0) {
        deinterleave(0, frames);
        gst_buffer_unmap(buffer, &map);
        Remember(s, frames);
        if (!s.tail.empty() && !s.tail[0].empty()) buffer = FadeIn(s, buffer, frames);
        span.in += frames;
        span.out += frames;
        return gst_pad_push(self->srcPad, buffer);
    }
    for (std::size_t done = 0; done < frames && flow == GST_FLOW_OK;) {
        std::size_t block = std::min(frames - done, kBlockFrames);
        if (s.ratioAt && *s.ratioAt > span.in) block = std::min<std::size_t>(block, *s.ratioAt - span.in);
        if (s.ratioAt && *s.ratioAt <= span.in) {
            s.band->setTimeRatio(1.0 / span.rate);
            s.ratioAt.reset();
        }
        deinterleave(done, block);
        Remember(s, block);
        Feed(s, block);
        span.in += block;
        done += block;
        flow = PushReady(self);
    }
    gst_buffer_unmap(buffer, &map);
    gst_buffer_unref(buffer);
    return flow;
}

void ResetStream(StretchState& s) {
    s.haveSegment = false;
    s.spans.clear();
    s.ratioAt.reset();
    for (auto& row : s.tail)
        row.clear();
    s.shiftNs = 0;
    for (auto& kept : s.history)
        kept.clear();
    if (s.band) s.band->reset();
}

void Configure(StretchState& s, const GstAudioInfo& info) {
    const bool same = s.haveInfo && s.band && GST_AUDIO_INFO_RATE(&info) == s.SampleRate() &&
                      GST_AUDIO_INFO_CHANNELS(&info) == s.Channels();
    s.info = info;
    s.haveInfo = true;
    const int channels = s.Channels();
    s.history.assign(channels, {});
    s.planar.assign(channels, std::vector<float>(kBlockFrames));
    s.ready.assign(channels, {});
    s.tail.assign(channels, {});
    s.pointers.assign(channels, nullptr);
    if (same) return;
    s.band.reset();
    try {
        s.band = std::make_unique<RubberBandStretcher>(s.SampleRate(), channels, kStretchOptions);
        s.band->setMaxProcessSize(kBlockFrames);
    } catch (const std::exception&) {
        s.band.reset();  // played at 1.0; "stretchable" tells
    }
    s.stretchable = s.band != nullptr;
}

gboolean SinkEvent(GstPad* pad, GstObject* parent, GstEvent* event) {
    TempoStretcher* self = Self(parent);
    StretchState& s = *self->state;
    switch (GST_EVENT_TYPE(event)) {
        case GST_EVENT_CAPS: {
            GstCaps* caps = nullptr;
            gst_event_parse_caps(event, &caps);
            GstAudioInfo info;
            if (!gst_audio_info_from_caps(&info, caps)) {
                gst_event_unref(event);
                return FALSE;
            }
            CloseSpans(self);
            Configure(s, info);
            break;
        }
        case GST_EVENT_SEGMENT: {
            // Drains the segment before: a queued restart follows it without a flush.
            CloseSpans(self);
            gst_event_copy_segment(event, &s.input);
            s.segmentSeqnum = gst_event_get_seqnum(event);
            s.haveSegment = true;
            s.segmentStretchable = s.input.format == GST_FORMAT_TIME && s.input.rate == 1.0;
            for (auto& kept : s.history)
                kept.clear();  // what went before is another place in the media
            return OpenSpan(self, s.input.start, event);
        }
        case GST_EVENT_SEGMENT_DONE:
        case GST_EVENT_EOS:
            CloseSpans(self);
            break;
        case GST_EVENT_FLUSH_STOP:
            ResetStream(s);
            break;
        case GST_EVENT_GAP:
            // Its times are upstream's; once stretched they would place it wrongly.
            if (s.shiftNs != 0 || s.Stretching()) {
                gst_event_unref(event);
                return TRUE;
            }
            break;
        default:
            break;
    }
    return gst_pad_event_default(pad, parent, event);
}

GstStateChangeReturn ChangeState(GstElement* element, GstStateChange transition) {
    const GstStateChangeReturn result = parentClass->change_state(element, transition);
    if (transition == GST_STATE_CHANGE_PAUSED_TO_READY)
        ResetStream(*reinterpret_cast<TempoStretcher*>(element)->state);
    return result;
}

void SetProperty(GObject* object, guint id, const GValue* value, GParamSpec* spec) {
    auto* self = reinterpret_cast<TempoStretcher*>(object);
    if (id == kPropertyRate)
        self->state->rate = g_value_get_double(value);
    else
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
}

void GetProperty(GObject* object, guint id, GValue* value, GParamSpec* spec) {
    auto* self = reinterpret_cast<TempoStretcher*>(object);
    if (id == kPropertyRate)
        g_value_set_double(value, self->state->rate);
    else if (id == kPropertyStretchable)
        g_value_set_boolean(value, self->state->stretchable);
    else
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
}

void Finalize(GObject* object) {
    delete reinterpret_cast<TempoStretcher*>(object)->state;
    G_OBJECT_CLASS(parentClass)->finalize(object);
}

#define OSTRELLE_STRETCHER_CAPS                                     \
    GST_STATIC_CAPS("audio/x-raw, format = (string) " GST_AUDIO_NE( \
        F32) ", layout = (string) interleaved, "                    \
             "rate = (int) [ 1, MAX ], channels = (int) [ 1, 8 ]")
GstStaticPadTemplate sinkTemplate =
    GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS, OSTRELLE_STRETCHER_CAPS);
GstStaticPadTemplate srcTemplate =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS, OSTRELLE_STRETCHER_CAPS);

void ClassInit(gpointer klass, gpointer) {
    parentClass = GST_ELEMENT_CLASS(g_type_class_peek_parent(klass));
    GObjectClass* objectClass = G_OBJECT_CLASS(klass);
    objectClass->set_property = SetProperty;
    objectClass->get_property = GetProperty;
    objectClass->finalize = Finalize;
    g_object_class_install_property(
        objectClass, kPropertyRate,
        g_param_spec_double("rate", "Rate", "Playback speed, the pitch kept", kMinRate, kMaxRate, 1.0,
                            static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS)));
    g_object_class_install_property(
        objectClass, kPropertyStretchable,
        g_param_spec_boolean("stretchable", "Stretchable", "Whether the stream can change speed", TRUE,
                             static_cast<GParamFlags>(G_PARAM_READABLE | G_PARAM_STATIC_STRINGS)));
    GstElementClass* elementClass = GST_ELEMENT_CLASS(klass);
    elementClass->change_state = ChangeState;
    gst_element_class_set_static_metadata(elementClass, "Tempo stretcher", "Filter/Effect/Audio",
                                          "Changes the speed with the pitch kept", "Ostrelle");
    gst_element_class_add_static_pad_template(elementClass, &sinkTemplate);
    gst_element_class_add_static_pad_template(elementClass, &srcTemplate);
}

void InstanceInit(GTypeInstance* instance, gpointer klass) {
    auto* self = reinterpret_cast<TempoStretcher*>(instance);
    self->state = new StretchState;
    gst_segment_init(&self->state->input, GST_FORMAT_TIME);
    gst_audio_info_init(&self->state->info);
    GstElementClass* elementClass = GST_ELEMENT_CLASS(klass);
    self->sinkPad =
        gst_pad_new_from_template(gst_element_class_get_pad_template(elementClass, "sink"), "sink");
    self->srcPad = gst_pad_new_from_template(gst_element_class_get_pad_template(elementClass, "src"), "src");
    gst_pad_set_chain_function(self->sinkPad, Chain);
    gst_pad_set_event_function(self->sinkPad, SinkEvent);
    // The element never changes the format: caps and allocation questions go straight through.
    GST_PAD_SET_PROXY_CAPS(self->sinkPad);
    GST_PAD_SET_PROXY_CAPS(self->srcPad);
    gst_element_add_pad(GST_ELEMENT(self), self->sinkPad);
    gst_element_add_pad(GST_ELEMENT(self), self->srcPad);
}

}  // namespace

GType TempoStretcherGetType() {
    static const GType type = g_type_register_static_simple(
        GST_TYPE_ELEMENT, "OstrelleTempoStretcher", sizeof(TempoStretcherClass), ClassInit,
        sizeof(TempoStretcher), InstanceInit, static_cast<GTypeFlags>(0));
    return type;
}

}  // namespace ostrelle
