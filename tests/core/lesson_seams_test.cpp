#include "core/formats/time_values.h"
#include "support/app_fixture.h"

#include <gtest/gtest.h>

namespace ostrelle {
namespace {

// Where features meet: two listed lessons with their lyrics, the first with two segments.
class LessonSeamsTest : public AppFixture {
protected:
    LessonSeamsTest() {
        first_ = MakeFile(QStringLiteral("first.mp3"));
        second_ = MakeFile(QStringLiteral("second.mp3"));
        for (const QString& lyrics : {QStringLiteral("first.lrc"), QStringLiteral("second.lrc")}) {
            QFile file(dir_.filePath(lyrics));
            EXPECT_TRUE(file.open(QIODevice::WriteOnly));
            file.write("[00:01.00]One\n[00:03.50]Two\n[00:06.00]Three\n");
        }
        window().repeatCountBox.text = QString::fromUtf8("2次");
        window().pauseBox.text = QString::fromUtf8("0秒");
        player_.duration_ = 12;
        AddRow(first_, QStringLiteral("0:12"),
               {QStringLiteral("A00:01B00:03"), QStringLiteral("A00:05B00:07")});
        AddRow(second_, QStringLiteral("0:12"));
        app_.playlist().LoadPlaylistGrid();
        Start(1);
    }

    // A double-click on a list row.
    void Start(int row) {
        grid().SetActiveCell(row, kFileNameColumn);
        app_.playlist().PlayEntry();
        app_.UpdateDerivedStates();
    }

    QString first_;
    QString second_;
};

TEST_F(LessonSeamsTest, AnotherLessonEndsDictationSoNothingIsScoredUnderTheOldFile) {
    app_.Run(Command::Dictation);
    ASSERT_TRUE(app_.dictation().On());
    Start(2);
    EXPECT_FALSE(app_.dictation().On());
    EXPECT_FALSE(window().dictationInput.visible);
    app_.CheckDictation(QStringLiteral("one"));
    for (const QString& path : {first_, second_}) {
        const Result<std::map<qint64, int>> kept = db_->ScoresOf(path);
        ASSERT_TRUE(kept.ok());
        EXPECT_TRUE(kept.value().empty()) << path.toStdString();
    }
}

TEST_F(LessonSeamsTest, AShadowingRunEndsWithoutPausingTheLessonThatStarted) {
    app_.Run(Command::Shadowing);
    ASSERT_TRUE(app_.shadowing().Active());
    Start(2);
    EXPECT_FALSE(app_.shadowing().Active());
    EXPECT_EQ(player_.Url(), second_);
    EXPECT_EQ(player_.PlayState(), kPlayStatePlaying);
    EXPECT_EQ(device_.log.back(), QStringLiteral("close input"));
    EXPECT_TRUE(window().recordButton.enabled);
}

TEST_F(LessonSeamsTest, StopEndsARepeatRunSoTheNextPressStartsOne) {
    app_.Run(Command::PlayRepeat);
    ASSERT_TRUE(window().repeatTick.Running());
    app_.Run(Command::Stop);
    EXPECT_FALSE(window().repeatTick.Running());
    EXPECT_EQ(window().playRepeatButton.caption, QString::fromUtf8("播放"));
    EXPECT_EQ(player_.stopPoint(), std::nullopt);
    app_.Run(Command::PlayRepeat);
    EXPECT_TRUE(window().repeatTick.Running());
    EXPECT_EQ(player_.PlayState(), kPlayStatePlaying);
}

TEST_F(LessonSeamsTest, TheDesktopsNextDuringARunLeavesPlayToGoOnFromTheNextSentence) {
    app_.Run(Command::PlayRepeat);
    player_.Advance(0.5);
    app_.Skip(+1);
    EXPECT_EQ(state().abIndex, 1);
    EXPECT_EQ(player_.PlayState(), kPlayStatePaused);
    app_.Run(Command::Play);
    EXPECT_DOUBLE_EQ(player_.CurrentPosition(), 5.0);
}

TEST_F(LessonSeamsTest, DeletingAllSegmentsLeavesNothingToDrawOrStepThrough) {
    dialogs_.answers = {MessageAnswer::Yes};
    app_.Run(Command::DeleteAllSegments);
    EXPECT_TRUE(state().abList.empty());
    EXPECT_FALSE(app_.segmentEditor().HasCurrentSegment());
    // The desktop's next then goes to the next list entry.
    app_.Skip(+1);
    EXPECT_EQ(player_.Url(), second_);
}

TEST_F(LessonSeamsTest, AListReadInAfterTheListWasClearedCanBeSavedAgain) {
    dialogs_.answers = {MessageAnswer::Yes};
    app_.Run(Command::ClearList);
    ASSERT_FALSE(window().saveListButton.enabled);
    const QString list = dir_.filePath(QStringLiteral("lessons.m3u"));
    QFile file(list);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write((first_ + u'\n').toUtf8());
    file.close();
    dialogs_.files = {FileChoice{list, QStringLiteral("lessons.m3u")}};
    app_.Run(Command::OpenList);
    EXPECT_TRUE(window().saveListButton.enabled && window().saveListItem.enabled);
}

TEST_F(LessonSeamsTest, AnEventDeliveredDuringAnOperationWaitsForItAndEachIsRendered) {
    std::vector<QString> order;
    int renders = 0;
    app_.SetRenderHandler([&] { ++renders; });
    EXPECT_TRUE(app_.Handle([&] {
        order.push_back(QStringLiteral("operation"));
        app_.Deliver([&] { order.push_back(QStringLiteral("event")); });
        EXPECT_FALSE(app_.Handle([&] { order.push_back(QStringLiteral("tick")); })) << "a tick is dropped";
        order.push_back(QStringLiteral("end"));
    }));
    EXPECT_EQ(order, (std::vector<QString>{QStringLiteral("operation"), QStringLiteral("end"),
                                           QStringLiteral("event")}));
    EXPECT_EQ(renders, 2);
}

}  // namespace
}  // namespace ostrelle
