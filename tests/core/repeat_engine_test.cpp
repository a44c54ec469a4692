#include "support/app_fixture.h"

#include <gtest/gtest.h>

namespace ostrelle {
namespace {

class RepeatEngineTest : public AppFixture {
protected:
    RepeatEngineTest() {
        player_.SetUrl(QStringLiteral("/music/lesson.mp3"));
        Choose(QString::fromUtf8("1次"), QString::fromUtf8("0秒"));
        state().abList = {Segment("00:05", "00:08"), Segment("00:10", "00:12"), Segment("00:20", "00:25")};
        state().abIndex = 0;
        state().listedLengthMs = 60000;
    }

    bool Running() { return window().repeatTick.Running(); }
    QString PassesLeft() { return window().passesLeftLabel.caption; }

    void Choose(const QString& count, const QString& pause) {
        window().repeatCountBox.text = count;
        window().pauseBox.text = pause;
    }

    // One 10 ms tick, as the view's timer would deliver it: the clock moves, then the tick runs.
    void Tick() {
        player_.Advance(0.010);
        if (Running()) app_.TickRepeat();
    }

    // Ticks until the run is in its pause or over; returns the number of ticks taken.
    int TickToEndOfPass() {
        int ticks = 0;
        while (Running() && !Pausing() && ticks < 100000) {
            Tick();
            ++ticks;
        }
        return ticks;
    }

