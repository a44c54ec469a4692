#include "core/analysis/take_score.h"
#include "adapters/espeak/espeak_synthesizer.h"
#include "core/analysis/pitch_tracker.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace ostrelle {
namespace {

constexpr int kRate = SpeechSynthesizer::kSampleRate;
const QString kSentence = QStringLiteral("My brother bought a new bicycle for his long trip to the sea.");

// Speech as a microphone gives it: quiet around it, a faint hiss.
std::vector<float> Recorded(std::vector<float> speech, float gain = 1.0f) {
    std::vector<float> take(kRate / 4, 0.0f);
    for (float& s : speech)
        s *= gain;
    take.insert(take.end(), speech.begin(), speech.end());
    take.resize(take.size() + kRate / 2, 0.0f);
    unsigned state = 12345;
    for (float& s : take) {
        state = state * 1664525u + 1013904223u;
        s += (static_cast<float>(state >> 8) / 16777216.0f - 0.5f) * 0.002f;
    }
    return take;
}

TEST(PitchTrackerTest, AVoicesPitchIsFoundAndAGlideUpAnOctaveRisesTwelveSemitones) {
    std::vector<float> samples(kRate, 0.0f);
    double phase = 0;
    for (int i = 0; i < kRate; ++i) {
        const double hz = 150.0 * std::pow(2.0, static_cast<double>(i) / kRate);  // 150 to 300 Hz
        phase += 2 * std::numbers::pi * hz / kRate;
        for (int k = 1; k <= 4; ++k)
            samples[i] += static_cast<float>(0.2 * std::sin(k * phase) / k);
    }
    const std::vector<float> pitch = TrackPitch(samples);
    ASSERT_GT(pitch.size(), 90u);
    EXPECT_NEAR(pitch[10], 150 * std::pow(2.0, 0.1), 3);
    EXPECT_NEAR(pitch[80], 150 * std::pow(2.0, 0.8), 5);
    std::vector<bool> voiced;
    const std::vector<float> semitones = Semitones(pitch, voiced);
    EXPECT_TRUE(voiced[10]);
    EXPECT_NEAR(semitones[80] - semitones[10], 12 * 0.7, 0.3);
    EXPECT_TRUE(TrackPitch(std::vector<float>(kRate / 2, 0.0f)) == std::vector<float>(50, 0.0f));
}

TEST(TakeScoreTest, TheSameSentenceByAnotherVoiceScoresOverAnotherSentenceAndAWordLeftOutIsFlagged) {
    EspeakSynthesizer synthesizer;
    const EspeakSynthesizer::Words original = synthesizer.SpeakWords(kSentence, QStringLiteral("en")).value();
    const std::vector<float> lesson = Recorded(original.samples);
    const auto take = [&](const QString& text) {
        return ScoreTake(lesson, Recorded(synthesizer.Speak(text, QStringLiteral("en-us+female2")).value()));
    };
    const TakeScore same = take(kSentence);
    const TakeScore other =
        take(QStringLiteral("The weather was cold, so we stayed inside and played cards."));
    const TakeScore dropped =
        take(QStringLiteral("My brother bought a new bicycle for his trip to the sea."));
    ASSERT_FALSE(same.problem);
    EXPECT_GE(same.content, 70);
    EXPECT_LE(other.content, 40);
    EXPECT_LT(dropped.content, same.content);
    EXPECT_GE(same.intonation, 60);
    // "long" is the ninth word; the worst stretch is where it was left out.
    ASSERT_FALSE(dropped.flags.empty());
    const double lead = 0.25;
    EXPECT_LT(dropped.flags[0].start, lead + original.starts[9]);
    EXPECT_GT(dropped.flags[0].end, lead + original.starts[8]);
    // The pitch lines run along the original, the take's aligned to it.
    ASSERT_FALSE(same.pitch.empty());
    EXPECT_NEAR(same.pitch.front().at, lead, 0.1);
    EXPECT_GT(std::count_if(same.pitch.begin(), same.pitch.end(),
                            [](const PitchPair& p) { return p.original && p.take; }),
              static_cast<long>(same.pitch.size() / 3));
}

TEST(TakeScoreTest, ASilentACutOffOrANoisyTakeIsToldSoInsteadOfScored) {
    EspeakSynthesizer synthesizer;
    const std::vector<float> speech = synthesizer.Speak(kSentence, QStringLiteral("en")).value();
    const std::vector<float> lesson = Recorded(speech);
    EXPECT_EQ(ScoreTake(lesson, std::vector<float>(kRate * 3, 0.0f)).problem, TakeProblem::Silent);
    EXPECT_EQ(ScoreTake(lesson, Recorded(speech, 0.001f)).problem, TakeProblem::Silent);
    std::vector<float> loud = Recorded(speech, 30.0f);
    for (float& s : loud)
        s = std::clamp(s, -1.0f, 1.0f);
    EXPECT_EQ(ScoreTake(lesson, loud).problem, TakeProblem::Clipped);
    std::vector<float> noisy = Recorded(speech, 0.1f);
    unsigned state = 99;
    for (float& s : noisy) {
        state = state * 1664525u + 1013904223u;
        s += (static_cast<float>(state >> 8) / 16777216.0f - 0.5f) * 0.3f;
    }
    EXPECT_EQ(ScoreTake(lesson, noisy).problem, TakeProblem::Noisy);
    EXPECT_STREQ(TakeProblemMessage(TakeProblem::Clipped), "录音太响，请离麦克风远一点");
}

}  // namespace
}  // namespace ostrelle
