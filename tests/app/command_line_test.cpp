#include "app/command_line.h"
#include "app/chinese_qt_texts.h"
#include "app/single_instance.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>

namespace ostrelle {
namespace {

TEST(ChineseQtTexts, TheFileDialogAndStandardButtonsSpeakChinese) {
    InstallChineseQtTexts();
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QString::fromUtf8("取消"));
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Look in:"), QString::fromUtf8("查找范围："));
    // The type column of the file dialog, which Qt 6's own translations miss.
    EXPECT_EQ(QCoreApplication::translate("QAbstractFileIconProvider", "Folder"),
              QString::fromUtf8("文件夹"));
    EXPECT_EQ(QCoreApplication::translate("QAbstractFileIconProvider", "%1 File"),
              QString::fromUtf8("%1 文件"));
}

TEST(CommandLineTest, FilesAreMadeAbsoluteAndOptionsAnswerAtOnce) {
    const CommandLine files = ParseCommandLine(
        {QStringLiteral("ostrelle"), QString::fromUtf8("课文/第1课.mp3"), QStringLiteral("--"),
         QStringLiteral("--help"), QStringLiteral("file:///m/a%20b.lrc")},
        QStringLiteral("/home/learner"));
    EXPECT_FALSE(files.ExitsAtOnce());
    EXPECT_EQ(files.files,
              (QStringList{QString::fromUtf8("/home/learner/课文/第1课.mp3"),
                           QStringLiteral("/home/learner/--help"), QStringLiteral("/m/a b.lrc")}));

    const CommandLine help = ParseCommandLine({QStringLiteral("ostrelle"), QStringLiteral("--help")}, {});
    EXPECT_TRUE(help.message.contains(QStringLiteral("Usage")));
    EXPECT_EQ(help.exitCode, 0);
    const CommandLine wrong =
        ParseCommandLine({QStringLiteral("ostrelle"), QStringLiteral("--frobnicate")}, {});
    EXPECT_EQ(wrong.exitCode, 2);
}

// The first start serves; a later one, here on a thread of its own, hands its files over and is told
// they were taken.
TEST(SingleInstanceTest, ALaterStartHandsItsFilesToTheFirst) {
    QTemporaryDir runtime;
    const QString database = runtime.filePath(QStringLiteral("quillan.mdb"));
    SingleInstance first(database, runtime.path());
    ASSERT_TRUE(first.First());
    QStringList received;
    ASSERT_TRUE(first.Serve([&](const QStringList& files) { received = files; }));

    const QStringList files = {QString::fromUtf8("/课文/第1课 \"复习\".mp3"), QStringLiteral("/b.lrc")};
    std::atomic<int> handedOver = -1;
    std::unique_ptr<QThread> later(QThread::create([&] {
        SingleInstance second(database, runtime.path());
        handedOver = !second.First() && second.HandOver(files) ? 1 : 0;
    }));
    later->start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return handedOver >= 0 && !received.isEmpty(); }, 10000));
    later->wait();
    EXPECT_EQ(handedOver, 1);
    EXPECT_EQ(received, files);

    SingleInstance elsewhere(runtime.filePath(QStringLiteral("other/quillan.mdb")), runtime.path());
    EXPECT_TRUE(elsewhere.First()) << "another database, another window";
}

// The program itself, started while "it runs" (a test serving its socket), hands over and exits.
TEST(SingleInstanceTest, TheProgramStartedAgainHandsOverAndExits) {
    QTemporaryDir runtime;
    SingleInstance running(QStringLiteral(OSTRELLE_BIN_DIR "/quillan.mdb"), runtime.path());
    ASSERT_TRUE(running.First());
    QStringList received;
    ASSERT_TRUE(running.Serve([&](const QStringList& files) { received = files; }));

    QProcess second;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    second.setProcessEnvironment(environment);
    second.setWorkingDirectory(runtime.path());
    second.start(QStringLiteral(OSTRELLE_BIN_DIR "/ostrelle"), {QStringLiteral("lesson.mp3")});
    const bool ended = QTest::qWaitFor([&] { return second.state() == QProcess::NotRunning; }, 20000);
    if (!ended) {
        second.kill();  // it did not find the running one and opened a window of its own
        second.waitForFinished();
    }
    ASSERT_TRUE(ended);
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !received.isEmpty(); }, 5000));
    EXPECT_EQ(received, QStringList{runtime.filePath(QStringLiteral("lesson.mp3"))});

    QProcess version;
    version.start(QStringLiteral(OSTRELLE_BIN_DIR "/ostrelle"), {QStringLiteral("--version")});
    ASSERT_TRUE(version.waitForFinished(10000));
    EXPECT_TRUE(version.readAllStandardOutput().startsWith("Ostrelle "));
}

}  // namespace
}  // namespace ostrelle
