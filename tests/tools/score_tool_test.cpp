#include "support/test_files.h"

#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace ostrelle {
namespace {

testing::ToolRun RunTool(const QStringList& arguments) {
    return testing::RunTool(QStringLiteral(OSTRELLE_SCORE_TOOL), arguments, 20000);
}

const QString kAudio = QStringLiteral(OSTRELLE_REAL_FIXTURES "/audio/");

TEST(ScoreToolTest, PrintsTheThreeScoresThenTheFlagsAndATakeOfAnotherSentenceScoresLower) {
    const QString school = kAudio + QStringLiteral("speech_de-DE_we-are-at-school-x2.mp3");
    const QString water = kAudio + QStringLiteral("speech_en-US_little-bottle-of-water.mp3");
    if (!QFile::exists(school) || !QFile::exists(water)) GTEST_SKIP() << "real fixtures not available";
    const QRegularExpression scores(QStringLiteral("^content=(\\d+) timing=(\\d+) intonation=(\\d+)$"));
    const QRegularExpression flag(QStringLiteral("^flag\\t(\\d+\\.\\d{3})\\t(\\d+\\.\\d{3})$"));
    int content[2] = {};
    for (int i = 0; i < 2; ++i) {
        const testing::ToolRun run = RunTool({school, i == 0 ? school : water});
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        const QStringList lines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        ASSERT_FALSE(lines.isEmpty());
        const QRegularExpressionMatch match = scores.match(lines[0]);
        ASSERT_TRUE(match.hasMatch()) << lines[0].toStdString();
        content[i] = match.captured(1).toInt();
        EXPECT_LE(lines.size(), 4);
        for (qsizetype k = 1; k < lines.size(); ++k) {
            const QRegularExpressionMatch span = flag.match(lines[k]);
            ASSERT_TRUE(span.hasMatch()) << lines[k].toStdString();
            EXPECT_LT(span.captured(1).toDouble(), span.captured(2).toDouble());
        }
    }
    EXPECT_EQ(content[0], 100) << "a take that is the original itself";
    EXPECT_LT(content[1], 50);
}

TEST(ScoreToolTest, AFileItCannotReadFailsWithAMessage) {
    const testing::ToolRun run =
        RunTool({QStringLiteral("/no/such/lesson.mp3"), QStringLiteral("/no/take.wav")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_TRUE(run.err.startsWith(QStringLiteral("ostrelle-score: /no/such/lesson.mp3: ")))
        << run.err.toStdString();
    EXPECT_EQ(RunTool({QStringLiteral("one.wav")}).exitCode, 2);
}

}  // namespace
}  // namespace ostrelle
