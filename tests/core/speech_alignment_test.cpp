#include "core/analysis/frame_alignment.h"
#include "core/analysis/speech_features.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

namespace ostrelle {
namespace {

// A hiss shaped like a voice: white noise through a resonance at hz.
std::vector<float> Voiced(double hz, double seconds, float amplitude) {
    std::mt19937 random(3);
    std::normal_distribution<float> noise(0, 1);
    std::vector<float> samples(static_cast<std::size_t>(seconds * SpeechFeatures::kSampleRate));
    const double r = 0.98, theta = 2 * std::numbers::pi * hz / SpeechFeatures::kSampleRate;
    double y1 = 0, y2 = 0;
    for (float& sample : samples) {
        const double y = noise(random) + 2 * r * std::cos(theta) * y1 - r * r * y2;
        y2 = y1;
        y1 = y;
        sample = amplitude * static_cast<float>(y) * 0.05f;
    }
    return samples;
}

std::vector<SpeechFeatures::Frame> FeaturesOf(const std::vector<float>& samples, std::size_t piece = 997) {
    SpeechFeatures features;
    for (std::size_t at = 0; at < samples.size(); at += piece)
        features.Feed(samples.data() + at, std::min(piece, samples.size() - at));
    return features.Frames();
}

TEST(SpeechFeaturesTest, AFrameEvery10MsAndLoudnessChangesNothingButWhatIsLeftOut) {
    const std::vector<SpeechFeatures::Frame> quiet = FeaturesOf(Voiced(500, 1.0, 0.05f));
    EXPECT_EQ(quiet.size(), static_cast<std::size_t>((16000 - 400) / 160 + 1));
    const std::vector<SpeechFeatures::Frame> loud = FeaturesOf(Voiced(500, 1.0, 0.5f), 160);
    ASSERT_EQ(loud.size(), quiet.size());
    for (std::size_t f = 0; f < loud.size(); f += 17)
        for (int c = 0; c < SpeechFeatures::kCoefficients; ++c)
            EXPECT_NEAR(loud[f][c], quiet[f][c], 1e-2) << f << ' ' << c;
    // Another sound is told apart.
    const std::vector<SpeechFeatures::Frame> other = FeaturesOf(Voiced(2500, 1.0, 0.05f));
    double apart = 0;
    for (int c = 0; c < SpeechFeatures::kCoefficients; ++c)
        apart += std::abs(other[50][c] - quiet[50][c]);
    EXPECT_GT(apart, 10);
}

TEST(FrameAlignmentTest, PartsSpokenSlowerOrFasterPairWithThemselvesAndOneLeftOutIsPassedOver) {
    SpeechFeatures::Frame x0{}, x1{}, x2{};
    x1[0] = 5;
    x2[1] = 5;
    const auto sequence = [](std::initializer_list<std::pair<SpeechFeatures::Frame, int>> parts) {
        std::vector<SpeechFeatures::Frame> frames;
        for (const auto& [frame, count] : parts)
            frames.insert(frames.end(), count, frame);
        return frames;
    };
    const auto a = sequence({{x0, 5}, {x1, 10}, {x2, 5}});
    const auto b = sequence({{x0, 10}, {x1, 5}, {x2, 10}});
    const std::vector<int> paired = AlignFrames(a, b, 8);
    ASSERT_EQ(paired.size(), a.size());
    EXPECT_EQ(paired.front(), 0);
    EXPECT_EQ(paired.back(), 24);
    for (int i = 0; i < 20; ++i) {
        const int part = i < 5 ? 0 : i < 15 ? 1 : 2;
        const int from = part == 0 ? 0 : part == 1 ? 10 : 15;
        const int to = part == 0 ? 9 : part == 1 ? 14 : 24;
        EXPECT_GE(paired[i], from) << i;
        EXPECT_LE(paired[i], to) << i;
        if (i > 0) {
            EXPECT_GE(paired[i], paired[i - 1]) << "in order";
        }
    }
    EXPECT_TRUE(AlignFrames({}, b, 8).empty());

    // a says x1 then x2 between pauses; b leaves x1 out and says x3 a says nothing of. The warp passes over
    // x1, x2 pairs with itself, and x3 is taken by the pause, not by x2.
    SpeechFeatures::Frame x3{};
    x3[2] = 5;
    const auto said = sequence({{x0, 4}, {x1, 6}, {x0, 4}, {x2, 6}, {x0, 4}});
    const auto heard = sequence({{x0, 6}, {x2, 6}, {x0, 2}, {x3, 8}, {x0, 4}});
    const PartWarp warp = AlignParts(said, heard, StraightWindows(24, 26, 30), {{4, 9}, {14, 19}},
                                     {.skipCost = 2, .gapCost = 3, .bendCost = 1, .edgeGapCost = 3});
    EXPECT_EQ(warp.skipped, (std::vector<bool>{true, false}));
    for (int i = 14; i < 20; ++i) {
        EXPECT_GE(warp.paired[i], 6) << i;
        EXPECT_LE(warp.paired[i], 11) << i;
    }
    // Without the pass-over, x1 takes lesson frames of its own.
    const std::vector<int> forced = AlignFrames(said, heard, 30);
    EXPECT_NE(forced[9], forced[4]);
}

}  // namespace
}  // namespace ostrelle
