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
    EXPECT_EQ(window().label7[0].caption, QStringLiteral("1"));
    EXPECT_EQ(window().label7[1].caption, QStringLiteral("3"));
    EXPECT_EQ(window().label7[2].caption, QStringLiteral("00:01 -- 00:11"));
    EXPECT_EQ(state().aPoint, QStringLiteral("00:01"));
    EXPECT_EQ(state().bPoint, QStringLiteral("00:11"));
    EXPECT_EQ(state().abIndex, 0);
    EXPECT_EQ(state().lengthText, QStringLiteral("3:20"));
    EXPECT_EQ(state().currentAudioPath, kPath);
    EXPECT_TRUE(window().aeroButton1[7].enabled && window().idmNext.enabled);
    EXPECT_FALSE(window().aeroButton1[8].enabled || window().idmPre.enabled);
    EXPECT_TRUE(window().aeroButton1[2].enabled);
    EXPECT_EQ(window().aeroButton1[2].caption, QString::fromUtf8("播放"));
    EXPECT_TRUE(window().aeroButton4[0].enabled && window().idmDeleteAB.enabled);
    EXPECT_TRUE(window().image1[0].visible && window().picture2[1].visible);
    EXPECT_EQ(window().image1[0].geometry.left, MarkLeftTwips(1, 200));
}

TEST_F(TransportTest, AFileWithOneSegmentHasNoSteps) {
    LoadWithSegments(1);
    EXPECT_FALSE(window().aeroButton1[7].enabled);
    EXPECT_FALSE(window().aeroButton1[8].enabled);
    EXPECT_EQ(window().label7[1].caption, QStringLiteral("1"));
}

TEST_F(TransportTest, AFileWithoutSegmentsHidesTheMarksAndKeepsThePoints) {
    state().aPoint = QStringLiteral("00:03");
    state().bPoint = QStringLiteral("00:04");
    LoadWithSegments(0);
    EXPECT_FALSE(window().image1[0].visible || window().picture2[0].visible || window().image1[1].visible);
    EXPECT_EQ(window().label7[0].caption, QString());
    EXPECT_EQ(window().label7[2].caption, QStringLiteral(" -- "));
    EXPECT_FALSE(window().aeroButton4[0].enabled || window().aeroButton4[1].enabled);
    EXPECT_FALSE(window().aeroButton1[7].enabled || window().aeroButton1[8].enabled);
    EXPECT_EQ(state().aPoint, QStringLiteral("00:03"));
    EXPECT_FALSE(state().hasAB);
}

TEST_F(TransportTest, LoadingAFileDuringARunEndsItWhileTheNewFilePlays) {
    state().aPoint = QStringLiteral("00:01");
    state().bPoint = QStringLiteral("00:05");
    window().combo1[0].text = QString::fromUtf8("3次");
    app_.RunCommand(2);
    ASSERT_TRUE(window().timer3.Running());
    app_.documents().StartAudioFile(kPath);
    LoadWithSegments(2);
    EXPECT_FALSE(window().timer3.Running());
    EXPECT_EQ(window().label8.caption, QString());
    EXPECT_EQ(window().aeroButton1[2].caption, QString::fromUtf8("播放"));
    EXPECT_EQ(window().idmPlayReread.caption, QString::fromUtf8("播放(复读)"));
    EXPECT_EQ(player_.PlayState(), kPlayStatePlaying);
}

TEST_F(TransportTest, PlayerCommandsLeaveARunActive) {
    state().aPoint = QStringLiteral("00:01");
    state().bPoint = QStringLiteral("00:05");
    window().combo1[0].text = QString::fromUtf8("2次");
    app_.RunCommand(2);
    app_.transport().IDM_Pause_Click();
    EXPECT_EQ(player_.PlayState(), kPlayStatePaused);
    EXPECT_EQ(window().label8.caption, QString::fromUtf8("剩2次"));
    EXPECT_TRUE(window().timer3.Running());
    app_.transport().IDM_play_Click();
    EXPECT_EQ(player_.PlayState(), kPlayStatePlaying);
    app_.transport().IDM_Stop_Click();
    EXPECT_EQ(player_.PlayState(), kPlayStateStopped);
    EXPECT_EQ(window().aeroButton1[2].caption, QString::fromUtf8("停止"));
}

TEST_F(TransportTest, ThePositionTextIsShownEveryHalfSecond) {
    player_.SetUrl(kPath);
    player_.SetCurrentPosition(65.7);
    app_.Timer5_Timer();
    EXPECT_EQ(window().label2.caption, QStringLiteral("01:05"));
}

TEST_F(TransportTest, TheFirstEntryIsOpenedNotPlayedAfterStartUp) {
    LoadWithSegments(2);
    window().timer4.enabled = true;
    app_.Timer4_Timer();
    EXPECT_FALSE(window().timer4.enabled);
    EXPECT_EQ(player_.Url(), kPath);
    EXPECT_EQ(player_.PlayState(), kPlayStatePaused);
    EXPECT_EQ(state().currentAudioPath, kPath);
    EXPECT_EQ(window().label7[1].caption, QStringLiteral("2"));
}

TEST_F(TransportTest, AnEmptyFirstRowOnlySwitchesTheTimerOff) {
    app_.playlist().LoadPlaylistGrid();
    window().timer4.enabled = true;
    app_.Timer4_Timer();
    EXPECT_FALSE(window().timer4.enabled);
    EXPECT_EQ(player_.Url(), QString());
    EXPECT_EQ(state().currentAudioPath, QString());
}

}  // namespace
}  // namespace ostrelle
