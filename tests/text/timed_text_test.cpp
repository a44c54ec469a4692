#include "text/timed_text.h"
#include "text/plain_text_reader.h"

#include <QDir>

#include <gtest/gtest.h>

namespace ostrelle {

void PrintTo(const TimedLine& line, std::ostream* out) {
    *out << (line.seconds ? std::to_string(*line.seconds) : std::string("untimed")) << " \""
         << line.text.toStdString() << '"';
}

namespace {

#ifdef OSTRELLE_REAL_FIXTURES
const QString kFixtures = QStringLiteral(OSTRELLE_REAL_FIXTURES);
#else
const QString kFixtures;
#endif

TimedLine At(double seconds, const char* text) {
    return {seconds, QString::fromUtf8(text)};
}
TimedLine Untimed(const char* text) {
    return {std::nullopt, QString::fromUtf8(text)};
}

TEST(ParseLrc, TagFormsOffsetMetadataAndOrderAreRead) {
    const TimedText lrc =
        ParseLrc(QString::fromUtf8("[ti:Lesson 3]\r\n[ar:Teacher]\n[offset:+250]\n"
                                   "[00:05.5]Second\n[00:01.20][00:09.123]First and last\n"
                                   "[00:07]\n[0:03:50]Hundredths\n[1:02:03.40]Late\n"
                                   "Follows late\n"));
    EXPECT_EQ(lrc.lines,
              (std::vector<TimedLine>{At(0.95, "First and last"), At(3.25, "Hundredths"), At(5.25, "Second"),
                                      At(6.75, ""), At(8.873, "First and last"), At(3723.15, "Late"),
                                      Untimed("Follows late")}));
    EXPECT_EQ(lrc.ShownText(),
              QString::fromUtf8("First and last\nHundredths\nSecond\n\nFirst and last\nLate\n"
                                "Follows late"));
    EXPECT_EQ(lrc.LineAt(0.5), -1);
    EXPECT_EQ(lrc.LineAt(6.0), 2);
    EXPECT_EQ(lrc.LineAt(7.0), 3) << "a blank timed line is a pause";
    EXPECT_EQ(lrc.NextTimeAfter(2), std::optional<double>(6.75));
    EXPECT_EQ(lrc.NextTimeAfter(5), std::nullopt);
}

TEST(ParseLrc, MalformedTagsAreShownAsTextNeverDropped) {
    const TimedText lrc =
        ParseLrc(QString::fromUtf8("[00:61]Bad seconds\n[12:3x]Bad digits\n[00:02]Good\n"
                                   "[offset:soon]\n[attr3]\n[00:04]Tagged [00:09] inside\n"));
    EXPECT_EQ(lrc.lines,
              (std::vector<TimedLine>{Untimed("[00:61]Bad seconds"), Untimed("[12:3x]Bad digits"),
                                      At(2, "Good"), Untimed("[attr3]"), At(4, "Tagged [00:09] inside")}));
}

TEST(ParseSrt, CuesJoinTheirLinesAndGapsBecomePauses) {
    const TimedText srt =
        ParseSrt(QString::fromUtf8("\xEF\xBB\xBF"
                                   "1\r\n00:00:01,000 --> 00:00:02,500\r\nHello\r\nthere\r\n\r\n"
                                   "2\n00:00:02,500 --> 00:00:04,000\n你好\n\n"
                                   "not a cue\nat all\n\n"
                                   "3\n00:01:00.250 --> 00:01:01,000\nLast\n")
                     .remove(QChar(0xFEFF)));
    EXPECT_EQ(srt.lines,
              (std::vector<TimedLine>{At(1, "Hello there"), At(2.5, "你好"), Untimed("not a cue"),
                                      Untimed("at all"), At(4, ""), At(60.25, "Last"), At(61, "")}));
    EXPECT_EQ(srt.NextTimeAfter(1), std::optional<double>(4.0)) << "B of a cue before a gap is its end";
}

TEST(ParseSrt, ACuePastADayIsKeptAsTextAndAnEndPastOneStopsThere) {
    const TimedText srt =
        ParseSrt(QStringLiteral("1\n00:00:01,000 --> 65:00:00,000\nLong\n\n"
                                "2\n65:00:00,000 --> 65:00:01,000\nNever\n"));
    EXPECT_EQ(srt.lines,
              (std::vector<TimedLine>{At(1, "Long"), Untimed("2"), Untimed("65:00:00,000 --> 65:00:01,000"),
                                      Untimed("Never"), At(24 * 3600, "")}));
}

TEST(ParseLrc, TheRealListsReadAlikeInBothEncodings) {
    if (kFixtures.isEmpty() || !QDir(kFixtures).exists()) GTEST_SKIP() << "no real fixtures folder";
    std::vector<TimedText> twins;
    for (const char* name : {"lrc/zh_osdlyrics-lrc_gbk.lrc", "lrc/zh_osdlyrics-lrc_basic_utf8.lrc"}) {
        const TextReadResult text = LoadPlainText(kFixtures + u'/' + QString::fromLatin1(name));
        ASSERT_TRUE(text.ok()) << name;
        twins.push_back(ParseLrc(text.value()));
    }
    EXPECT_EQ(twins[0].lines, twins[1].lines);
    const std::vector<TimedLine>& lines = twins[0].lines;
    // Two metadata lines hidden; four leading time tags on three lines (the one after a text is text);
    // "[attr3]" and the untagged line kept.
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const TimedLine& l) { return l.seconds; }), 4);
    EXPECT_EQ(lines[2], At(0, "Text 1"));
    EXPECT_EQ(lines.back(), Untimed("No tags"));
    EXPECT_TRUE(lines[0].text.contains(QStringLiteral("[attr3]")));

    const TextReadResult offset =
        LoadPlainText(kFixtures + QStringLiteral("/lrc/osdlyrics-lyric_with_offset.lrc"));
    ASSERT_TRUE(offset.ok());
    EXPECT_EQ(ParseLrc(offset.value()).lines, (std::vector<TimedLine>{At(0, "foo")}))
        << "0.01 s moved 100 ms earlier stops at the start";
}

}  // namespace
}  // namespace ostrelle
