#include "app/program.h"
#include "core/formats/settings_file.h"
#include "core/formats/time_values.h"
#include "core/operations/segment_display.h"
#include "support/generated_audio.h"
#include "support/scripted_dialogs.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace ostrelle {
namespace {

// Runs the event loop until condition holds or the deadline passes; real audio takes real time.
template <typename Condition>
bool WaitFor(Condition condition, int ms = 15000) {
    QDeadlineTimer deadline(ms);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// The program as it runs: a real player (silent), the real probe and database, the real window.
struct RunningProgram {
    explicit RunningProgram(const QString& folder)
        : program({folder, folder}, dialogs, {AudioOutput::kSilentRealTime, QString(), QString()}) {
        program.Start();
    }

    ScriptedDialogs dialogs;
    Program program;
    Controller& app = program.app();
    MainWindow* window = &program.window();
    MediaPlayer& player = program.player();
};

TEST(EndToEnd, AMarkedSegmentRepeatsAndIsThereAfterARestart) {
    QTemporaryDir dir;
    const QString lesson = dir.filePath(QString::fromUtf8("第一课.mp3"));
    ASSERT_EQ(testing::WriteTone(QStringLiteral("lamemp3enc ! xingmux"), 8.0, lesson), QString());
    ASSERT_TRUE(WriteIniValue(QStringLiteral("Fist"), QStringLiteral("run"), QStringLiteral("1"),
                              dir.filePath(QStringLiteral("OSTRELLE.ini")))
                    .ok());
    ABPair marked;
    {
        auto program = std::make_unique<RunningProgram>(dir.path());
        Controller& app = program->app;
        MainWindow& window = *program->window;
        // The lesson joins the list when it is opened once.
        app.documents().OpenChosenFile(lesson, QString::fromUtf8("第一课.mp3"));
        window.Render();
        ASSERT_TRUE(WaitFor([&] { return !app.window().playlistGrid.CellText(1, kPathColumn).isEmpty(); }));
        EXPECT_EQ(app.window().playlistGrid.CellText(1, kDurationColumn), QStringLiteral("0:08"));

        // Double-clicking the row plays it.
        program->player.Stop();
        QTableView* grid = window.PlaylistGrid();
        const QRect cell = grid->visualRect(grid->model()->index(1, 2));
        // A double-click follows the click of its first press.
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
        ASSERT_TRUE(WaitFor([&] { return program->player.CurrentPosition() >= 1.2; }));

        QApplication::setActiveWindow(&window);
        QTest::keyClick(&window, Qt::Key_F2);
        // Marks take the player's place to the millisecond.
        EXPECT_GE(app.state().pendingA->Seconds(), 1.2);
        ASSERT_TRUE(WaitFor([&] { return program->player.CurrentPosition() >= 3.2; }));
        QTest::keyClick(&window, Qt::Key_F3);
        ASSERT_TRUE(app.state().RepeatedSegment());
        marked = *app.state().RepeatedSegment();
        EXPECT_GE(marked.b.Seconds(), 3.2);
        EXPECT_EQ(app.window().segmentCountLabel.caption, QStringLiteral("1"));

        // F4 repeats it once (the stored settings say 1 pass) and waits at A.
        QTest::keyClick(&window, Qt::Key_F4);
        EXPECT_EQ(window.CommandButton(Command::PlayRepeat)->text(), QString::fromUtf8("停止"));
        ASSERT_TRUE(WaitFor(
            [&] { return window.CommandButton(Command::PlayRepeat)->text() == QString::fromUtf8("播放"); }));
        EXPECT_EQ(program->player.PlayState(), kPlayStatePaused);
        EXPECT_NEAR(program->player.CurrentPosition(), marked.a.Seconds(), 0.05);
    }
    // A new start loads row 1 with its stored segment.
    RunningProgram again(dir.path());
    ASSERT_TRUE(WaitFor([&] { return again.app.state().currentAudioPath == lesson; }));
    ASSERT_EQ(again.app.state().abList.size(), 1u);
    EXPECT_EQ(again.app.state().abList[0], marked);
    EXPECT_EQ(again.app.window().segmentRangeLabel.caption, RangeText(marked));
    EXPECT_EQ(again.player.Url(), lesson);
}

}  // namespace
}  // namespace ostrelle
