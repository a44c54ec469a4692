#include "main_window_fixture.h"
#include "support/test_files.h"

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTest>

namespace ostrelle {
namespace {

class ReviewKeysTest : public MainWindowTest {
protected:
    std::vector<HardSentence> Hard() {
        const Result<std::vector<HardSentence>> kept = db_->HardSentences();
        EXPECT_TRUE(kept.ok());
        return kept.ok() ? kept.value() : std::vector<HardSentence>{};
    }
    // A lesson with two sentences marked, loaded as the program starts.
    MainWindow& StartWithLesson(const QString& name) {
        WriteIni("Fist", "run", "1");
        AddRow(MakeFile(name), QStringLiteral("0:10"),
               {QStringLiteral("A00:01.000B00:03.000"), QStringLiteral("A00:03.000B00:05.000")});
        player_.duration_ = 10;
        MainWindow& w = Start();
        app_.LoadFirstEntry();
        w.Render();
        QApplication::setActiveWindow(&w);
        return w;
    }
};

// The learner marks two sentences hard from the list, then reviews them with the keys alone: each is
// heard with its words hidden, shown on Space, graded 1-4, and scheduled by its grade.
TEST_F(ReviewKeysTest, HardSentencesAreMarkedReviewedAndScheduledFromTheKeyboard) {
    testing::WriteTestFile(dir_.filePath(QStringLiteral("第1课 \"早上\".lrc")),
                           QByteArray("[00:01.00]Good morning\n[00:03.00]How are you\n[00:05.00]\n"));
    MainWindow& w = StartWithLesson(QStringLiteral("第1课 \"早上\".mp3"));
    QWidget* grid = w.PlaylistGrid();
    grid->setFocus();

    QTest::keyClick(grid, Qt::Key_H, Qt::ControlModifier);
    QTest::keyClick(grid, Qt::Key_F6);
    QTest::keyClick(grid, Qt::Key_H, Qt::ControlModifier);
    ASSERT_EQ(Hard().size(), 2u);
    EXPECT_EQ(Hard()[0].text, QStringLiteral("Good morning"));
    EXPECT_TRUE(w.MenuAction(Command::ToggleHard)->isChecked());

    QTest::keyClick(grid, Qt::Key_F7);
    ASSERT_TRUE(app_.review().On());
    EXPECT_EQ(state().run, PlayerState::RunPhase::Passing);
    EXPECT_EQ(BPoint(), MarkText(3.0));
    EXPECT_FALSE(w.TextPane()->toPlainText().contains(QStringLiteral("Good morning")));
    QTest::keyClick(grid, Qt::Key_Space);
    EXPECT_TRUE(w.TextPane()->toPlainText().contains(QStringLiteral("Good morning")));

    QTest::keyClick(grid, Qt::Key_3);
    // Good on a new card: its next short step, later today; the second sentence plays, hidden again.
    const HardSentence first = Hard()[0];
    EXPECT_EQ(first.reviews, 1);
    EXPECT_EQ(first.memory.phase, CardPhase::Learning);
    EXPECT_EQ(first.memory.dueMs, nowMs_ + 10 * 60'000);
    EXPECT_EQ(BPoint(), MarkText(5.0));
    EXPECT_FALSE(w.TextPane()->toPlainText().contains(QStringLiteral("How are you")));

    QTest::keyClick(grid, Qt::Key_4);
    // Easy: straight to days.
    EXPECT_EQ(Hard()[1].memory.phase, CardPhase::Review);
    EXPECT_GE(Hard()[1].memory.dueMs, nowMs_ + FsrsScheduler::kDayMs);
    // The first comes round again: its step ends today.
    EXPECT_EQ(BPoint(), MarkText(3.0));
    QTest::keyClick(grid, Qt::Key_F7);
    EXPECT_FALSE(app_.review().On());
    EXPECT_TRUE(w.TextPane()->toPlainText().contains(QStringLiteral("How are you")));
    EXPECT_FALSE(w.MenuAction(Command::GradeGood)->isEnabled());
}

// Deleting a segment takes its review state with it; moving one carries it along.
TEST_F(ReviewKeysTest, ASegmentMovedKeepsItsStateAndOneDeletedLeavesNone) {
    MainWindow& w = StartWithLesson(QStringLiteral("lesson.mp3"));
    QTest::keyClick(&w, Qt::Key_H, Qt::ControlModifier);
    QTest::keyClick(&w, Qt::Key_Right, Qt::AltModifier);
    ASSERT_EQ(Hard().size(), 1u);
    EXPECT_EQ(Hard()[0].bMs, 3010);
    QTest::keyClick(&w, Qt::Key_F11);
    EXPECT_TRUE(Hard().empty());
}

// A line dictated below 80 % goes into the book by itself, with the words it should have been.
TEST_F(ReviewKeysTest, ALineDictatedBadlyBecomesHardByItself) {
    testing::WriteTestFile(dir_.filePath(QStringLiteral("lesson.lrc")),
                           QByteArray("[00:01.00]Good morning\n[00:03.00]How are you\n[00:05.00]\n"));
    MainWindow& w = StartWithLesson(QStringLiteral("lesson.mp3"));
    QTest::keyClick(w.PlaylistGrid(), Qt::Key_K, Qt::ControlModifier);
    QLineEdit* input = w.DictationInput();
    QTest::keyClicks(input, QStringLiteral("Good morning"));
    QTest::keyClick(input, Qt::Key_Return);
    EXPECT_TRUE(Hard().empty());
    QTest::keyClick(input, Qt::Key_F6);
    QTest::keyClicks(input, QStringLiteral("who are"));
    QTest::keyClick(input, Qt::Key_Return);
    ASSERT_EQ(Hard().size(), 1u);
    EXPECT_EQ(Hard()[0].reason, HardSentence::Reason::Dictation);
    EXPECT_EQ(Hard()[0].text, QStringLiteral("How are you"));
    EXPECT_EQ(Hard()[0].aMs, 3000);
}

}  // namespace
}  // namespace ostrelle
