#include "support/test_files.h"
#include "view/main_window_fixture.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

namespace ostrelle {
namespace {

// Also run on X11 (tests/view/CMakeLists.txt), whose line edits bring key bindings of their own.
TEST_F(MainWindowTest, TheDictationLineKeepsItsEditingKeysAndOtherShortcutsStillWork) {
    WriteIni("Fist", "run", "1");
    const QString lesson = MakeFile(QStringLiteral("lesson.mp3"));
    testing::WriteTestFile(dir_.filePath(QStringLiteral("lesson.lrc")),
                           QByteArray("[00:01.00]one two three\n[00:04.00]four five\n"));
    AddRow(lesson, QStringLiteral("0:10"), {QStringLiteral("A00:01.000B00:03.500")});
    player_.duration_ = 10;
    MainWindow& w = Start();
    app_.LoadFirstEntry();
    w.Render();
    QApplication::setActiveWindow(&w);
    QTest::keyClick(w.PlaylistGrid(), Qt::Key_K, Qt::ControlModifier);
    QLineEdit* input = w.DictationInput();
    ASSERT_TRUE(input->isVisible());
    ASSERT_EQ(QApplication::focusWidget(), input);
    ASSERT_TRUE(w.MenuAction(Command::NudgeAEarlier)->isEnabled()) << "the keys would move A from elsewhere";
    const QString a = APoint(), b = BPoint();

    QTest::keyClicks(input, QStringLiteral("one two"));
    QTest::keyClick(input, Qt::Key_Left, Qt::ControlModifier);
    EXPECT_EQ(input->cursorPosition(), 4) << "back to the start of the word";
    for (MenuItem Window::*nudge : {&Window::nudgeALaterItem, &Window::nudgeAMuchEarlierItem,
                                    &Window::nudgeBEarlierItem, &Window::nudgeBMuchLaterItem})
        QTest::keySequence(input, QKeySequence((window().*nudge).shortcut));
    EXPECT_EQ(APoint(), a);
    EXPECT_EQ(BPoint(), b);

    QSignalSpy clearList(w.MenuAction(Command::ClearList), &QAction::triggered);
    QTest::keyClick(input, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(input->selectedText(), QStringLiteral("one two"));
    EXPECT_EQ(clearList.count(), 0);
    EXPECT_TRUE(dialogs_.shown.empty());

    // A review's grade keys are characters here.
    QAction* good = w.MenuAction(Command::GradeGood);
    good->setEnabled(true);
    QSignalSpy graded(good, &QAction::triggered);
    input->clear();
    QTest::keyClicks(input, QStringLiteral("3 x"));
    EXPECT_EQ(input->text(), QStringLiteral("3 x"));
    EXPECT_EQ(graded.count(), 0);

    QSignalSpy playRepeat(w.MenuAction(Command::PlayRepeat), &QAction::triggered);
    QTest::keyClick(input, Qt::Key_F4);
    EXPECT_EQ(playRepeat.count(), 1);
}

}  // namespace
}  // namespace ostrelle
