#include "adapters/gst/gst_sentence_analyzer.h"
#include "support/generated_audio.h"
#include "support/test_files.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

namespace ostrelle {
namespace {

// Generous: the machine may be loaded; every wait ends as soon as its condition holds.
constexpr int kDeadlineMs = 30000;
const QString kAudio = QStringLiteral(OSTRELLE_REAL_FIXTURES "/audio/");
// The sentence said twice; an independent tool (silencedetect at -35 dB, 0.25 s) found the speech here.
const std::vector<Sentence> kSpokenTwice = {{0.825, 2.417}, {3.541, 5.108}};
constexpr double kTolerance = 0.15;
// An end reaches further into the pause, for the fading consonant that ends a word.
constexpr double kEndTolerance = 0.25;

class GstSentenceAnalyzerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        // A name with Chinese, quotes and spaces, as lessons have.
        german_ = dir_.filePath(QString::fromUtf8("第一课 \"学校\" it's.mp3"));
        const QString lesson = kAudio + QStringLiteral("speech_de-DE_we-are-at-school-x2.mp3");
        if (!QFile::exists(lesson)) GTEST_SKIP() << "real fixtures not available";
        ASSERT_TRUE(QFile::copy(lesson, german_));
        analyzer_.SetUpdateHandler([this] {
            paths_.push_back(analyzer_.Path());
            progress_.push_back(analyzer_.Progress());
        });
    }

    void Run(const QString& path, double fromSeconds = 0) {
        analyzer_.Analyze(path, fromSeconds);
        EXPECT_TRUE(analyzer_.Running());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !analyzer_.Running(); }, kDeadlineMs));
    }

    static void ExpectSentences(const std::vector<Sentence>& found, const std::vector<Sentence>& expected) {
        ASSERT_EQ(found.size(), expected.size());
        for (std::size_t i = 0; i < found.size(); ++i) {
            EXPECT_NEAR(found[i].start, expected[i].start, kTolerance) << i;
            EXPECT_NEAR(found[i].end, expected[i].end, kEndTolerance) << i;
        }
    }

    QTemporaryDir dir_;
    QString german_;
    GstSentenceAnalyzer analyzer_;
    std::vector<QString> paths_;
    std::vector<double> progress_;
};

TEST_F(GstSentenceAnalyzerTest, TheSentencesOfRealSpeechAreWhereSilenceDetectionPutsThem) {
    Run(german_);
    EXPECT_FALSE(analyzer_.Problem()) << FailureMessage(*analyzer_.Problem()).toStdString();
    ExpectSentences(analyzer_.Result(), kSpokenTwice);
    ASSERT_FALSE(progress_.empty());
    EXPECT_EQ(progress_.back(), 1.0);
    EXPECT_TRUE(std::is_sorted(progress_.begin(), progress_.end()));

    // One short sentence with no pause in it at all.
    Run(kAudio + QStringLiteral("speech_en-US_little-bottle-of-water.mp3"));
    ASSERT_EQ(analyzer_.Result().size(), 1u);
    EXPECT_LT(analyzer_.Result()[0].start, 0.2);
    EXPECT_GT(analyzer_.Result()[0].end, 1.0);
}

TEST_F(GstSentenceAnalyzerTest, AnAnalysisFromAPositionGivesTimesOfTheFile) {
    Run(german_, 3.0);
    ExpectSentences(analyzer_.Result(), {kSpokenTwice[1]});
}

TEST_F(GstSentenceAnalyzerTest, AFileThatGivesNoAudioEndsWithAProblemForTheLearner) {
    const QString text = testing::WriteTestFile(dir_.filePath(QStringLiteral("notes.mp3")), "not audio\n");
    const struct {
        QString path;
        FailureCode problem;
    } cases[] = {
        {dir_.filePath(QStringLiteral("gone.mp3")), FailureCode::Missing},
        {kAudio + QStringLiteral("corrupt_truncated-inside-id3v2-tag_no-audio.mp3"), FailureCode::NotAudio},
        {text, FailureCode::NotAudio},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        Run(c.path);
        ASSERT_TRUE(analyzer_.Problem());
        EXPECT_EQ(analyzer_.Problem()->code, c.problem);
        EXPECT_TRUE(analyzer_.Result().empty());
        EXPECT_EQ(paths_.back(), c.path);
    }
}

TEST_F(GstSentenceAnalyzerTest, ACancelledOrReplacedAnalysisIsNeverHeardFromAgain) {
    const QString longFile = dir_.filePath(QStringLiteral("long.wav"));
    ASSERT_EQ(testing::WriteTone(900, 8000, 1, QStringLiteral("wavenc"), longFile), QString());

    analyzer_.Analyze(longFile, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !progress_.empty(); }, kDeadlineMs));
    EXPECT_LT(analyzer_.Progress(), 1.0);
    analyzer_.Cancel();
    EXPECT_FALSE(analyzer_.Running());
    EXPECT_TRUE(analyzer_.Path().isEmpty());

    // Started again and replaced at once by another file: only the other file is heard from.
    paths_.clear();
    analyzer_.Analyze(longFile, 0);
    Run(german_);
    ExpectSentences(analyzer_.Result(), kSpokenTwice);
    EXPECT_EQ(std::count(paths_.begin(), paths_.end(), german_), static_cast<long>(paths_.size()));

    // Destroyed while it works: the thread is stopped and waited for.
    {
        GstSentenceAnalyzer doomed;
        doomed.Analyze(longFile, 0);
    }
}

}  // namespace
}  // namespace ostrelle
