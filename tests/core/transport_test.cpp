#include "support/app_fixture.h"

namespace ostrelle {
namespace {

class TransportTest : public AppFixture {
protected:
    void LoadWithSegments(int count) {
        std::vector<std::optional<QString>> slots;
        for (int i = 1; i <= count; ++i)
            slots.push_back(QStringLiteral("A00:0%1B00:1%1").arg(i));
        AddRow(kPath, QStringLiteral("3:20"), slots);
        app_.playlist().LoadPlaylistGrid();
        app_.transport().LoadFileSegments(kPath, 1);
    }

    const QString kPath = QStringLiteral("/music/lesson.mp3");
};

TEST_F(TransportTest, AFileWithThreeSegmentsMakesTheFirstCurrent) {
    LoadWithSegments(3);
    EXPECT_EQ(window().segmentNumberLabel.caption, QStringLiteral("1"));
    EXPECT_EQ(window().segmentCountLabel.caption, QStringLiteral("3"));
    EXPECT_EQ(window().segmentRangeLabel.caption, QStringLiteral("00:01 -- 00:11"));
    EXPECT_EQ(APoint(), QStringLiteral("00:01"));
    EXPECT_EQ(BPoint(), QStringLiteral("00:11"));
    EXPECT_EQ(state().abIndex, 0);
    EXPECT_EQ(state().listedLengthMs, 200000);
    EXPECT_EQ(state().currentAudioPath, kPath);
    EXPECT_TRUE(window().nextSegmentButton.enabled && window().nextSegmentItem.enabled);
    EXPECT_FALSE(window().previousSegmentButton.enabled || window().previousSegmentItem.enabled);
    EXPECT_TRUE(window().playRepeatButton.enabled);
    EXPECT_EQ(window().playRepeatButton.caption, QString::fromUtf8("播放"));
    EXPECT_TRUE(window().deleteSegmentButton.enabled && window().deleteAllSegmentsItem.enabled);
    EXPECT_TRUE(window().markFlags[0].visible && window().markCaptionBoxes[1].visible);
    EXPECT_EQ(window().markFlags[0].geometry.left, MarkLeftTwips(1, 200));
}

TEST_F(TransportTest, AFileWithOneSegmentHasNoSteps) {
    LoadWithSegments(1);
    EXPECT_FALSE(window().nextSegmentButton.enabled);
    EXPECT_FALSE(window().previousSegmentButton.enabled);
    EXPECT_EQ(window().segmentCountLabel.caption, QStringLiteral("1"));
}

TEST_F(TransportTest, AFileWithoutSegmentsHidesTheMarksAndHasNothingToRepeat) {
    state().looseSegment = Segment("00:03", "00:04");
    LoadWithSegments(0);
    EXPECT_FALSE(window().markFlags[0].visible || window().markCaptionBoxes[0].visible ||
                 window().markFlags[1].visible);
    EXPECT_EQ(window().segmentNumberLabel.caption, QString());
    EXPECT_EQ(window().segmentRangeLabel.caption, QStringLiteral(" -- "));
    EXPECT_FALSE(window().deleteSegmentButton.enabled || window().deleteAllSegmentsButton.enabled);
    EXPECT_FALSE(window().nextSegmentButton.enabled || window().previousSegmentButton.enabled);
    EXPECT_EQ(APoint(), QString()) << "the previous file's points are not repeated here";
    EXPECT_FALSE(window().playRepeatButton.enabled || window().playRepeatItem.enabled);
    EXPECT_FALSE(state().hasAB);
}

TEST_F(TransportTest, LoadingAFileDuringARunEndsItWhileTheNewFilePlays) {
    state().looseSegment = Segment("00:01", "00:05");
    window().repeatCountBox.text = QString::fromUtf8("3次");
    app_.Run(Command::PlayRepeat);
    ASSERT_TRUE(window().repeatTick.Running());
    app_.documents().StartAudioFile(kPath);
    LoadWithSegments(2);
    EXPECT_FALSE(window().repeatTick.Running());
    EXPECT_EQ(window().passesLeftLabel.caption, QString());
    EXPECT_EQ(window().playRepeatButton.caption, QString::fromUtf8("播放"));
    EXPECT_EQ(window().playRepeatItem.caption, QString::fromUtf8("播放(复读)"));
    EXPECT_EQ(player_.PlayState(), kPlayStatePlaying);
}

TEST_F(TransportTest, PauseAndPlayLeaveARunActive) {
    state().looseSegment = Segment("00:01", "00:05");
    window().repeatCountBox.text = QString::fromUtf8("2次");
    app_.Run(Command::PlayRepeat);
    app_.transport().Pause();
    EXPECT_EQ(player_.PlayState(), kPlayStatePaused);
    EXPECT_EQ(window().passesLeftLabel.caption, QString::fromUtf8("剩2次"));
    EXPECT_TRUE(window().repeatTick.Running());
    app_.transport().Play();
    EXPECT_EQ(player_.PlayState(), kPlayStatePlaying);
    EXPECT_EQ(window().playRepeatButton.caption, QString::fromUtf8("停止"));
}

TEST_F(TransportTest, ThePositionTextIsShownEveryHalfSecond) {
    player_.SetUrl(kPath);
    player_.SetCurrentPosition(65.7);
    app_.ShowPosition();
    EXPECT_EQ(window().positionLabel.caption, QStringLiteral("01:05"));
}

TEST_F(TransportTest, AnHourLongLessonShowsHoursFromItsFirstTickOn) {
    AddRow(kPath, QStringLiteral("1:30:00"));
    app_.playlist().LoadPlaylistGrid();
    player_.SetUrl(kPath);
    app_.transport().LoadFileSegments(kPath, 1);
    player_.duration_ = 5400;
    player_.SetCurrentPosition(65.7);
    player_.duration_ = 0;  // the player has not measured it yet
    app_.ShowPosition();
    EXPECT_EQ(window().positionLabel.caption, QStringLiteral("00:01:05"));
    player_.duration_ = 5400;
    app_.ShowPosition();
    EXPECT_EQ(window().positionLabel.caption, QStringLiteral("00:01:05"));
}

TEST_F(TransportTest, SoundGoingToNoOutputIsToldOnce) {
    player_.SetUrl(kPath);
    app_.ShowPosition();
    EXPECT_TRUE(dialogs_.shown.empty());
    player_.outputProblem = QStringLiteral("Failed to connect: Connection refused");
    app_.ShowPosition();
    app_.ShowPosition();
    ASSERT_EQ(dialogs_.shown.size(), 1u);
    EXPECT_EQ(dialogs_.shown[0].kind, MessageKind::Warning);
    EXPECT_TRUE(dialogs_.shown[0].text.startsWith(QString::fromUtf8("没有可用的声音输出")));
    EXPECT_FALSE(dialogs_.shown[0].text.contains(QStringLiteral("Failed"))) << "no English in the box";
}

TEST_F(TransportTest, TheFirstEntryIsOpenedNotPlayedAfterStartUp) {
    LoadWithSegments(2);
    window().firstEntryTimer.enabled = true;
    app_.LoadFirstEntry();
    EXPECT_FALSE(window().firstEntryTimer.enabled);
    EXPECT_EQ(player_.Url(), kPath);
    EXPECT_EQ(player_.PlayState(), kPlayStatePaused);
    EXPECT_EQ(state().currentAudioPath, kPath);
    EXPECT_EQ(window().segmentCountLabel.caption, QStringLiteral("2"));
}

TEST_F(TransportTest, AnEmptyFirstRowOnlySwitchesTheTimerOff) {
    app_.playlist().LoadPlaylistGrid();
    window().firstEntryTimer.enabled = true;
    app_.LoadFirstEntry();
    EXPECT_FALSE(window().firstEntryTimer.enabled);
    EXPECT_EQ(player_.Url(), QString());
    EXPECT_EQ(state().currentAudioPath, QString());
}

}  // namespace
}  // namespace ostrelle
