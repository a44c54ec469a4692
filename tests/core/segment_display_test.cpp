#include "core/operations/segment_display.h"

#include <gtest/gtest.h>

namespace ostrelle {
namespace {

TEST(ParseAB, SplitsTheSlotTextAtItsBTag) {
    EXPECT_EQ(ParseAB(QStringLiteral("A00:05B00:12")),
              (ABPair{QStringLiteral("00:05"), QStringLiteral("00:12")}));
    EXPECT_EQ(ParseAB(QStringLiteral("A1:02:03B1:02:09")),
              (ABPair{QStringLiteral("1:02:03"), QStringLiteral("1:02:09")}));
    EXPECT_EQ(ParseAB(QStringLiteral("X00:05B00:12")),
              (ABPair{QStringLiteral("00:05"), QStringLiteral("00:12")}))
        << "the first character is the tag whatever it is";
}

TEST(ParseAB, TextsWithoutAUsableBTagGiveTwoEmptyTexts) {
    for (const char* text : {"A00:05", "", "AB", "A0B", "A00:05 00:12"})
        EXPECT_EQ(ParseAB(QString::fromLatin1(text)), ABPair{}) << text;
    // A "B" among the last two characters is not a tag.
    EXPECT_EQ(ParseAB(QStringLiteral("A00:0B5")), ABPair{});
    // The last tag before them decides.
    EXPECT_EQ(ParseAB(QStringLiteral("AxByB12")), (ABPair{QStringLiteral("xBy"), QStringLiteral("12")}));
}

TEST(MarkLeftTwips, MapsTheFileOntoTheTrackAndStaysOnIt) {
    EXPECT_EQ(MarkLeftTwips(0, 100), 3890);
    EXPECT_EQ(MarkLeftTwips(100, 100), 13320);
    EXPECT_EQ(MarkLeftTwips(30, 60), 8605);
    EXPECT_EQ(MarkLeftTwips(1, 20), 4362);  // 3890 + 471.5 → 4362 (even)
    EXPECT_EQ(MarkLeftTwips(3, 20), 5304);  // 3890 + 1414.5 → 5304 (even)
    EXPECT_EQ(MarkLeftTwips(500, 60), 13320) << "a point past the end sits at the end";
    EXPECT_EQ(MarkLeftTwips(-5, 60), 3890);
}

TEST(SegmentDisplay, ShowsBothMarksWithTheirTimes) {
    Window window;
    SegmentDisplay display(window);
    display.ShowABMarks(QStringLiteral("00:30"), QStringLiteral("00:45"), QStringLiteral("1:00"));
    EXPECT_EQ(window.markCaptionBoxes[0].geometry.left, 8605);
    EXPECT_EQ(window.markFlags[0].geometry.left, 8605);
    EXPECT_EQ(window.markCaptionBoxes[1].geometry.left, 10962);  // 3890 + 7072.5, halves to even
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(window.markCaptionBoxes[i].visible);
        EXPECT_TRUE(window.markFlags[i].visible);
    }
    EXPECT_EQ(window.markCaptions[0].caption, QStringLiteral("A 00:30"));
    EXPECT_EQ(window.markCaptions[1].caption, QStringLiteral("B 00:45"));
}

TEST(SegmentDisplay, ALengthThatReadsAsZeroCountsAsOneMinute) {
    Window window;
    SegmentDisplay display(window);
    for (const char* length : {"00:00", "", "0"}) {
        display.ShowABMarks(QStringLiteral("00:30"), QStringLiteral("03:04"), QString::fromLatin1(length));
        EXPECT_EQ(window.markCaptionBoxes[0].geometry.left, 8605) << length;
        EXPECT_EQ(window.markFlags[1].geometry.left, 13320) << length;
    }
}

TEST(SegmentDisplay, ResetTurnsTheSegmentCommandsOffAndHidesTheMarks) {
    Window window;
    SegmentDisplay display(window);
    display.ShowABMarks(QStringLiteral("00:01"), QStringLiteral("00:02"), QStringLiteral("1:00"));
    display.ResetABControls();
    for (const Button* button : {&window.playRepeatButton, &window.setAButton, &window.nextSegmentButton,
                                 &window.previousSegmentButton})
        EXPECT_FALSE(button->enabled) << button->caption.toStdString();
    EXPECT_TRUE(window.setBButton.enabled) << "set-B is left alone";
    EXPECT_FALSE(window.deleteSegmentButton.enabled);
    EXPECT_FALSE(window.deleteAllSegmentsButton.enabled);
    for (const MenuItem* m :
         {&window.playRepeatItem, &window.setAItem, &window.nextSegmentItem, &window.previousSegmentItem,
          &window.deleteSegmentItem, &window.deleteAllSegmentsItem})
        EXPECT_FALSE(m->enabled);
    EXPECT_EQ(window.segmentNumberLabel.caption, QString());
    EXPECT_EQ(window.segmentCountLabel.caption, QString());
    EXPECT_EQ(window.segmentRangeLabel.caption, QStringLiteral(" -- "));
    for (int i = 0; i < 2; ++i) {
        EXPECT_FALSE(window.markCaptionBoxes[i].visible);
        EXPECT_FALSE(window.markFlags[i].visible);
    }
}

}  // namespace
}  // namespace ostrelle
