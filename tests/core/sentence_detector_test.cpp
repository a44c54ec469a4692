#include "core/analysis/sentence_detector.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace ostrelle {
namespace {

constexpr int kRate = 16000;
// The detector works in 10 ms frames and reaches a little into each pause.
constexpr double kTolerance = 0.1;
// An end reaches further into the pause, for the fading consonant that ends a word.
constexpr double kEndTolerance = 0.2;

struct Span {
    double start;
    double end;
};

// Generated audio at kRate: voice-like tones (a vowel's harmonics) where asked, on a floor of hiss.
class Signal {
public:
    explicit Signal(double seconds) : samples_(static_cast<std::size_t>(seconds * kRate), 0.0f) {}

    Signal& Voice(double from, double to, float amplitude = 0.3f) {
        for (auto i = static_cast<std::size_t>(from * kRate); i < To(to); ++i) {
            const double t = static_cast<double>(i) / kRate;
            const double edge = std::min({1.0, (t - from) / 0.01, (to - t) / 0.01});
            double sample = 0;
            for (int k = 1; k <= 5; ++k)
                sample += std::sin(2 * std::numbers::pi * 180 * k * t) / k;
            samples_[i] += static_cast<float>(amplitude * edge * sample * 0.5);
        }
        return *this;
    }

    // Noise from `from` on, falling by dbPerSecond: a room's tail, or a soft consonant when it does not fall.
    Signal& Noise(double from, double to, float amplitude, double dbPerSecond) {
        std::mt19937 random(11);
        std::normal_distribution<float> noise(0, amplitude);
        for (auto i = static_cast<std::size_t>(from * kRate); i < To(to); ++i) {
            const double t = static_cast<double>(i) / kRate - from;
            samples_[i] += noise(random) * static_cast<float>(std::pow(10.0, -dbPerSecond * t / 20));
        }
        return *this;
    }

    Signal& Hiss(float amplitude) {
        std::mt19937 random(7);
        std::normal_distribution<float> noise(0, amplitude);
        for (float& sample : samples_)
            sample += noise(random);
        return *this;
    }

