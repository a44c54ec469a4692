#include "support/test_files.h"

#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace ostrelle {
namespace {

testing::ToolRun RunTool(const QStringList& arguments) {
    return testing::RunTool(QStringLiteral(OSTRELLE_SENTENCES_TOOL), arguments, 20000);
}

const QString kAudio = QStringLiteral(OSTRELLE_REAL_FIXTURES "/audio/");

TEST(SentencesToolTest, PrintsStartAndEndOfEachSentenceInSeconds) {
    const QString lesson = kAudio + QStringLiteral("speech_de-DE_we-are-at-school-x2.mp3");
    if (!QFile::exists(lesson)) GTEST_SKIP() << "real fixtures not available";
    const testing::ToolRun run = RunTool({lesson});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
    const QStringList lines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << run.out.toStdString();
    const QRegularExpression line(QStringLiteral("^(\\d+\\.\\d{3})\\t(\\d+\\.\\d{3})$"));
    double previousEnd = 0;
    for (const QString& text : lines) {
        const QRegularExpressionMatch match = line.match(text);
        ASSERT_TRUE(match.hasMatch()) << text.toStdString();
        EXPECT_LE(previousEnd, match.captured(1).toDouble());
        EXPECT_LT(match.captured(1).toDouble(), match.captured(2).toDouble());
        previousEnd = match.captured(2).toDouble();
    }
}

TEST(SentencesToolTest, AFileItCannotReadFailsWithAMessage) {
    for (const QString& path : {QStringLiteral("/no/such/lesson.mp3"),
                                kAudio + QStringLiteral("corrupt_truncated-inside-id3v2-tag_no-audio.mp3")}) {
        const testing::ToolRun run = RunTool({path});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_TRUE(run.err.startsWith(QStringLiteral("ostrelle-sentences: %1: ").arg(path)))
            << run.err.toStdString();
    }
    EXPECT_EQ(RunTool({}).exitCode, 2);
}

}  // namespace
}  // namespace ostrelle
