#include "core/formats/time_values.h"

#include <gtest/gtest.h>

#include <tuple>

namespace ostrelle {
namespace {

TEST(TimeTextToSeconds, ReadsEachFormByItsLength) {
    EXPECT_EQ(TimeTextToSeconds(QStringLiteral("00:00")), 0);
    EXPECT_EQ(TimeTextToSeconds(QStringLiteral("12:34")), 754);
    EXPECT_EQ(TimeTextToSeconds(QStringLiteral("5:07")), 307);
    EXPECT_EQ(TimeTextToSeconds(QStringLiteral("01:02:03")), 3723);
    EXPECT_EQ(TimeTextToSeconds(QStringLiteral("1:02:03")), 3723);
    EXPECT_EQ(TimeTextToSeconds(QStringLiteral("99:59")), 5999);
}

TEST(TimeTextToSeconds, ShortTextsReadAsZero) {
    for (const char* text : {"", "5", "59", "1:5"})
        EXPECT_EQ(TimeTextToSeconds(QString::fromLatin1(text)), 0) << text;
}

TEST(TimeTextToSeconds, OnlyTheLeadingNumberOfEachPieceCounts) {
    EXPECT_EQ(TimeTextToSeconds(QStringLiteral("ab:cd")), 0);
    EXPECT_EQ(TimeTextToSeconds(QStringLiteral("1a:2b")), 62);   // "1a" → 1, "2b" → 2
    EXPECT_EQ(TimeTextToSeconds(QStringLiteral(" 2:05")), 125);  // leading blank skipped
    EXPECT_EQ(TimeTextToSeconds(QStringLiteral("2:x05")), 125);  // length 5: only the edges matter
    EXPECT_EQ(TimeTextToSeconds(QStringLiteral("1:-5")), 55);
}

TEST(TimeTextToSeconds, FractionalPiecesRoundHalfToEven) {
    EXPECT_EQ(TimeTextToSeconds(QStringLiteral(".5:30")), 60);  // 0.5 min + 30 s
    EXPECT_EQ(TimeTextToSeconds(QStringLiteral("00:.5")), 0);   // 0.5 → 0
    EXPECT_EQ(TimeTextToSeconds(QStringLiteral("01:.5")), 60);  // 60.5 → 60
    EXPECT_EQ(TimeTextToSeconds(QStringLiteral(".5:.5")), 30);  // 30.5 → 30
}

TEST(TimeTextToSeconds, LongTextsThatAreNoClockReadAsZero) {
    EXPECT_EQ(TimeTextToSeconds(QStringLiteral("ab:cd:ef")), 0);
    EXPECT_EQ(TimeTextToSeconds(QStringLiteral("1:2:3:4")), 0);
    EXPECT_EQ(TimeTextToSeconds(QStringLiteral("123456")), 0);
    EXPECT_EQ(TimeTextToSeconds(QStringLiteral("100:00")), 6000);  // minutes beyond 99 as M:SS
}

TEST(FormatSeconds, RoundsHalfToEvenAndSwitchesToHoursAtOneHour) {
    EXPECT_EQ(FormatSeconds(0), QStringLiteral("0:00"));
    EXPECT_EQ(FormatSeconds(59.4), QStringLiteral("0:59"));
    EXPECT_EQ(FormatSeconds(59.5), QStringLiteral("1:00"));
    EXPECT_EQ(FormatSeconds(58.5), QStringLiteral("0:58"));
    EXPECT_EQ(FormatSeconds(75), QStringLiteral("1:15"));
    EXPECT_EQ(FormatSeconds(600), QStringLiteral("10:00"));
    EXPECT_EQ(FormatSeconds(3599.4), QStringLiteral("59:59"));
    EXPECT_EQ(FormatSeconds(3599.5), QStringLiteral("1:00:00"));
    EXPECT_EQ(FormatSeconds(3600), QStringLiteral("1:00:00"));
    EXPECT_EQ(FormatSeconds(3661), QStringLiteral("1:01:01"));
    EXPECT_EQ(FormatSeconds(3723), QStringLiteral("1:02:03"));
    EXPECT_EQ(FormatSeconds(36000), QStringLiteral("10:00:00"));
}

TEST(FormatSeconds, NegativeAndNonFiniteInputsStayReadable) {
    EXPECT_EQ(FormatSeconds(-3), QStringLiteral("-0:03"));
    EXPECT_EQ(FormatSeconds(std::numeric_limits<double>::quiet_NaN()), QStringLiteral("0:00"));
    EXPECT_EQ(FormatSeconds(1e300), QStringLiteral("0:00"));
}

TEST(TimeValues, FormatAndReadBackAreInverseBelowADay) {
    for (int s = 0; s < 24 * 3600; ++s) {
        const QString text = FormatSeconds(s);
        ASSERT_EQ(TimeTextToSeconds(text), s) << text.toStdString();
    }
}

TEST(MarkText, MarksReadBackToTheMillisecondAndWholeSecondTextsReadAsBefore) {
    for (const auto& [seconds, text, shown] :
         {std::tuple{1.234, "00:01.234", "00:01.2"}, std::tuple{3.456, "00:03.456", "00:03.5"},
          std::tuple{59.96, "00:59.960", "01:00.0"}, std::tuple{3727.0, "1:02:07.000", "1:02:07.0"},
          std::tuple{0.0, "00:00.000", "00:00.0"}}) {
        EXPECT_EQ(MarkText(seconds), QString::fromLatin1(text));
        EXPECT_DOUBLE_EQ(MarkTextToSeconds(QString::fromLatin1(text)), seconds);
        EXPECT_EQ(ShownTime(QString::fromLatin1(text)), QString::fromLatin1(shown));
    }
    EXPECT_DOUBLE_EQ(MarkTextToSeconds(QStringLiteral("1:02:03.456")), 3723.456);
    EXPECT_EQ(ShownTime(QStringLiteral("01:02:03.456")), QStringLiteral("01:02:03.5"));
    for (const char* old : {"00:05", "01:12", "1:02:03", "12:34:56", "0:7"}) {
        EXPECT_EQ(MarkTextToSeconds(QString::fromLatin1(old)), TimeTextToSeconds(QString::fromLatin1(old)))
            << old;
        EXPECT_EQ(ShownTime(QString::fromLatin1(old)), QString::fromLatin1(old));
    }
    EXPECT_EQ(MarkTextToSeconds(QStringLiteral("00:01.2x")), TimeTextToSeconds(QStringLiteral("00:01.2x")));
    EXPECT_EQ(PositionTextTenths(65.79, 600), QStringLiteral("01:05.7"));
    EXPECT_EQ(PositionTextTenths(65.79, 7200), QStringLiteral("00:01:05.7"));
}

}  // namespace
}  // namespace ostrelle