    int TickThroughPause() {
        int ticks = 0;
        while (Running() && Pausing() && ticks < 100000) {
            Tick();
            ++ticks;
        }
        return ticks;
    }
};

TEST_F(RepeatEngineTest, StartingARunSeeksAPlaysAndShowsTheRunState) {
    Choose(QString::fromUtf8("3次"), QString::fromUtf8("2秒"));
    app_.Run(Command::PlayRepeat);
    EXPECT_EQ(window().playRepeatButton.caption, QString::fromUtf8("停止"));
    EXPECT_EQ(window().playRepeatItem.caption, QString::fromUtf8("停止(复读)"));
    EXPECT_FALSE(window().setAButton.enabled);
    EXPECT_FALSE(window().setAItem.enabled);
    EXPECT_EQ(window().repeatTick.intervalMs, 10);
    EXPECT_TRUE(Running());
    EXPECT_EQ(PassesLeft(), QString::fromUtf8("剩3次"));
    EXPECT_EQ(player_.CurrentPosition(), 5.0);
    EXPECT_EQ(player_.PlayState(), kPlayStatePlaying);
    EXPECT_EQ(player_.stopPoint(), std::optional<double>(8.0));
    EXPECT_EQ(state().pauseTicks, 200);
}

TEST_F(RepeatEngineTest, OnePassEndsPausedAtAWithTheRunIdleInTheSameTick) {
    app_.Run(Command::PlayRepeat);
    const int ticks = TickToEndOfPass();
    EXPECT_EQ(ticks, 300);  // 3 s from A to B
    EXPECT_FALSE(Running());
    EXPECT_EQ(player_.PlayState(), kPlayStatePaused);
    EXPECT_EQ(player_.CurrentPosition(), 5.0);
    EXPECT_EQ(PassesLeft(), QString());
    EXPECT_EQ(window().playRepeatButton.caption, QString::fromUtf8("播放"));
    EXPECT_EQ(window().playRepeatItem.caption, QString::fromUtf8("播放(复读)"));
    EXPECT_EQ(player_.stopPoint(), std::nullopt) << "normal playing must not stop at the old B";
    EXPECT_TRUE(window().setAButton.enabled && window().setAItem.enabled)
        << "the next sentence can be marked at once";
}

TEST_F(RepeatEngineTest, ThreePassesWithATwoSecondPauseCountDownAndWait200Ticks) {
    Choose(QString::fromUtf8("3次"), QString::fromUtf8("2秒"));
    app_.Run(Command::PlayRepeat);
    std::vector<QString> labels{PassesLeft()};
    std::vector<int> pauses;
    for (int pass = 0; pass < 3; ++pass) {
        EXPECT_EQ(TickToEndOfPass(), 300) << "pass " << pass;
        labels.push_back(PassesLeft());
        if (Pausing()) {
            EXPECT_EQ(player_.PlayState(), kPlayStatePaused);
            EXPECT_EQ(player_.CurrentPosition(), 5.0);
            pauses.push_back(TickThroughPause());
        }
    }
    EXPECT_EQ(labels, (std::vector<QString>{QString::fromUtf8("剩3次"), QString::fromUtf8("剩2次"),
                                            QString::fromUtf8("剩1次"), QString()}));
    EXPECT_EQ(pauses, (std::vector<int>{200, 200}));
    EXPECT_EQ(player_.playCalls, 3);
    EXPECT_FALSE(Running());
    EXPECT_EQ(player_.CurrentPosition(), 5.0);
}

TEST_F(RepeatEngineTest, AZeroSecondPauseResumesAtTheNextTick) {
    Choose(QString::fromUtf8("2次"), QString::fromUtf8("0秒"));
    app_.Run(Command::PlayRepeat);
    TickToEndOfPass();
    EXPECT_EQ(TickThroughPause(), 1);
    EXPECT_EQ(player_.PlayState(), kPlayStatePlaying);
}

TEST_F(RepeatEngineTest, PauseSettingIsReadAtTheStartAndWhenEachPauseEnds) {
    Choose(QString::fromUtf8("3次"), QString::fromUtf8("1秒"));
    app_.Run(Command::PlayRepeat);
    TickToEndOfPass();
    window().pauseBox.text = QString::fromUtf8("4秒");  // during the first pause
    EXPECT_EQ(TickThroughPause(), 100) << "the first pause was read when the run started";
    TickToEndOfPass();
    EXPECT_EQ(TickThroughPause(), 400) << "the second pause was read when the first ended";
    TickToEndOfPass();
    ASSERT_FALSE(Running());

    // Changed during the first pass, it is not the first pause either.
    app_.Run(Command::PlayRepeat);
    ASSERT_TRUE(Running());
    window().pauseBox.text = QString::fromUtf8("3秒");
    TickToEndOfPass();
    EXPECT_EQ(TickThroughPause(), 400);
}

TEST_F(RepeatEngineTest, ChangingTheCountDuringARunWaitsForTheNextRun) {
    Choose(QString::fromUtf8("2次"), QString::fromUtf8("0秒"));
    app_.Run(Command::PlayRepeat);
    window().repeatCountBox.text = QString::fromUtf8("6次");
    TickToEndOfPass();
    TickThroughPause();
    TickToEndOfPass();
    EXPECT_FALSE(Running());
    EXPECT_EQ(player_.playCalls, 2);
}

TEST_F(RepeatEngineTest, StopDuringThePauseThenStartBeginsWithAPass) {
    Choose(QString::fromUtf8("3次"), QString::fromUtf8("5秒"));
    app_.Run(Command::PlayRepeat);
    TickToEndOfPass();
    for (int i = 0; i < 50; ++i)
        Tick();
    ASSERT_TRUE(Pausing());

    app_.Run(Command::PlayRepeat);  // stop
    EXPECT_FALSE(Running());
    EXPECT_TRUE(window().setAButton.enabled) << "an explicit stop gives set-A back";
    EXPECT_TRUE(window().setAItem.enabled);
    EXPECT_EQ(window().playRepeatButton.caption, QString::fromUtf8("播放"));
    EXPECT_EQ(PassesLeft(), QString());
    EXPECT_EQ(player_.PlayState(), kPlayStatePaused);
    EXPECT_EQ(player_.CurrentPosition(), 5.0);

    app_.Run(Command::PlayRepeat);  // start again
    EXPECT_FALSE(Pausing());
    EXPECT_EQ(player_.PlayState(), kPlayStatePlaying);
    EXPECT_EQ(PassesLeft(), QString::fromUtf8("剩3次"));
    Tick();
    EXPECT_GT(player_.CurrentPosition(), 5.0);
}

TEST_F(RepeatEngineTest, EqualAAndBEndEveryPassAtTheFirstTick) {
    Choose(QString::fromUtf8("2次"), QString::fromUtf8("0秒"));
    state().abList[0].b = state().abList[0].a;
    app_.Run(Command::PlayRepeat);
    EXPECT_EQ(player_.stopPoint(), std::nullopt);
    EXPECT_EQ(TickToEndOfPass(), 1);
    EXPECT_EQ(TickThroughPause(), 1);
    EXPECT_EQ(TickToEndOfPass(), 1);
    EXPECT_FALSE(Running());
}

TEST_F(RepeatEngineTest, ATypedCountOfZeroPlaysOnePass) {
    Choose(QString::fromUtf8("0次"), QString::fromUtf8("0秒"));
    app_.Run(Command::PlayRepeat);
    EXPECT_EQ(PassesLeft(), QString::fromUtf8("剩0次"));
    TickToEndOfPass();
    EXPECT_FALSE(Running());
    EXPECT_EQ(state().repeatLeft, -1);
    EXPECT_EQ(player_.playCalls, 1);
}

TEST_F(RepeatEngineTest, SelectorTextsWithoutADigitMeanOnePassAndNoPause) {
    Choose(QStringLiteral("Combo1"), QStringLiteral("Combo1"));
    EXPECT_EQ(app_.repeat().RepeatCount(), 1);
    EXPECT_EQ(app_.repeat().PauseTicksSetting(), 0);
    Choose(QString(), QString::fromUtf8("九秒"));
    EXPECT_EQ(app_.repeat().RepeatCount(), 1);
    EXPECT_EQ(app_.repeat().PauseTicksSetting(), 0);
    Choose(QString::fromUtf8("9次"), QString::fromUtf8("9秒"));
    EXPECT_EQ(app_.repeat().RepeatCount(), 9);
    EXPECT_EQ(app_.repeat().PauseTicksSetting(), 900);
}

TEST_F(RepeatEngineTest, NextOnTheLastSegmentStaysThere) {
    state().abIndex = 1;
    app_.Run(Command::NextSegment);
    EXPECT_EQ(state().abIndex, 2);
    EXPECT_EQ(APoint(), QStringLiteral("00:20"));
    EXPECT_EQ(BPoint(), QStringLiteral("00:25"));
    EXPECT_FALSE(window().nextSegmentButton.enabled);
    EXPECT_FALSE(window().nextSegmentItem.enabled);
    EXPECT_TRUE(window().previousSegmentButton.enabled);
    app_.Run(Command::NextSegment);
    EXPECT_EQ(state().abIndex, 2);
    EXPECT_EQ(window().segmentNumberLabel.caption, QStringLiteral("3"));
    EXPECT_EQ(window().segmentCountLabel.caption, QStringLiteral("3"));
    EXPECT_EQ(window().segmentRangeLabel.caption, QStringLiteral("00:20 -- 00:25"));
    EXPECT_EQ(window().markCaptions[0].caption, QStringLiteral("A 00:20"));
    EXPECT_TRUE(window().markCaptionBoxes[1].visible);
}

TEST_F(RepeatEngineTest, PreviousFromTheSecondGoesToTheFirstAndDisablesPrevious) {
    state().abIndex = 1;
    EnablePair(window().previousSegmentButton, window().previousSegmentItem, true);
    app_.Run(Command::PreviousSegment);
    EXPECT_EQ(state().abIndex, 0);
    EXPECT_EQ(APoint(), QStringLiteral("00:05"));
    EXPECT_FALSE(window().previousSegmentButton.enabled);
    EXPECT_FALSE(window().previousSegmentItem.enabled);
    EXPECT_TRUE(window().nextSegmentButton.enabled);
    EXPECT_EQ(window().segmentNumberLabel.caption, QStringLiteral("1"));
}

TEST_F(RepeatEngineTest, SteppingDuringAPassEndsTheRunWherePlayingWas) {
    Choose(QString::fromUtf8("3次"), QString::fromUtf8("1秒"));
    app_.Run(Command::PlayRepeat);
    for (int i = 0; i < 150; ++i)
        Tick();
    const double where = player_.CurrentPosition();
    app_.Run(Command::NextSegment);
    EXPECT_FALSE(Running());
    EXPECT_EQ(player_.PlayState(), kPlayStatePaused);
    EXPECT_EQ(player_.CurrentPosition(), where) << "a step does not seek";
    EXPECT_EQ(PassesLeft(), QString());
    EXPECT_EQ(window().playRepeatButton.caption, QString::fromUtf8("播放"));
    EXPECT_TRUE(window().setAButton.enabled) << "the run is over: the next sentence can be marked";
    EXPECT_EQ(player_.stopPoint(), std::nullopt);
}

TEST_F(RepeatEngineTest, StepsOnAFileWithoutSegmentsOnlyEndTheRun) {
    state().abList.clear();
    app_.Run(Command::PlayRepeat);
    app_.Run(Command::NextSegment);
    EXPECT_FALSE(Running());
    EXPECT_EQ(state().abIndex, 0);
    app_.Run(Command::PreviousSegment);
    EXPECT_EQ(state().abIndex, 0);
}

TEST_F(RepeatEngineTest, AnEndingThatKeepsCaptionsLeavesTheNextPlayRepeatToStop) {
    app_.Run(Command::PlayRepeat);
    app_.repeat().StopRepeatRun({});  // as setting B does
    EXPECT_FALSE(Running());
    EXPECT_EQ(window().playRepeatButton.caption, QString::fromUtf8("停止"));
    app_.Run(Command::PlayRepeat);
    EXPECT_EQ(window().playRepeatButton.caption, QString::fromUtf8("播放"));
    EXPECT_FALSE(Running());
    EXPECT_TRUE(window().setAButton.enabled);
}

}  // namespace
}  // namespace ostrelle
