#include "core/operations/segment_display.h"
#include "support/simulated_player.h"

#include <gtest/gtest.h>

namespace ostrelle {
namespace {

MarkTime Whole(int seconds, MarkTime::Form form = MarkTime::Form::MinutesSeconds) {
    return {seconds * 1000LL, form};
}

TEST(ParseAB, SplitsTheSlotTextAtItsBTagAndKeepsEachMarksForm) {
    EXPECT_EQ(ParseAB(QStringLiteral("A00:05B00:12")), (ABPair{Whole(5), Whole(12)}));
    EXPECT_EQ(ParseAB(QStringLiteral("A00:01.234B01:02:03.5")),
              (ABPair{MarkTime::At(1.234), MarkTime::At(3723.5)}));
    EXPECT_EQ(ParseAB(QStringLiteral("X01:02:03B01:02:09")),
              (ABPair{Whole(3723, MarkTime::Form::HoursMinutesSeconds),
                      Whole(3729, MarkTime::Form::HoursMinutesSeconds)}))
        << "the first character is the tag whatever it is";
    // Written back as read, so that an old list and the names of its takes stay as they were.
    for (const char* slot : {"A00:05B00:12", "A01:02:03B01:02:09", "A00:01.234B1:02:03.500"})
        EXPECT_EQ(SlotText(ParseAB(QString::fromLatin1(slot))), QString::fromLatin1(slot));
}

TEST(ParseAB, TextsWithoutAUsableBTagAreBlank) {
    // A "B" among the last two characters is not a tag.
    for (const char* text : {"A00:05", "", "AB", "A0B", "A00:05 00:12", "A00:0B5", "AB00:05"})
        EXPECT_TRUE(ParseAB(QString::fromLatin1(text)).blank) << text;
    // Marks hold numbers only: a text that names none reads as the start, never as a path.
    EXPECT_EQ(SlotText(ParseAB(QStringLiteral("A../../xB12:00"))), QStringLiteral("A00:00.000B12:00"));
}

TEST(MarkLeftTwips, MapsTheFileOntoTheTrackAndStaysOnIt) {
    EXPECT_EQ(MarkLeftTwips(0, 100), 3890);
    EXPECT_EQ(MarkLeftTwips(100, 100), 13320);
    EXPECT_EQ(MarkLeftTwips(30, 60), 8605);
    EXPECT_EQ(MarkLeftTwips(1, 20), 4362);  // 3890 + 471.5 → 4362 (even)
    EXPECT_EQ(MarkLeftTwips(3, 20), 5304);  // 3890 + 1414.5 → 5304 (even)
    EXPECT_EQ(MarkLeftTwips(500, 60), 13320) << "a point past the end sits at the end";
    EXPECT_EQ(MarkLeftTwips(-5, 60), 3890);
    EXPECT_EQ(MarkLeftTwips(30, 0), 8605) << "an unknown length counts as a minute";
}

class SegmentDisplayTest : public ::testing::Test {
protected:
    SegmentDisplayTest() {
        player_.SetUrl(QStringLiteral("/music/lesson.mp3"));
        state_.abListPath = player_.Url();
        state_.abList = {{Whole(30), Whole(45)}, {MarkTime::At(50.25), MarkTime::At(55)}};
        state_.listedLengthMs = 60000;
        player_.duration_ = 0;  // not known yet
    }

    Window window_;
    PlayerState state_;
    SimulatedPlayer player_;
    SegmentDisplay display_{window_, state_, player_};
};

TEST_F(SegmentDisplayTest, ACurrentSegmentShowsBothMarksOverTheListedLengthUntilThePlayerKnowsBetter) {
    state_.abIndex = 0;
    display_.Present();
    EXPECT_EQ(window_.markFlags[0].geometry.left, 8605);
    EXPECT_EQ(window_.markCaptionBoxes[1].geometry.left, 10962);  // 3890 + 7072.5, halves to even
    for (int i = 0; i < 2; ++i)
        EXPECT_TRUE(window_.markCaptionBoxes[i].visible && window_.markFlags[i].visible);
    EXPECT_EQ(window_.markCaptions[0].caption, QStringLiteral("A 00:30"));
    EXPECT_EQ(window_.markCaptions[1].caption, QStringLiteral("B 00:45"));
    EXPECT_EQ(window_.segmentNumberLabel.caption, QStringLiteral("1"));
    EXPECT_EQ(window_.segmentCountLabel.caption, QStringLiteral("2"));
    EXPECT_TRUE(window_.nextSegmentButton.enabled && window_.deleteSegmentItem.enabled);
    EXPECT_FALSE(window_.previousSegmentButton.enabled || window_.setBButton.enabled);

    player_.duration_ = 120;
    state_.abIndex = 1;
    display_.Present();
    EXPECT_EQ(window_.markFlags[0].geometry.left, MarkLeftTwips(50.25, 120));
    EXPECT_EQ(window_.segmentRangeLabel.caption, QStringLiteral("00:50.3 -- 00:55.0"));
}

TEST_F(SegmentDisplayTest, AWaitingAShowsAloneAndTurnsTheSegmentCommandsOff) {
    state_.abIndex = 0;
    state_.pendingA = MarkTime::At(6);
    display_.Present();
    EXPECT_TRUE(window_.markFlags[0].visible);
    EXPECT_FALSE(window_.markFlags[1].visible || window_.markCaptionBoxes[1].visible);
    EXPECT_EQ(window_.markCaptions[0].caption, QStringLiteral("A 00:06.0"));
    EXPECT_TRUE(window_.setBButton.enabled && window_.setBItem.enabled);
    for (const Button* off : {&window_.setAButton, &window_.playRepeatButton, &window_.nextSegmentButton,
                              &window_.deleteSegmentButton, &window_.deleteAllSegmentsButton})
        EXPECT_FALSE(off->enabled) << off->caption.toStdString();
    EXPECT_EQ(window_.segmentRangeLabel.caption, QStringLiteral("00:30 -- 00:45"))
        << "the last one stays named";
    state_.refusedB = true;
    display_.Present();
    EXPECT_EQ(window_.segmentRangeLabel.caption, QString::fromUtf8("B 点须在 A 点之后"));
}

TEST_F(SegmentDisplayTest, WithNoSegmentCurrentTheMarksHideAndOnlySetAIsOffered) {
    display_.Present();
    for (const Button* off :
         {&window_.playRepeatButton, &window_.nextSegmentButton, &window_.previousSegmentButton,
          &window_.deleteSegmentButton, &window_.deleteAllSegmentsButton, &window_.setBButton})
        EXPECT_FALSE(off->enabled) << off->caption.toStdString();
    EXPECT_TRUE(window_.setAButton.enabled);
    EXPECT_EQ(window_.segmentNumberLabel.caption, QString());
    EXPECT_EQ(window_.segmentRangeLabel.caption, QStringLiteral(" -- "));
    for (int i = 0; i < 2; ++i)
        EXPECT_FALSE(window_.markCaptionBoxes[i].visible || window_.markFlags[i].visible);

    state_.run = PlayerState::RunPhase::Passing;
    display_.Present();
    EXPECT_FALSE(window_.setAButton.enabled) << "not during a run";
    EXPECT_TRUE(window_.repeatTick.Running());
}

}  // namespace
}  // namespace ostrelle
