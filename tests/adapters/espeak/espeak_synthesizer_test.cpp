#include "adapters/espeak/espeak_synthesizer.h"
#include "core/analysis/sentence_detector.h"
#include "core/analysis/text_alignment.h"
#include "core/analysis/text_sentences.h"

#include <gtest/gtest.h>

#include <thread>

namespace ostrelle {
namespace {

// The spoken seconds of samples, as the sentence detector hears them.
double SpokenSeconds(const std::vector<float>& samples) {
    SentenceDetector detector(SpeechSynthesizer::kSampleRate);
    detector.Feed(samples.data(), samples.size());
    double spoken = 0;
    for (const Sentence& sentence : detector.Finish())
        spoken += sentence.end - sentence.start;
    return spoken;
}

SpeechFeatures::Track Track(const std::vector<float>& samples) {
    SpeechFeatures features;
    features.Feed(samples.data(), samples.size());
    return features.Taken();
}

// Each sentence as the aligner compares it: in espeak-ng's English voice.
std::vector<SpeechFeatures::Track> Synthesised(EspeakSynthesizer& synthesizer,
                                               const std::vector<TextSentence>& sentences) {
    std::vector<SpeechFeatures::Track> tracks;
    for (const TextSentence& sentence : sentences)
        tracks.push_back(Track(synthesizer.Speak(sentence.text, QStringLiteral("en")).value()));
    return tracks;
}

TEST(EspeakSynthesizerTest, EachLanguageIsSpokenAtSixteenKilohertzAndLongerTextTakesLonger) {
    EspeakSynthesizer synthesizer;
    const struct {
        const char* voice;
        const char* text;
    } sentences[] = {{"en", "The museum opens at nine in the morning."},
                     {"de", "Das Museum öffnet um neun Uhr morgens."},
                     {"fr", "Le musée ouvre à neuf heures du matin."},
                     {"es", "El museo abre a las nueve de la mañana."},
                     {"ru", "Музей открывается в девять часов утра."},
                     {"ja", "博物館は朝九時に開きます。"},
                     {"cmn", "博物馆早上九点开门。"}};
    for (const auto& s : sentences) {
        const Result<std::vector<float>> spoken =
            synthesizer.Speak(QString::fromUtf8(s.text), QString::fromLatin1(s.voice));
        ASSERT_TRUE(spoken.ok()) << s.voice << ": " << FailureMessage(spoken.failure()).toStdString();
        const double seconds = static_cast<double>(spoken.value().size()) / SpeechSynthesizer::kSampleRate;
        EXPECT_GT(seconds, 1.0) << s.voice;
        EXPECT_LT(seconds, 8.0) << s.voice;
        EXPECT_GT(SpokenSeconds(spoken.value()), 0.8) << s.voice << ": it holds speech, not silence";
    }
    const Result<std::vector<float>> shorter =
        synthesizer.Speak(QStringLiteral("Nine."), QStringLiteral("en"));
    ASSERT_TRUE(shorter.ok());
    EXPECT_LT(shorter.value().size(),
              synthesizer.Speak(QString::fromUtf8(sentences[0].text), QStringLiteral("en")).value().size());
}

TEST(EspeakSynthesizerTest, AnUnknownVoiceFailsAndTheNextCallStillSpeaks) {
    EspeakSynthesizer synthesizer;
    EXPECT_FALSE(synthesizer.Speak(QStringLiteral("Hello."), QStringLiteral("no-such-voice")).ok());
    // Calls from two threads at once take turns on espeak-ng's one state.
    std::vector<float> first, second;
    std::thread other(
        [&] { first = synthesizer.Speak(QStringLiteral("Good morning."), QStringLiteral("en")).value(); });
    second = synthesizer.Speak(QStringLiteral("Good morning."), QStringLiteral("en")).value();
    other.join();
    ASSERT_FALSE(first.empty());
    // Interleaved, the two would be cut into each other and differ in length.
    EXPECT_NEAR(static_cast<double>(first.size()), static_cast<double>(second.size()),
                0.02 * static_cast<double>(second.size()));
}

TEST(TextAlignmentTest, ATextsSentencesArePlacedWhereAnotherVoiceSpeaksThemAndATitleNobodyReadsIsNot) {
    EspeakSynthesizer synthesizer;
    const QString text = QStringLiteral(
        "Museum visit\n\nThe museum opens at nine in the morning. Tickets are sold at the door. Children "
        "under twelve enter for free.\nPlease leave your bags in the cloakroom. We hope you enjoy your "
        "visit.");
    const std::vector<TextSentence> sentences = SplitTextSentences(text);
    ASSERT_EQ(sentences.size(), 6u);
    // The lesson: another accent reads every sentence but the title, with pauses of its own.
    std::vector<float> lesson;
    std::vector<std::pair<double, double>> truth;
    const double pauses[] = {0.6, 0.4, 0.9, 0.5, 0.7};
    for (std::size_t i = 1; i < sentences.size(); ++i) {
        lesson.insert(lesson.end(), static_cast<std::size_t>(pauses[i - 1] * SpeechSynthesizer::kSampleRate),
                      0.0f);
        const std::vector<float> spoken =
            synthesizer.Speak(sentences[i].text, QStringLiteral("en-us")).value();
        const double start = static_cast<double>(lesson.size()) / SpeechSynthesizer::kSampleRate;
        lesson.insert(lesson.end(), spoken.begin(), spoken.end());
        truth.emplace_back(start, static_cast<double>(lesson.size()) / SpeechSynthesizer::kSampleRate);
    }
    lesson.insert(lesson.end(), SpeechSynthesizer::kSampleRate / 2, 0.0f);
    const SpeechFeatures::Track lessonTrack = Track(lesson);
    const std::vector<SpeechFeatures::Track> templates = Synthesised(synthesizer, sentences);
    const auto placed = AlignSentences(lessonTrack, templates);
    ASSERT_EQ(placed.size(), sentences.size());
    EXPECT_FALSE(placed[0]) << "the title is not spoken";
    for (std::size_t i = 1; i < sentences.size(); ++i) {
        ASSERT_TRUE(placed[i]) << i;
        EXPECT_NEAR(placed[i]->start, truth[i - 1].first, 0.1) << i;
        EXPECT_NEAR(placed[i]->end, truth[i - 1].second, 0.1) << i;
    }

    // A text of two of the lesson's sentences only, its first two or two in its middle: they are placed
    // where they are spoken.
    for (const std::size_t first : {std::size_t{1}, std::size_t{3}}) {
        const std::vector<SpeechFeatures::Track> two(
            templates.begin() + static_cast<std::ptrdiff_t>(first),
            templates.begin() + static_cast<std::ptrdiff_t>(first + 2));
        const auto part = AlignSentences(lessonTrack, two);
        for (std::size_t i = 0; i < 2; ++i) {
            ASSERT_TRUE(part[i]) << first << ' ' << i;
            EXPECT_NEAR(part[i]->start, truth[first - 1 + i].first, 0.1) << first << ' ' << i;
            EXPECT_NEAR(part[i]->end, truth[first - 1 + i].second, 0.1) << first << ' ' << i;
        }
    }
}

TEST(TextAlignmentTest, ASentenceWithALongPauseInsideIsPlacedWholeAndSpeechTheTextLacksTakesNoSentence) {
    EspeakSynthesizer synthesizer;
    const std::vector<TextSentence> sentences = SplitTextSentences(QStringLiteral(
        "The museum opens at nine in the morning. Tickets are sold at the door. Children under twelve, "
        "and their parents, enter for free. Please leave your bags in the cloakroom. We hope you enjoy "
        "your visit."));
    ASSERT_EQ(sentences.size(), 5u);
    // Another accent reads them; the third with a long pause at its comma, and a sentence the text does
    // not have before the last.
    std::vector<float> lesson;
    std::vector<std::pair<double, double>> truth;
    const auto say = [&](const QString& words, double pauseBefore) {
        lesson.insert(lesson.end(), static_cast<std::size_t>(pauseBefore * SpeechSynthesizer::kSampleRate),
                      0.0f);
        const std::vector<float> spoken = synthesizer.Speak(words, QStringLiteral("en-us")).value();
        lesson.insert(lesson.end(), spoken.begin(), spoken.end());
    };
    const auto seconds = [&] { return static_cast<double>(lesson.size()) / SpeechSynthesizer::kSampleRate; };
    for (std::size_t i = 0; i < sentences.size(); ++i) {
        if (i == 4) say(QStringLiteral("We wish you a pleasant stay in our city."), 0.5);
        const double start = seconds() + 0.5;
        if (i == 2) {
            say(QStringLiteral("Children under twelve,"), 0.5);
            say(QStringLiteral("and their parents, enter for free."), 1.4);
        } else {
            say(sentences[i].text, 0.5);
        }
        truth.emplace_back(start, seconds());
    }
    lesson.insert(lesson.end(), SpeechSynthesizer::kSampleRate / 2, 0.0f);
    const auto placed = AlignSentences(Track(lesson), Synthesised(synthesizer, sentences));
    for (std::size_t i = 0; i < sentences.size(); ++i) {
        ASSERT_TRUE(placed[i]) << i;
        EXPECT_NEAR(placed[i]->start, truth[i].first, 0.15) << i;
        EXPECT_NEAR(placed[i]->end, truth[i].second, 0.15) << i;
    }
}

}  // namespace
}  // namespace ostrelle