    // Fed in uneven pieces, as a decoder hands them over.
    std::vector<Sentence> Detect() const {
        SentenceDetector detector(kRate);
        for (std::size_t at = 0; at < samples_.size(); at += 1237)
            detector.Feed(samples_.data() + at, std::min<std::size_t>(1237, samples_.size() - at));
        return detector.Finish();
    }

private:
    std::size_t To(double seconds) const {
        return std::min(samples_.size(), static_cast<std::size_t>(seconds * kRate));
    }
    std::vector<float> samples_;
};

void ExpectSentences(const std::vector<Sentence>& found, const std::vector<Span>& expected) {
    ASSERT_EQ(found.size(), expected.size());
    for (std::size_t i = 0; i < found.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(found[i].start, expected[i].start, kTolerance);
        EXPECT_NEAR(found[i].end, expected[i].end, kEndTolerance);
        EXPECT_LE(found[i].start, expected[i].start);  // padded into the pause, not into the voice
        EXPECT_GE(found[i].end, expected[i].end);
    }
}

TEST(SentenceDetectorTest, SentencesBetweenPausesAreFoundInAQuietRoomAndOverHiss) {
    const std::vector<Span> spoken = {{1.0, 2.5}, {3.0, 4.2}, {5.0, 6.5}, {7.3, 9.0}};
    for (const float hiss : {0.0f, 0.003f, 0.02f}) {
        SCOPED_TRACE(hiss);
        Signal signal(10);
        for (const Span& span : spoken)
            signal.Voice(span.start, span.end);
        ExpectSentences(signal.Hiss(hiss).Detect(), spoken);
    }
}

TEST(SentenceDetectorTest, APauseUnderAQuarterSecondStaysInsideTheSentence) {
    ExpectSentences(Signal(4).Voice(0.5, 1.5).Voice(1.7, 3.0).Hiss(0.002f).Detect(), {{0.5, 3.0}});
}

TEST(SentenceDetectorTest, AQuieterSpeakerIsFoundBesideALouderOne) {
    ExpectSentences(Signal(6).Voice(0.5, 2.0, 0.5f).Voice(3.0, 4.5, 0.05f).Hiss(0.002f).Detect(),
                    {{0.5, 2.0}, {3.0, 4.5}});
}

TEST(SentenceDetectorTest, ARoomsDyingTailIsLeftOutButASteadySoftConsonantIsKept) {
    // Each sentence is followed by 0.6 s of noise 10 dB under it: dying away at 40 dB/s, or steady for 0.15
    // s.
    const std::vector<Sentence> found = Signal(8)
                                            .Voice(1.0, 2.5)
                                            .Noise(2.5, 3.1, 0.03f, 40)
                                            .Voice(3.6, 5.0)
                                            .Noise(5.0, 5.15, 0.03f, 0)
                                            .Hiss(0.0005f)
                                            .Detect();
    ASSERT_EQ(found.size(), 2u);
    // The tail's first fifth of a second, still close to the voice, stays, and the end's padding; the rest,
    // down to 3.1 s, not.
    EXPECT_GE(found[0].end, 2.5);
    EXPECT_LT(found[0].end, 2.95);
    EXPECT_NEAR(found[1].end, 5.15, kEndTolerance);
    EXPECT_GE(found[1].end, 5.15);
}

TEST(SentenceDetectorTest, AShortTailOfASmallRoomDoesNotCloseThePauseAfterIt) {
    // A tail 22 dB under the voice that is gone within a tenth of a second, then a quarter second of
    // silence before the next sentence.
    const std::vector<Sentence> found =
        Signal(5).Voice(1.0, 2.5).Noise(2.5, 2.7, 0.01f, 120).Voice(2.88, 4.0).Hiss(0.0005f).Detect();
    ASSERT_EQ(found.size(), 2u);
    EXPECT_LE(found[0].end, 2.75);
    EXPECT_NEAR(found[1].start, 2.88, kTolerance);
}

TEST(SentenceDetectorTest, AWordsFadingFinalConsonantIsKeptInItsSentence) {
    // The release of a final "t": 0.13 s of noise 46 dB under the voice, near the room's hiss, then a pause.
    const std::vector<Sentence> found =
        Signal(5).Voice(1.0, 2.0).Noise(2.0, 2.13, 0.0015f, 0).Voice(3.0, 4.0).Hiss(0.0005f).Detect();
    ASSERT_EQ(found.size(), 2u);
    EXPECT_GE(found[0].end, 2.13);
    EXPECT_LE(found[0].end, 2.5) << "never past the middle of the pause";
}

TEST(SentenceDetectorTest, AShortPieceJoinsItsNearerNeighbourAndALoneClickIsDropped) {
    // A 0.15 s word 0.35 s after a sentence and 0.7 s before the next one; a 50 ms click far from both.
    const std::vector<Sentence> found =
        Signal(12).Voice(1.0, 2.5).Voice(2.85, 3.0).Voice(3.7, 5.0).Voice(8.0, 8.05).Hiss(0.002f).Detect();
    ExpectSentences(found, {{1.0, 3.0}, {3.7, 5.0}});
}

TEST(SentenceDetectorTest, ASentenceOverTwelveSecondsSplitsAtItsDeepestInnerPause) {
    // Syllables of 0.5 s with 0.12 s between them from 1 s to 19 s; after the 15th, which ends at 10.18 s,
    // a gap of 0.22 s.
    Signal signal(20);
    double at = 1.0;
    for (int syllable = 0; at < 19.0; ++syllable) {
        signal.Voice(at, std::min(at + 0.5, 19.0));
        at += 0.5 + (syllable == 14 ? 0.22 : 0.12);
    }
    const std::vector<Sentence> found = signal.Hiss(0.002f).Detect();
    ASSERT_EQ(found.size(), 2u);
    EXPECT_NEAR(found[0].start, 1.0, kTolerance);
    EXPECT_NEAR(found[0].end, 10.18, kEndTolerance);
    EXPECT_NEAR(found[1].start, 10.40, kTolerance);
    EXPECT_NEAR(found[1].end, 19.0, kEndTolerance);
    // The cut stays inside the gap: neither part reaches into the other's voice.
    EXPECT_LE(found[0].end, found[1].start);
}

TEST(SentenceDetectorTest, SilenceAndSteadyHissHoldNoSentence) {
    EXPECT_TRUE(Signal(5).Detect().empty());
    EXPECT_TRUE(Signal(5).Hiss(0.05f).Detect().empty());
    EXPECT_TRUE(SentenceDetector(kRate).Finish().empty());
}

}  // namespace
}  // namespace ostrelle
