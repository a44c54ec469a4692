#include "core/analysis/text_sentences.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace ostrelle {
namespace {

QStringList Texts(const QString& text) {
    QStringList texts;
    for (const TextSentence& sentence : SplitTextSentences(text))
        texts << sentence.text;
    return texts;
}

TEST(TextSentencesTest, SentencesEndAtTheirMarksButNotAfterAbbreviationsOrInitials) {
    const struct {
        const char* text;
        QStringList sentences;
    } cases[] = {
        {"Mr. Smith paid $3.50 for it. Then he left! Did he? Yes.",
         {"Mr. Smith paid $3.50 for it.", "Then he left!", "Did he?", "Yes."}},
        {"J. K. Rowling wrote it. Dr. Who did not.", {"J. K. Rowling wrote it.", "Dr. Who did not."}},
        {"Das ist z. B. ein Test. Er kommt bzw. geht.", {"Das ist z. B. ein Test.", "Er kommt bzw. geht."}},
        {"Mme. Dupont arrive. Elle parle.", {"Mme. Dupont arrive.", "Elle parle."}},
        {"¿Dónde está? No sé. La Sra. García lo sabe.",
         {"¿Dónde está?", "No sé.", "La Sra. García lo sabe."}},
        {"Он сказал: «Привет». Т. е. всё хорошо.", {"Он сказал: «Привет».", "Т. е. всё хорошо."}},
        {"我们明天去北京。你呢？我不去！好吧", {"我们明天去北京。", "你呢？", "我不去！", "好吧"}},
        {"今日は晴れです。明日は雨でしょう。", {"今日は晴れです。", "明日は雨でしょう。"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Texts(QString::fromUtf8(c.text)), c.sentences) << c.text;
}

TEST(TextSentencesTest, WrappedLinesJoinWhileTitlesAndDialogueLinesStandAlone) {
    const QString text = QString::fromUtf8(
        "Lesson 3\r\n"
        "\r\n"
        "The museum opens at nine in the morning and it closes\r\n"
        "at six in the evening. Tickets are sold at the door.\r\n"
        "\r\n"
        "A: Hello\r\n"
        "B: Hi there\r\n"
        "\r\n"
        "我们明天早上八点在学校门口见面，然后一起坐公共汽车去\n"
        "北京动物园看熊猫。\n");
    EXPECT_EQ(Texts(text),
              (QStringList{QStringLiteral("Lesson 3"),
                           QStringLiteral("The museum opens at nine in the morning and it "
                                          "closes at six in the evening."),
                           QStringLiteral("Tickets are sold at the door."), QStringLiteral("A: Hello"),
                           QStringLiteral("B: Hi there"),
                           QString::fromUtf8(
                               "我们明天早上八点在学校门口见面，然后一起坐公共汽车去北京动物园看熊猫。")}));
    // Each sentence knows where it stands in the text, line ends as they were.
    for (const TextSentence& sentence : SplitTextSentences(text)) {
        const QString there = text.mid(sentence.from, sentence.length);
        EXPECT_EQ(there.front(), sentence.text.front()) << sentence.text.toStdString();
        EXPECT_EQ(there.back(), sentence.text.back()) << sentence.text.toStdString();
    }
}

TEST(TextSentencesTest, OnlyWordsAndNumbersAreSpokenAndALineWithoutAClosingMarkIsAHeading) {
    EXPECT_TRUE(Speakable(QString::fromUtf8("你好。")));
    EXPECT_TRUE(Speakable(QStringLiteral("1984")));
    EXPECT_FALSE(Speakable(QStringLiteral("*** --- ***")));
    EXPECT_TRUE(TextHeading(QStringLiteral("Lesson 3: At the museum")));
    EXPECT_TRUE(TextHeading(QString::fromUtf8("第三课 在博物馆")));
    EXPECT_FALSE(TextHeading(QStringLiteral("He said \"Stop!\"")));
    EXPECT_FALSE(TextHeading(QString::fromUtf8("你好。")));
    EXPECT_FALSE(TextHeading(QStringLiteral("Wait...")));
}

TEST(TextSentencesTest, NothingButBlanksHoldsNoSentence) {
    EXPECT_TRUE(SplitTextSentences(QStringLiteral(" \r\n\t\n")).empty());
    EXPECT_TRUE(SplitTextSentences(QString()).empty());
}

}  // namespace
}  // namespace ostrelle
