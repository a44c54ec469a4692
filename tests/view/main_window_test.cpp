#include "core/formats/settings_file.h"
#include "core/formats/time_values.h"
#include "support/test_files.h"
#include "view/main_window_fixture.h"
#include "view/picture_widget.h"
#include "view/pictures.h"
#include "view/seek_bar.h"
#include "view/text_input_keys.h"
#include "view/usage_window.h"
#include "view/waveform_strip.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStringEncoder>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QTextBlock>
#include <QToolButton>

namespace ostrelle {
namespace {

TEST_F(MainWindowTest, AFirstRunOpensTheIntroductionAndRemembersIt) {
    const QString intro = MakeFile(QStringLiteral("introduce.mp3"));
    probe_.seconds[intro] = 95;
    Start();
    EXPECT_EQ(player_.Url(), intro);
    EXPECT_EQ(player_.PlayState(), kPlayStatePlaying);
    EXPECT_EQ(ReadIniValue(QStringLiteral("Fist"), QStringLiteral("run"), Ini()), QStringLiteral("1"));
    EXPECT_EQ(ReadIniValue(QStringLiteral("Mp3PrePath"), QStringLiteral("Path"), Ini()), intro);
    EXPECT_TRUE(window_->TimerFor(&Window::listingTimer).isActive());
    app_.ListPlayingFile();
    probe_.DeliverAll();  // its length, measured meanwhile
    app_.ListPlayingFile();
    EXPECT_EQ(grid().CellText(1, kFileNameColumn), QStringLiteral("introduce.mp3"));
    EXPECT_EQ(grid().CellText(1, kDurationColumn), QStringLiteral("1:35"));
    EXPECT_FALSE(window().repeatCountBox.text.isEmpty());
}

TEST_F(MainWindowTest, ALaterRunDoesNotOpenItAgain) {
    MakeFile(QStringLiteral("introduce.mp3"));
    WriteIni("Fist", "run", "1");
    Start();
    EXPECT_EQ(player_.Url(), QString());
}

TEST_F(MainWindowTest, AnyOtherRunFlagOpensTheIntroduction) {
    for (const char* flag : {"2", "yes", ""}) {
        WriteIni("Fist", "run", flag);
        app_.Start();
        EXPECT_EQ(player_.Url(), app_.folder().IntroductionFile()) << flag;
        player_.SetUrl(QString());
    }
}

TEST_F(MainWindowTest, StoredRepeatSettingsAreRestored) {
    WriteIni("comb", "0", "3");
    WriteIni("comb", "1", "2");
    WriteIni("Fist", "run", "1");
    MainWindow& w = Start();
    EXPECT_EQ(window().repeatCountBox.text, QString::fromUtf8("3次"));
    EXPECT_EQ(window().pauseBox.text, QString::fromUtf8("2秒"));
    EXPECT_EQ(w.ComboBoxFor(&Window::repeatCountBox)->currentText(), QString::fromUtf8("3次"));
    // Whole seconds, then a pause as long as the sentence and half as long again.
    EXPECT_EQ(w.ComboBoxFor(&Window::pauseBox)->count(), 8);
    EXPECT_EQ(w.ComboBoxFor(&Window::pauseBox)->itemText(5), QString::fromUtf8("5秒"));
    EXPECT_EQ(w.ComboBoxFor(&Window::pauseBox)->itemText(7), QString::fromUtf8("按句长×1.5"));
}

TEST_F(MainWindowTest, APickInAnyComboStoresBothRepeatSettings) {
    WriteIni("Fist", "run", "1");
    MainWindow& w = Start();
    w.ComboBoxFor(&Window::repeatCountBox)->setCurrentIndex(3);
    Q_EMIT w.ComboBoxFor(&Window::repeatCountBox)->activated(3);
    EXPECT_EQ(ReadIniValue(QStringLiteral("comb"), QStringLiteral("0"), Ini()), QStringLiteral("4"));
    EXPECT_EQ(ReadIniValue(QStringLiteral("comb"), QStringLiteral("1"), Ini()), QStringLiteral("0"));
    EXPECT_EQ(window().repeatCountBox.text, QString::fromUtf8("4次"));
}

TEST_F(MainWindowTest, APauseBySentenceLengthIsKeptApartFromTheSecondsAndRestored) {
    WriteIni("Fist", "run", "1");
    WriteIni("comb", "1", "2");
    WriteIni("Drill", "Pause", "1");
    MainWindow& w = Start();
    EXPECT_EQ(window().pauseBox.text, QString::fromUtf8("按句长"));
    const auto pick = [&w](int index) {
        w.ComboBoxFor(&Window::pauseBox)->setCurrentIndex(index);
        Q_EMIT w.ComboBoxFor(&Window::pauseBox)->activated(index);
    };
    pick(7);
    // The old key keeps whole seconds for a program that knows only those.
    EXPECT_EQ(ReadIniValue(QStringLiteral("comb"), QStringLiteral("1"), Ini()), QStringLiteral("2"));
    EXPECT_EQ(ReadIniValue(QStringLiteral("Drill"), QStringLiteral("Pause"), Ini()), QStringLiteral("1.5"));
    pick(3);
    EXPECT_EQ(ReadIniValue(QStringLiteral("comb"), QStringLiteral("1"), Ini()), QStringLiteral("3"));
    EXPECT_EQ(ReadIniValue(QStringLiteral("Drill"), QStringLiteral("Pause"), Ini()), QString());
}

TEST_F(MainWindowTest, AKeptRecordingEnablesPlayingAndSavingIt) {
    WriteIni("Fist", "run", "1");
    MakeFile(QStringLiteral("temp.wav"));
    MainWindow& w = Start();
    EXPECT_TRUE(w.CommandButton(Command::PlayRecording)->isEnabled());
    EXPECT_TRUE(w.MenuAction(Command::PlayRecording)->isEnabled());
    EXPECT_TRUE(w.MenuAction(Command::SaveRecording)->isEnabled());
}

TEST_F(MainWindowTest, TheRecordingPlayedToItsEndShowsTheIdleRecorderAtOnce) {
    WriteIni("Fist", "run", "1");
    MakeFile(QStringLiteral("temp.wav"));
    MainWindow& w = Start();
    QPushButton* play = w.CommandButton(Command::PlayRecording);
    QTest::mouseClick(play, Qt::LeftButton);
    ASSERT_EQ(play->text(), QString::fromUtf8("停止播放"));
    ASSERT_TRUE(w.TimerFor(&Window::recorderClockTimer).isActive());

    device_.Finish();  // raised by the device, outside any event of the window
    EXPECT_EQ(play->text(), QString::fromUtf8("播放录音"));
    EXPECT_TRUE(w.CommandButton(Command::Record)->isEnabled());
    EXPECT_FALSE(w.TimerFor(&Window::recorderClockTimer).isActive());
    for (QGroupBox* group : w.findChildren<QGroupBox*>())
        EXPECT_FALSE(group->title().contains(QString::fromUtf8("正在"))) << group->title().toStdString();
}

TEST_F(MainWindowTest, WithoutARecordingItsCommandsStartDisabled) {
    WriteIni("Fist", "run", "1");
    MainWindow& w = Start();
    EXPECT_FALSE(w.CommandButton(Command::PlayRecording)->isEnabled());
    EXPECT_FALSE(w.MenuAction(Command::SaveRecording)->isEnabled());
    EXPECT_TRUE(w.CommandButton(Command::Record)->isEnabled());
}

TEST_F(MainWindowTest, RowNumbersOfAHundredEntriesShowWhole) {
    WriteIni("Fist", "run", "1");
    for (int i = 1; i <= 100; ++i)
        AddRow(QStringLiteral("/music/%1.mp3").arg(i));
    MainWindow& w = Start();
    QTableView* grid = w.PlaylistGrid();
    const int needed = QFontMetrics(grid->font()).horizontalAdvance(QStringLiteral("100."));
    EXPECT_GT(grid->columnWidth(kNumberColumn), needed);
    EXPECT_EQ(
        grid->columnWidth(kNumberColumn) + grid->columnWidth(kFileNameColumn),
        window().playlistGrid.ColumnWidth(kNumberColumn) + window().playlistGrid.ColumnWidth(kFileNameColumn))
        << "the name column gives up the room";
}

TEST_F(MainWindowTest, AnEmptyListStartsWithClearAndDeleteOff) {
    WriteIni("Fist", "run", "1");
    MainWindow& w = Start();
    EXPECT_FALSE(w.CommandButton(Command::ClearList)->isEnabled());
    EXPECT_FALSE(w.MenuAction(Command::ClearList)->isEnabled());
    EXPECT_FALSE(w.CommandButton(Command::DeleteEntry)->isEnabled());
    EXPECT_FALSE(w.MenuAction(Command::DeleteEntry)->isEnabled());
    for (Command off : {Command::PlayRepeat, Command::SetB, Command::NextSegment, Command::PreviousSegment})
        EXPECT_FALSE(w.CommandButton(off)->isEnabled()) << static_cast<int>(off);
    for (Command on : {Command::Record, Command::SetA, Command::OpenList, Command::SaveList})
        EXPECT_TRUE(w.CommandButton(on)->isEnabled()) << static_cast<int>(on);
}

TEST_F(MainWindowTest, AFilledListSelectsRowOneAndLoadsItAfterStartUp) {
    WriteIni("Fist", "run", "1");
    AddRow(QStringLiteral("/music/one.mp3"), QStringLiteral("1:00"), {QStringLiteral("A00:01B00:03")});
    MainWindow& w = Start();
    EXPECT_TRUE(w.CommandButton(Command::ClearList)->isEnabled());
    EXPECT_TRUE(w.MenuAction(Command::DeleteEntry)->isEnabled());
    EXPECT_EQ(state().currentListPath, QStringLiteral("/music/one.mp3"));
    EXPECT_TRUE(w.TimerFor(&Window::firstEntryTimer).isActive());
    EXPECT_EQ(w.TimerFor(&Window::firstEntryTimer).interval(), 20);
    EXPECT_FALSE(window().markFlags[0].visible) << "no mark before the first entry is loaded";
    app_.LoadFirstEntry();
    EXPECT_EQ(player_.Url(), QStringLiteral("/music/one.mp3"));
    EXPECT_EQ(player_.PlayState(), kPlayStatePaused);
    EXPECT_EQ(state().currentAudioPath, QStringLiteral("/music/one.mp3"));
}

TEST_F(MainWindowTest, ARestartReturnsToTheLessonItsPositionAndItsSegment) {
    WriteIni("Fist", "run", "1");
    const QString lesson = MakeFile(QStringLiteral("lesson.mp3"));
    AddRow(MakeFile(QStringLiteral("first.mp3")));
    AddRow(lesson, QStringLiteral("10:00"), {QStringLiteral("A00:01B00:02"), QStringLiteral("A00:05B00:09")});
    {
        MainWindow& w = Start();
        app_.LoadFirstEntry();
        grid().SetActiveCell(2, kFileNameColumn);
        app_.playlist().PlayEntry();
        app_.Run(Command::NextSegment);
        player_.SetCurrentPosition(6.25);
        w.close();
    }
    EXPECT_EQ(ReadIniValue(QStringLiteral("Resume"), QStringLiteral("File"), Ini()), lesson);

    // The next start, in a new controller.
    player_.SetUrl(QString());
    Controller next({player_, dialogs_, probe_, device_, db_.get()}, app_.folder());
    SetupPlaylistGrid(next.window().playlistGrid);
    next.Start();
    next.LoadFirstEntry();
    EXPECT_EQ(player_.Url(), lesson);
    EXPECT_EQ(player_.PlayState(), kPlayStatePaused);
    EXPECT_EQ(player_.CurrentPosition(), 6.25);
    EXPECT_EQ(next.state().abIndex, 1);
    next.UpdateDerivedStates();
    EXPECT_EQ(next.window().segmentNumberLabel.caption, QStringLiteral("2"));
    EXPECT_EQ(next.window().playlistGrid.SelectedRow(), 2);

    // A lesson no longer listed: row 1, as always.
    ASSERT_TRUE(
        WriteIniValue(QStringLiteral("Resume"), QStringLiteral("File"), QStringLiteral("/gone.mp3"), Ini())
            .ok());
    next.LoadFirstEntry();
    EXPECT_EQ(player_.Url(), next.window().playlistGrid.CellText(1, kPathColumn));
}

TEST_F(MainWindowTest, TimesOfLongFilesAndCloseMarksStayReadable) {
    WriteIni("Fist", "run", "1");
    MainWindow& w = Start();
    const auto label = [&](const QString& text) -> QLabel* {
        for (QLabel* l : w.findChildren<QLabel*>())
            if (l->text() == text) return l;
        return nullptr;
    };
    const auto fits = [](QLabel* l) { return l->fontMetrics().horizontalAdvance(l->text()) <= l->width(); };
    for (const auto& [range, shown] : {std::pair{"00:58:57 -- 00:59:03", "58:57 -- 59:03"},
                                       std::pair{"01:02:03 -- 01:12:09", "01:02:03 -- 01:12:09"}}) {
        window().segmentRangeLabel.caption = QString::fromLatin1(range);
        w.Render();
        QLabel* l = label(QString::fromLatin1(shown));
        ASSERT_NE(l, nullptr) << shown;
        EXPECT_TRUE(fits(l)) << shown;
    }

    // A sentence-long segment near the end of an hour-long file: the marks stand 9 px apart.
    const int a = MarkLeftTwips(3537, 3600), b = MarkLeftTwips(3543, 3600);
    for (int i = 0; i < 2; ++i) {
        window().markFlags[i] = {{i == 0 ? a : b, 7920, 570, 360}, true};
        window().markCaptionBoxes[i] = {{i == 0 ? a : b, 7960, 585, 195}, true};
    }
    window().markCaptions[0].caption = QStringLiteral("A 00:58:57");
    window().markCaptions[1].caption = QStringLiteral("B 00:59:03");
    w.Render();
    QLabel* captionA = label(QStringLiteral("A 58:57"));
    QLabel* captionB = label(QStringLiteral("B 59:03"));
    ASSERT_TRUE(captionA && captionB);
    EXPECT_TRUE(fits(captionA) && fits(captionB));
    const QRect boxA(captionA->parentWidget()->pos(), captionA->parentWidget()->size());
    const QRect boxB(captionB->parentWidget()->pos(), captionB->parentWidget()->size());
    EXPECT_FALSE(boxA.intersects(boxB));
    EXPECT_LT(boxA.left(), boxB.left());
}

// Also run at twice the scale (QT_SCALE_FACTOR=2, tests/view/CMakeLists.txt): the pictures must then have
// twice the pixels, and every text must still fit as it is drawn at that density.
TEST_F(MainWindowTest, AtTheScreensScaleThePicturesHaveItsPixelsAndEveryTextFits) {
    WriteIni("Fist", "run", "1");
    AddRow(MakeFile(QStringLiteral("lesson.mp3")), QStringLiteral("59:59"),
           {QStringLiteral("A58:57B59:03"), QStringLiteral("A59:10B59:40")});
    MainWindow& w = Start();
    app_.LoadFirstEntry();
    w.Render();
    const qreal ratio = w.devicePixelRatioF();
    ASSERT_EQ(ratio, qEnvironmentVariableIsSet("QT_SCALE_FACTOR")
                         ? qEnvironmentVariable("QT_SCALE_FACTOR").toDouble()
                         : 1.0);

    std::vector<PictureWidget*> pictures;  // no meta-object of its own: qobject_cast cannot find them
    for (QWidget* widget : w.findChildren<QWidget*>())
        if (auto* picture = dynamic_cast<PictureWidget*>(widget)) pictures.push_back(picture);
    ASSERT_EQ(pictures.size(), 3u) << "the heading strip and two flags";
    for (PictureWidget* picture : pictures) {
        picture->grab();
        const QImage& shown = picture->Shown();
        EXPECT_EQ(shown.devicePixelRatio(), ratio);
        const QSize drawn = shown.width() > 100 ? PlaylistHeadingStrip().size() : MarkFlag(0).size();
        EXPECT_EQ(shown.size(), drawn * ratio);
    }

    // The room each kind of control leaves its text, as the style lays it out.
    const auto room = [](QWidget* widget) -> std::optional<std::pair<QString, int>> {
        QStyle* style = widget->style();
        if (auto* label = qobject_cast<QLabel*>(widget))
            return std::pair{label->text(), label->contentsRect().width()};
        if (auto* box = qobject_cast<QCheckBox*>(widget)) {
            QStyleOptionButton option;
            option.initFrom(box);
            option.text = box->text();
            return std::pair{box->text(),
                             style->subElementRect(QStyle::SE_CheckBoxContents, &option, box).width()};
        }
        if (auto* button = qobject_cast<QPushButton*>(widget)) {
            QStyleOptionButton option;
            option.initFrom(button);
            option.text = button->text();
            return std::pair{button->text(),
                             style->subElementRect(QStyle::SE_PushButtonContents, &option, button).width()};
        }
        if (auto* button = qobject_cast<QToolButton*>(widget))
            return std::pair{button->text(), button->width()};
        if (auto* combo = qobject_cast<QComboBox*>(widget)) {
            QStyleOptionComboBox option;
            option.initFrom(combo);
            return std::pair{
                combo->currentText(),
                style->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo)
                    .width()};
        }
        if (auto* group = qobject_cast<QGroupBox*>(widget))
            return std::pair{group->title(), group->width() - 16};
        return std::nullopt;
    };
    // The ink of a text drawn at the screen's ratio, in window pixels. Font metrics would not do: they are
    // the same at every ratio here, and overstate the ink of mixed Chinese and Latin captions ("当前AB:"
    // measures 44 in its 43 pixels, yet its last ink is in the 43rd).
    const auto inkWidth = [ratio](const QString& text, const QFont& font) {
        QImage image(QSize(1000, 60) * ratio, QImage::Format_RGB32);
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setFont(font);
        painter.drawText(QPointF(20, 40), text);
        painter.end();
        int first = image.width();
        int last = -1;
        for (int x = 0; x < image.width(); ++x)
            for (int y = 0; y < image.height(); ++y)
                if (image.pixel(x, y) != qRgb(255, 255, 255)) {
                    first = std::min(first, x);
                    last = x;
                }
        return last < first ? 0.0 : (last - first + 1) / ratio;
    };
    int checked = 0;
    for (QWidget* widget : w.findChildren<QWidget*>()) {
        const auto text = room(widget);
        if (!text || text->first.trimmed().isEmpty() || !widget->isVisibleTo(&w)) continue;
        ++checked;
        EXPECT_LE(inkWidth(text->first.trimmed(), widget->font()), text->second)
            << text->first.toStdString() << " in a " << widget->metaObject()->className();
    }
    EXPECT_GT(checked, 30);
}

TEST_F(MainWindowTest, TheWaveformStripLinesUpWithTheMarksAndTheTrackAndItsHandlesMoveTheMarks) {
    WriteIni("Fist", "run", "1");
    const QString lesson = MakeFile(QStringLiteral("lesson.mp3"));
    AddRow(lesson, QStringLiteral("10:00"), {QStringLiteral("A01:40.000B02:30.000")});
    MainWindow& w = Start();
    app_.LoadFirstEntry();
    w.Render();
    const int height = w.height();
    const int barTop = w.PositionBar()->y();
    QApplication::setActiveWindow(&w);
    QTest::keySequence(&w, QKeySequence(window().waveformItem.shortcut));
    WaveformStrip* strip = w.Waveform();
    ASSERT_TRUE(strip->isVisible());
    EXPECT_EQ(w.height(), height + WaveformStrip::kHeight);
    EXPECT_EQ(w.PositionBar()->y(), barTop + WaveformStrip::kHeight);
    EXPECT_EQ(ReadIniValue(QStringLiteral("Waveform"), QStringLiteral("Shown"), Ini()), QStringLiteral("1"));

    // A time has one x on the strip, over its mark and on the track (600 s lesson, A at 100 s).
    const double stripX = strip->x() + strip->XOfSeconds(100);
    const double markX = window().markFlags[0].geometry.left / 15.0;
    const double trackX = w.PositionBar()->x() + w.PositionBar()->width() * 100 / 600.0;
    EXPECT_NEAR(stripX, markX, 1.0);
    EXPECT_NEAR(stripX, trackX, 1.0);

    // Zoomed on the segment, with a second on either side; dragging A rewrites the same slot.
    QTest::keySequence(&w, QKeySequence(window().waveformZoomItem.shortcut));
    EXPECT_NEAR(strip->XOfSeconds(99), 0, 0.5);
    const QPoint a(std::lround(strip->XOfSeconds(100)), WaveformStrip::kHeight / 2);
    const QPoint later(std::lround(strip->XOfSeconds(110)), WaveformStrip::kHeight / 2);
    QTest::mousePress(strip, Qt::LeftButton, {}, a);
    QMouseEvent move(QEvent::MouseMove, later, strip->mapToGlobal(later), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(strip, &move);
    QTest::mouseRelease(strip, Qt::LeftButton, {}, later);
    EXPECT_NEAR(state().RepeatedSegment()->a.Seconds(), 110, 0.1);
    EXPECT_EQ(db_->RowFor(lesson).value()->Field(kFirstSegmentField),
              APoint().prepend(u'A') + QStringLiteral("B02:30.000"));

    QTest::keySequence(&w, QKeySequence(window().waveformItem.shortcut));
    EXPECT_FALSE(strip->isVisible());
    EXPECT_EQ(w.height(), height);
    EXPECT_EQ(w.PositionBar()->y(), barTop);
}

TEST_F(MainWindowTest, ALongListShowsEachRowsWholePathAndScrollsBackToTheTopAfterADelete) {
    WriteIni("Fist", "run", "1");
    const QString longName = QStringLiteral("/music/a folder with a long name/lesson %1 of the course.mp3");
    for (int i = 1; i <= 30; ++i)
        AddRow(longName.arg(i));
    MainWindow& w = Start();
    QTableView* grid = w.PlaylistGrid();
    EXPECT_EQ(grid->model()->data(grid->model()->index(3, kFileNameColumn), Qt::ToolTipRole).toString(),
              longName.arg(3));
    EXPECT_FALSE(grid->model()->data(grid->model()->index(31, kFileNameColumn), Qt::ToolTipRole).isValid());

    grid->scrollToBottom();
    ASSERT_GT(grid->verticalScrollBar()->value(), 0);
    QTest::mouseClick(w.CommandButton(Command::DeleteEntry), Qt::LeftButton);
    EXPECT_EQ(grid->verticalScrollBar()->value(), 0);
}

TEST_F(MainWindowTest, TheClickedOrKeyedRowIsHighlightedAndIsTheOneDeleted) {
    WriteIni("Fist", "run", "1");
    for (int i = 1; i <= 5; ++i)
        AddRow(QStringLiteral("/music/%1.mp3").arg(i));
    MainWindow& w = Start();
    QTableView* grid = w.PlaylistGrid();
    const auto highlighted = [&] { return grid->selectionModel()->selectedRows().value(0).row(); };
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                      grid->visualRect(grid->model()->index(3, kFileNameColumn)).center());
    EXPECT_EQ(highlighted(), 3);
    w.Render();  // as after any tick
    EXPECT_EQ(highlighted(), 3);
    QTest::keyClick(grid, Qt::Key_Down);
    w.Render();
    EXPECT_EQ(highlighted(), 4);
    EXPECT_EQ(state().currentListPath, QStringLiteral("/music/4.mp3"));

    QTest::mouseClick(w.CommandButton(Command::DeleteEntry), Qt::LeftButton);
    EXPECT_TRUE(db_->RowFor(QStringLiteral("/music/4.mp3")).value()->Eof());
    EXPECT_EQ(TableRows(), 4);
}

TEST_F(MainWindowTest, TheUsageButtonAndF1ShowTheInstructionsAndEveryShortcut) {
    WriteIni("Fist", "run", "1");
    const QString text = QString::fromUtf8("欢迎使用。\r\n按F2标记句子的开始。\r\n");
    testing::WriteTestFile(dir_.filePath(QStringLiteral("introduce.txt")),
                           QStringEncoder("GB18030").encode(text));
    MainWindow& w = Start();
    QApplication::setActiveWindow(&w);
    QTest::mouseClick(w.CommandButton(Command::ShowUsage), Qt::LeftButton);
    auto* usage = w.findChild<UsageWindow*>();
    ASSERT_NE(usage, nullptr);
    EXPECT_TRUE(usage->isVisible());
    EXPECT_TRUE(usage->Instructions()->toPlainText().startsWith(QString::fromUtf8("欢迎使用。")))
        << "the introduction's own text";
    int shortcuts = 0;
    for (const auto& [command, item] : AllMenuEntries())
        shortcuts += (window().*item).shortcut.isEmpty() ? 0 : 1;
    ASSERT_EQ(usage->Shortcuts()->rowCount(), shortcuts);
    EXPECT_EQ(usage->Shortcuts()->item(0, 2)->text(),
              QKeySequence(window().openFileItem.shortcut).toString(QKeySequence::NativeText));

    usage->close();
    w.PlaylistGrid()->setFocus();
    QTest::keyClick(w.PlaylistGrid(), Qt::Key_F1);
    EXPECT_TRUE(usage->isVisible());
    EXPECT_EQ(w.findChildren<UsageWindow*>().size(), 1);
}

// A repeat box being typed in keeps the keys that edit its text.
TEST_F(MainWindowTest, EveryShortcutReachesItsMenuItemOnlyWhileEnabledFromEveryFocus) {
    WriteIni("Fist", "run", "1");
    MainWindow& w = Start();
    QApplication::setActiveWindow(&w);
    QComboBox* count = w.ComboBoxFor(&Window::repeatCountBox);
    const std::vector<QWidget*> focuses = {w.TextPane(), w.PlaylistGrid(), count,
                                           w.ComboBoxFor(&Window::pauseBox)};
    for (QWidget* focus : focuses) {
        SCOPED_TRACE(focus->metaObject()->className());
        focus->setFocus();
        ASSERT_EQ(QApplication::focusWidget(), focus);
        ASSERT_EQ(count->lineEdit()->focusProxy(), count) << "keys reach the line edit through its box";
        for (const auto& [id, item] : AllMenuEntries()) {
            if (id == Command::Exit) continue;  // would end the test's window
            QAction* action = w.MenuAction(id);
            ASSERT_NE(action, nullptr);
            const QKeySequence keys((window().*item).shortcut);
            if (keys.isEmpty()) continue;  // a ticked choice of a submenu
            const int reached = EditsText(focus) && IsTextEditingKey(keys[0]) ? 0 : 1;
            QSignalSpy triggered(action, &QAction::triggered);
            action->setEnabled(true);
            count->setEditText(QString::fromUtf8("2次"));
            QTest::keySequence(focus, keys);
            EXPECT_EQ(triggered.count(), reached) << keys.toString().toStdString();
            EXPECT_EQ(count->currentText(), QString::fromUtf8("2次")) << keys.toString().toStdString();
            w.Render();
            action->setEnabled(false);
            QTest::keySequence(focus, keys);
            EXPECT_EQ(triggered.count(), reached) << "disabled: " << keys.toString().toStdString();
            // F4 with its item off is the box's own key: it opens the box's list.
            if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
            w.Render();
        }
    }
}

TEST_F(MainWindowTest, EnterInARepeatBoxStoresNothingUntilTheNextPick) {
    WriteIni("Fist", "run", "1");
    MainWindow& w = Start();
    QApplication::setActiveWindow(&w);
    QComboBox* count = w.ComboBoxFor(&Window::repeatCountBox);
    QSignalSpy picks(count, &QComboBox::activated);
    count->setFocus();
    count->lineEdit()->selectAll();
    QTest::keyClicks(count, QStringLiteral("9"));
    QTest::keyClick(count, Qt::Key_Return);
    EXPECT_EQ(ReadIniValue(QStringLiteral("comb"), QStringLiteral("0"), Ini()), QString());
    EXPECT_EQ(count->count(), 6);
    EXPECT_EQ(picks.count(), 0);
    Q_EMIT w.ComboBoxFor(&Window::pauseBox)->activated(2);
    EXPECT_EQ(ReadIniValue(QStringLiteral("comb"), QStringLiteral("0"), Ini()), QStringLiteral("9"));

    // A typed item's name is a pick, made once.
    count->lineEdit()->setText(QString::fromUtf8("5次"));
    QTest::keyClick(count, Qt::Key_Return);
    EXPECT_EQ(picks.count(), 1);
    EXPECT_EQ(ReadIniValue(QStringLiteral("comb"), QStringLiteral("0"), Ini()), QStringLiteral("5"));
}

TEST_F(MainWindowTest, F5StepsBackAndF6StepsForward) {
    WriteIni("Fist", "run", "1");
    MainWindow& w = Start();
    state().abList = {Segment("00:01", "00:02"), Segment("00:03", "00:04"), Segment("00:05", "00:06")};
    state().abIndex = 1;
    w.Render();
    QApplication::setActiveWindow(&w);
    QTest::keyClick(&w, Qt::Key_F5);
    EXPECT_EQ(state().abIndex, 0);
    QTest::keyClick(&w, Qt::Key_F6);
    EXPECT_EQ(state().abIndex, 1);
}

TEST_F(MainWindowTest, StoppingThePlayerEndsARun) {
    WriteIni("Fist", "run", "1");
    MainWindow& w = Start();
    player_.SetUrl(QStringLiteral("/music/one.mp3"));
    state().looseSegment = Segment("00:01", "00:05");
    w.Render();
    w.CommandButton(Command::PlayRepeat)->click();
    ASSERT_TRUE(w.TimerFor(&Window::repeatTick).isActive());
    w.MenuAction(Command::Stop)->trigger();
    EXPECT_EQ(player_.PlayState(), kPlayStateStopped);
    EXPECT_FALSE(w.TimerFor(&Window::repeatTick).isActive());
    EXPECT_EQ(w.CommandButton(Command::PlayRepeat)->text(), QString::fromUtf8("播放"));
    EXPECT_EQ(w.MenuAction(Command::PlayRepeat)->text(), QString::fromUtf8("播放(复读)"));
}

TEST_F(MainWindowTest, UntickingTextShownHidesThePaneAndTickingShowsItAgain) {
    WriteIni("Fist", "run", "1");
    MainWindow& w = Start();
    window().textPane.text = QStringLiteral("lesson text");
    w.Render();
    ASSERT_TRUE(w.TextPane()->isVisible());
    w.CheckBoxFor(&Window::showTextBox)->click();
    EXPECT_FALSE(w.TextPane()->isVisible());
    w.CheckBoxFor(&Window::showTextBox)->click();
    EXPECT_TRUE(w.TextPane()->isVisible());
    EXPECT_EQ(w.TextPane()->toPlainText(), QStringLiteral("lesson text"));
}

TEST_F(MainWindowTest, TheExitItemClosesTheWindow) {
    WriteIni("Fist", "run", "1");
    MainWindow& w = Start();
    w.MenuAction(Command::Exit)->trigger();
    EXPECT_FALSE(w.isVisible());
}

TEST_F(MainWindowTest, FilesDroppedOnTheListAreOpenedTogether) {
    WriteIni("Fist", "run", "1");
    QDir(dir_.path()).mkdir(QStringLiteral("lessons"));
    const QString two = MakeFile(QStringLiteral("lessons/2.mp3"));
    const QString ten = MakeFile(QStringLiteral("lessons/10.mp3"));
    MainWindow& w = Start();
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(dir_.filePath(QStringLiteral("lessons"))),
                   QUrl::fromLocalFile(dir_.filePath(QStringLiteral("cover.pdf")))});
    const QPoint at = w.PlaylistGrid()->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &files, Qt::LeftButton, {});
    QApplication::sendEvent(w.PlaylistGrid()->viewport(), &enter);
    ASSERT_TRUE(enter.isAccepted()) << "the list passes the drag on to the window";
    QDropEvent drop(QPointF(at), Qt::CopyAction, &files, Qt::LeftButton, {});
    QApplication::sendEvent(w.PlaylistGrid()->viewport(), &drop);
    EXPECT_EQ(player_.Url(), two);
    EXPECT_EQ(grid().CellText(2, kPathColumn), ten);
    EXPECT_TRUE(window().statusNote.visible) << "cover.pdf is left out";
}

}  // namespace
}  // namespace ostrelle
