#include "adapters/gst/tempo_stretcher.h"

#include "adapters/gst/gst_support.h"

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <utility>
#include <vector>

namespace ostrelle {
namespace {

constexpr int kRate = 44100;
constexpr std::size_t kBufferFrames = 1024;

// One output buffer as the sink would place it.
struct OutputBuffer {
    GstClockTime running;  // start and end in running time
    GstClockTime runningEnd;
    GstClockTime stream;  // start and end in stream time (media time)
    GstClockTime streamEnd;
    std::vector<float> samples;  // the first channel
    GstClockTime pts;
};

// Pushes a stereo 440 Hz tone of inputFrames through the stretcher bin into an appsink, the rate set to
// each listed value once the input reaches its time, and collects everything that comes out.
class StretchRun {
public:
    std::vector<std::pair<double, double>> rateFromSeconds;  // (input seconds, rate), in order
    std::vector<OutputBuffer> output;
    std::vector<float> input;  // the first channel

    bool Run(std::size_t inputFrames) {
        EXPECT_TRUE(InitGstreamer().ok());
        GstElement* stretcher = nullptr;
        GstElement* bin = MakeTempoStretcherBin(&stretcher);
        if (!bin) return false;
        stretcher_ = stretcher;
        GstElement* pipeline = gst_pipeline_new(nullptr);
        GstElement* source = gst_element_factory_make("appsrc", nullptr);
        GstElement* sink = gst_element_factory_make("appsink", nullptr);
        GstCaps* caps =
            gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, "F32LE", "rate", G_TYPE_INT, kRate,
                                "channels", G_TYPE_INT, 2, "layout", G_TYPE_STRING, "interleaved", nullptr);
        g_object_set(source, "caps", caps, "format", GST_FORMAT_TIME, nullptr);
        gst_caps_unref(caps);
        g_object_set(sink, "sync", FALSE, nullptr);
        gst_bin_add_many(GST_BIN(pipeline), source, bin, sink, nullptr);
        gst_element_link_many(source, bin, sink, nullptr);
        // The rate changes in the streaming thread, right before the buffer that crosses its time.
        GstPad* pad = gst_element_get_static_pad(stretcher, "sink");
        gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, &StretchRun::ProbeCallback, this, nullptr);
        gst_object_unref(pad);
        GstAppSinkCallbacks callbacks{};
        callbacks.new_sample = &StretchRun::NewSampleCallback;
        gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, this, nullptr);
        gst_element_set_state(pipeline, GST_STATE_PLAYING);

        double phase = 0;
        for (std::size_t done = 0; done < inputFrames; done += kBufferFrames) {
            const std::size_t frames = std::min(kBufferFrames, inputFrames - done);
            GstBuffer* buffer = gst_buffer_new_allocate(nullptr, frames * 2 * sizeof(float), nullptr);
            GstMapInfo map;
            gst_buffer_map(buffer, &map, GST_MAP_WRITE);
            auto* samples = reinterpret_cast<float*>(map.data);
            for (std::size_t i = 0; i < frames; ++i) {
                samples[2 * i] = samples[2 * i + 1] = static_cast<float>(0.5 * std::sin(phase));
                input.push_back(samples[2 * i]);
                phase += 2 * std::numbers::pi * 440.0 / kRate;
            }
            gst_buffer_unmap(buffer, &map);
            GST_BUFFER_PTS(buffer) = gst_util_uint64_scale(done, GST_SECOND, kRate);
            GST_BUFFER_DURATION(buffer) =
                gst_util_uint64_scale(done + frames, GST_SECOND, kRate) - GST_BUFFER_PTS(buffer);
            gst_app_src_push_buffer(GST_APP_SRC(source), buffer);
        }
        gst_app_src_end_of_stream(GST_APP_SRC(source));
        GstBus* bus = gst_element_get_bus(pipeline);
        GstMessage* end = gst_bus_timed_pop_filtered(
            bus, 60 * GST_SECOND, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
        const bool ended = end && GST_MESSAGE_TYPE(end) == GST_MESSAGE_EOS;
        if (end) gst_message_unref(end);
        gst_object_unref(bus);
        gst_element_set_state(pipeline, GST_STATE_NULL);
        gst_object_unref(pipeline);
        gst_object_unref(stretcher);
        return ended;
    }

    std::size_t OutputFrames() const {
        std::size_t frames = 0;
        for (const auto& buffer : output)
            frames += buffer.samples.size();
        return frames;
    }

private:
    static GstPadProbeReturn ProbeCallback(GstPad*, GstPadProbeInfo* info, gpointer self) {
        auto* run = static_cast<StretchRun*>(self);
        const GstClockTime pts = GST_BUFFER_PTS(GST_PAD_PROBE_INFO_BUFFER(info));
        for (const auto& [seconds, rate] : run->rateFromSeconds)
            if (pts >= seconds * GST_SECOND) g_object_set(run->stretcher_, "rate", rate, nullptr);
        return GST_PAD_PROBE_OK;
    }
    static GstFlowReturn NewSampleCallback(GstAppSink* sink, gpointer self) {
        GstSample* sample = gst_app_sink_pull_sample(sink);
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        const GstSegment* segment = gst_sample_get_segment(sample);
        const GstClockTime pts = GST_BUFFER_PTS(buffer);
        const GstClockTime end = pts + GST_BUFFER_DURATION(buffer);
        OutputBuffer out{gst_segment_to_running_time(segment, GST_FORMAT_TIME, pts),
                         gst_segment_to_running_time(segment, GST_FORMAT_TIME, end),
                         gst_segment_to_stream_time(segment, GST_FORMAT_TIME, pts),
                         gst_segment_to_stream_time(segment, GST_FORMAT_TIME, end),
                         {},
                         pts};
        GstMapInfo map;
        gst_buffer_map(buffer, &map, GST_MAP_READ);
        const auto* samples = reinterpret_cast<const float*>(map.data);
        for (std::size_t i = 0; i < map.size / (2 * sizeof(float)); ++i)
            out.samples.push_back(samples[2 * i]);
        gst_buffer_unmap(buffer, &map);
        gst_sample_unref(sample);
        static_cast<StretchRun*>(self)->output.push_back(std::move(out));
        return GST_FLOW_OK;
    }
    GstElement* stretcher_ = nullptr;
};

