#include "support/test_files.h"
#include "view/main_window_fixture.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

namespace ostrelle {
namespace {

TEST_F(MainWindowTest, TheSpokenLyricLineIsHighlightedAndADoubleClickRepeatsIt) {
    WriteIni("Fist", "run", "1");
    const QString audio = MakeFile(QStringLiteral("song.mp3"));
    testing::WriteTestFile(dir_.filePath(QStringLiteral("song.lrc")),
                           QByteArray("[00:01.00]One\n[00:02.00]Two\n[00:04.00]Three\n[00:06.00]") +
                               QByteArray("a long line that wraps ").repeated(20) + '\n');
    MainWindow& w = Start();
    player_.duration_ = 10;
    app_.documents().OpenChosenFile(audio, QStringLiteral("song.mp3"));
    player_.SetCurrentPosition(2.5);
    app_.FollowTimedText();
    w.Render();
    const QList<QTextEdit::ExtraSelection> spoken = w.TextPane()->extraSelections();
    ASSERT_EQ(spoken.size(), 1);
    EXPECT_EQ(spoken.front().cursor.block().text(), QStringLiteral("Two"));

    const QTextBlock three = w.TextPane()->document()->findBlockByNumber(2);
    const QPoint at = w.TextPane()->cursorRect(QTextCursor(three)).center();
    QTest::mouseDClick(w.TextPane()->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(APoint(), MarkText(4.0));
    EXPECT_EQ(BPoint(), MarkText(6.0));
    EXPECT_EQ(window().playRepeatButton.caption, QString::fromUtf8("停止"));
    EXPECT_EQ(w.TextPane()->extraSelections().front().cursor.block().text(), QStringLiteral("Three"));

    // A line the pane wraps is highlighted on every line it takes.
    player_.SetCurrentPosition(7);
    app_.FollowTimedText();
    w.Render();
    const QTextBlock wrapped = w.TextPane()->document()->findBlockByNumber(3);
    ASSERT_GT(wrapped.layout()->lineCount(), 1);
    EXPECT_EQ(w.TextPane()->extraSelections().size(), wrapped.layout()->lineCount());

    const QString plain = MakeFile(QStringLiteral("talk.mp3"));
    testing::WriteTestFile(dir_.filePath(QStringLiteral("talk.txt")), QByteArray("a\nb\nc\n"));
    app_.documents().OpenChosenFile(plain, QStringLiteral("talk.mp3"));
    w.Render();
    EXPECT_TRUE(w.TextPane()->extraSelections().isEmpty()) << "no highlight is left on the next text";
}

TEST_F(MainWindowTest, DictationTakesTypedAndInputMethodTextAndChecksItOnEnter) {
    WriteIni("Fist", "run", "1");
    const QString audio = MakeFile(QStringLiteral("课文.mp3"));
    testing::WriteTestFile(
        dir_.filePath(QStringLiteral("课文.lrc")),
        QString::fromUtf8("[00:01.00]我喜欢学习中文。\n[00:04.00]今天天气很好。\n").toUtf8());
    MainWindow& w = Start();
    QApplication::setActiveWindow(&w);
    player_.duration_ = 10;
    app_.documents().OpenChosenFile(audio, QString::fromUtf8("课文.mp3"));
    QTest::keyClick(w.PlaylistGrid(), Qt::Key_K, Qt::ControlModifier);
    ASSERT_TRUE(w.DictationInput()->isVisible());
    EXPECT_EQ(w.TextPane()->document()->findBlockByNumber(0).text(), QString::fromUtf8("＿＿＿＿＿＿＿＿"));

    // An input method commits its text in one event, as fcitx and ibus do.
    w.DictationInput()->setFocus();
    QInputMethodEvent commit;
    commit.setCommitString(QString::fromUtf8("我喜欢学中文"));
    QApplication::sendEvent(w.DictationInput(), &commit);
    EXPECT_EQ(w.DictationInput()->text(), QString::fromUtf8("我喜欢学中文"));
    QTest::keyClick(w.DictationInput(), Qt::Key_Return);
    EXPECT_EQ(w.TextPane()->document()->findBlockByNumber(0).text(),
              QString::fromUtf8("我喜欢学习中文。  86%"));
    ASSERT_EQ(w.TextPane()->extraSelections().size(), 2) << "the line, and the missed 习";
    EXPECT_TRUE(w.TextPane()->extraSelections().back().format.fontStrikeOut());
}

}  // namespace
}  // namespace ostrelle
