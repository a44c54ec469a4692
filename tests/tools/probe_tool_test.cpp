#include "support/generated_audio.h"
#include "support/test_files.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace ostrelle {
namespace {

testing::ToolRun RunTool(const QStringList& arguments) {
    return testing::RunTool(QStringLiteral(OSTRELLE_PROBE_TOOL), arguments, 20000);
}

class ProbeToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(testing::WriteTone(3.0, 8000, 1, QStringLiteral("wavenc"), shortWav_), QString());
        // Half a second rounds to the even whole second, as in the list.
        ASSERT_EQ(testing::WriteTone(62.5, 8000, 1, QStringLiteral("wavenc"), longWav_), QString());
    }

    QTemporaryDir dir_;
    QString shortWav_ = dir_.filePath(QStringLiteral("short.wav"));
    QString longWav_ = dir_.filePath(QStringLiteral("long lesson.wav"));
};

TEST_F(ProbeToolTest, PrintsTimeTextSecondsAndPathPerFileAndReportsAnUnreadableOne) {
    const QString text = dir_.filePath(QStringLiteral("notes.mp3"));
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not audio\n");
    file.close();

    const testing::ToolRun run = RunTool({shortWav_, text, longWav_});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, QStringLiteral("0:03\t3.000\t%1\n1:02\t62.500\t%2\n").arg(shortWav_, longWav_));
    EXPECT_TRUE(run.err.startsWith(QStringLiteral("ostrelle-probe: %1: ").arg(text)))
        << run.err.toStdString();
    EXPECT_EQ(run.err.count(QLatin1Char('\n')), 1);
}

TEST_F(ProbeToolTest, ExitsWithZeroWhenEveryFileIsMeasured) {
    const testing::ToolRun run = RunTool({longWav_, shortWav_});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out.count(QLatin1Char('\n')), 2);
    EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
}

TEST(ProbeToolUsageTest, WithoutFilesItPrintsUsageAndFails) {
    const testing::ToolRun run = RunTool({});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_TRUE(run.err.startsWith(QStringLiteral("usage: ostrelle-probe"))) << run.err.toStdString();
}

}  // namespace
}  // namespace ostrelle