// Frequency from the zero crossings (upward, interpolated) of samples[from, to).
double MeasuredFrequency(const std::vector<float>& samples, std::size_t from, std::size_t to) {
    double first = -1;
    double last = -1;
    int crossings = 0;
    for (std::size_t i = from + 1; i < to; ++i) {
        if (samples[i - 1] < 0 && samples[i] >= 0) {
            const double at = i - 1 + samples[i - 1] / (samples[i - 1] - samples[i]);
            if (first < 0) first = at;
            last = at;
            ++crossings;
        }
    }
    return crossings > 1 ? (crossings - 1) * kRate / (last - first) : 0;
}

std::vector<float> Joined(const std::vector<OutputBuffer>& output) {
    std::vector<float> all;
    for (const auto& buffer : output)
        all.insert(all.end(), buffer.samples.begin(), buffer.samples.end());
    return all;
}

class TempoStretcherTest : public ::testing::TestWithParam<double> {};

TEST_P(TempoStretcherTest, OutputLastsTheInputOverTheRateAtTheSamePitchInMediaTime) {
    const double rate = GetParam();
    StretchRun run;
    run.rateFromSeconds = {{0.0, rate}};
    const std::size_t inputFrames = 3 * kRate + 123;
    ASSERT_TRUE(run.Run(inputFrames));
    ASSERT_FALSE(run.output.empty());
    EXPECT_NEAR(static_cast<double>(run.OutputFrames()), std::round(inputFrames / rate), 2.0);
    // The output's stream time ends where the input did, in media time.
    const GstClockTime inputEnd = gst_util_uint64_scale_round(inputFrames, GST_SECOND, kRate);
    EXPECT_NEAR(static_cast<double>(run.output.back().streamEnd), static_cast<double>(inputEnd),
                GST_SECOND / kRate);
    const std::vector<float> all = Joined(run.output);
    EXPECT_NEAR(MeasuredFrequency(all, kRate / 4, all.size() - kRate / 4), 440.0, 4.4);
}

INSTANTIATE_TEST_SUITE_P(Rates, TempoStretcherTest, ::testing::Values(0.75, 1.5));

TEST(TempoStretcherPassThroughTest, AtRateOneBuffersPassUntouched) {
    StretchRun run;
    ASSERT_TRUE(run.Run(kRate));
    const std::vector<float> all = Joined(run.output);
    ASSERT_EQ(all.size(), run.input.size());
    EXPECT_EQ(std::memcmp(all.data(), run.input.data(), all.size() * sizeof(float)), 0);
    for (std::size_t i = 0; i < run.output.size(); ++i)
        EXPECT_EQ(run.output[i].pts, gst_util_uint64_scale(i * kBufferFrames, GST_SECOND, kRate));
}

TEST(TempoStretcherChangeTest, RateChangesMidStreamKeepTimeContinuousAndTheWaveSmooth) {
    StretchRun run;
    run.rateFromSeconds = {{1.0, 0.75}, {2.0, 1.5}, {3.0, 1.0}};
    const std::size_t inputFrames = 4 * kRate;
    ASSERT_TRUE(run.Run(inputFrames));
    ASSERT_FALSE(run.output.empty());
    // Running time (the clock) and stream time (media time) go on from one buffer to the next.
    const GstClockTime frame = GST_SECOND / kRate;
    for (std::size_t i = 1; i < run.output.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(static_cast<double>(run.output[i].running),
                    static_cast<double>(run.output[i - 1].runningEnd), frame);
        EXPECT_NEAR(static_cast<double>(run.output[i].stream),
                    static_cast<double>(run.output[i - 1].streamEnd), frame);
    }
    // About 1 s + 1 s / 0.75 + 1 s / 1.5 + 1 s of sound.
    EXPECT_NEAR(static_cast<double>(run.OutputFrames()) / kRate, 1 + 1 / 0.75 + 1 / 1.5 + 1, 0.03);
    // No click or hole where the speed changes: a 440 Hz tone of amplitude 0.5 moves at most 0.031 a frame.
    const std::vector<float> all = Joined(run.output);
    float steepest = 0;
    for (std::size_t i = 1; i < all.size(); ++i)
        steepest = std::max(steepest, std::fabs(all[i] - all[i - 1]));
    EXPECT_LT(steepest, 0.06f);
}

}  // namespace
}  // namespace ostrelle
