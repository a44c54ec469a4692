#include "core/analysis/dictation_check.h"

#include <gtest/gtest.h>

namespace ostrelle {
namespace {

// The parts in one line: correct text as it is, [-missed], [+extra], [typed|expected] for a wrong one.
QString Marked(const DictationResult& result) {
    QString line;
    for (const DictationPart& part : result.parts) {
        switch (part.mark) {
            case DictationMark::Correct:
                line += part.expected;
                break;
            case DictationMark::Missed:
                line += QStringLiteral("[-%1]").arg(part.expected);
                break;
            case DictationMark::Extra:
                line += QStringLiteral("[+%1]").arg(part.typed);
                break;
            case DictationMark::Wrong:
                line += QStringLiteral("[%1|%2]").arg(part.typed, part.expected);
                break;
        }
    }
    return line;
}

struct Case {
    const char* what;
    const char* typed;
    const char* expected;
    const char* marked;
    int percent;
};

const Case kCases[] = {
    {"Chinese by characters", "我明天去南京了", "我们明天去北京。", "我[-们]明天去[南|北]京。[+了]", 63},
    {"Chinese punctuation and spaces ignored", "你好 世界!", "「你好」，世界！", "「你好」，世界！", 100},
    {"English case and punctuation ignored", "hello world how you", "Hello, world! How are you?",
     "Hello, world! How [-are] you?", 80},
    {"an apostrophe does not split a word", "dont go", "Don't go.", "Don't go.", 100},
    {"an extra word counts against the line", "I really like it", "I like it.", "I [+really]like it.", 75},
    {"the line typed twice", "I like it I like it", "I like it.", "I like it.[+I][+like][+it]", 50},
    {"German sharp s matches ss in any case", "STRASSE", "Straße", "Straße", 100},
    {"German umlauts fold with case", "ÄPFEL", "äpfel", "äpfel", 100},
    {"German umlauts still count", "Madchen", "Mädchen", "[Madchen|Mädchen]", 0},
    {"full-width letters and digits", "abc 123", "ＡＢＣ　１２３", "ＡＢＣ　１２３", 100},
    {"half-width katakana", "ｺｰﾋｰをﾀﾞﾌﾞﾙで", "コーヒーをダブルで", "コーヒーをダブルで", 100},
    {"a missed prolonged sound mark", "コーヒを飲む", "コーヒーを飲む", "コーヒ[-ー]を飲む", 86},
    {"Hangul by syllables", "안녕 세상", "안녕하세요", "안녕[-하]세[상|요]", 60},
    {"a mixed line", "我喜欢 python 编程", "我喜欢Python编程。", "我喜欢Python编程。", 100},
    {"Chinese with a character added", "我们明天去北京了", "我们明天去北京。", "我们明天去北京。[+了]", 88},
    {"nothing typed", "", "你好，世界", "[-你][-好]，[-世][-界]", 0},
    {"only punctuation typed", "...", "Go!", "[-Go]!", 0},
};

TEST(DictationCheckTest, MarksEachWordOrCharacterAndScoresTheLine) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        const QString expected = QString::fromUtf8(c.expected);
        const DictationResult result = CheckDictation(QString::fromUtf8(c.typed), expected);
        EXPECT_EQ(Marked(result), QString::fromUtf8(c.marked));
        EXPECT_EQ(result.Percent(), c.percent);
        QString rebuilt;
        for (const DictationPart& part : result.parts)
            rebuilt += part.expected;
        EXPECT_EQ(rebuilt, expected) << "the expected line comes back whole";
    }
}

TEST(DictationCheckTest, CountsAreOfTheExpectedLineAndExtrasNeverCountAsCorrect) {
    const DictationResult result = CheckDictation(QStringLiteral("the cat sat on a mat today"),
                                                  QStringLiteral("The cat sat on the mat."));
    EXPECT_EQ(result.total, 6);
    EXPECT_EQ(result.correct, 5);
    EXPECT_EQ(Marked(result), QStringLiteral("The cat sat on [a|the] mat.[+today]"));
    const DictationPart& wrong = result.parts[8];
    EXPECT_EQ(wrong.typed, QStringLiteral("a"));
    EXPECT_EQ(wrong.expected, QStringLiteral("the"));
}

TEST(DictationCheckTest, AnEmptyExpectedLineScoresFullOnlyWhenNothingWasTyped) {
    EXPECT_EQ(CheckDictation({}, {}).Percent(), 100);
    EXPECT_EQ(CheckDictation(QStringLiteral(" , "), QStringLiteral("…")).Percent(), 100);
    const DictationResult typedSomething = CheckDictation(QStringLiteral("hi"), {});
    EXPECT_EQ(typedSomething.Percent(), 0);
    EXPECT_EQ(Marked(typedSomething), QStringLiteral("[+hi]"));
}

}  // namespace
}  // namespace ostrelle
