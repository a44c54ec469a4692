#include "text/rtf_reader.h"

#include <QStringEncoder>

#include <gtest/gtest.h>

#include <random>

namespace ostrelle {
namespace {

QString Plain(const QByteArray& rtf) {
    return RtfToPlainText(rtf);
}

// \'hh escapes for every byte of text in the given code page.
QByteArray HexEscaped(const char* codec, const QString& text) {
    QStringEncoder encoder(codec);
    EXPECT_TRUE(encoder.isValid()) << codec;
    const QByteArray bytes = encoder.encode(text);
    QByteArray escaped;
    for (char c : bytes)
        escaped += "\\'" + QByteArray::number(static_cast<unsigned char>(c), 16).rightJustified(2, '0');
    return escaped;
}

TEST(RtfReading, AnsiCodePage936HexPairsDecodeAsGbk) {
    const QByteArray rtf = "{\\rtf1\\ansi\\ansicpg936{\\fonttbl{\\f0\\fnil\\fcharset134 SimSun;}}\\f0 " +
                           HexEscaped("GBK", QStringLiteral("学习中文")) + "\\par}";
    EXPECT_EQ(Plain(rtf), QStringLiteral("学习中文\r\n"));
}

TEST(RtfReading, RawGbkBytesInTheTextDecodeInTheDocumentCodePage) {
    QStringEncoder gbk("GBK");
    const QByteArray rtf =
        "{\\rtf1\\ansi\\ansicpg936 " + QByteArray(gbk.encode(QStringLiteral("听力"))) + "}";
    EXPECT_EQ(Plain(rtf), QStringLiteral("听力"));
}

TEST(RtfReading, FontCharset136SelectsBig5InAWesternDocument) {
    const QByteArray rtf =
        "{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\fcharset136 MingLiU;}}"
        "\\f0 A {\\f1 " +
        HexEscaped("Big5", QStringLiteral("學習")) + "}B}";
    EXPECT_EQ(Plain(rtf), QStringLiteral("A 學習B"));
}

TEST(RtfReading, FontSwitchChangesTheCodePageOfHexEscapes) {
    const QByteArray rtf =
        "{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0\\fcharset0 Arial;}{\\f1\\fcharset238 Arial CE;}}"
        "\\f0\\'e8\\f1\\'e8\\f0\\'e8}";
    EXPECT_EQ(Plain(rtf), QStringLiteral("èčè"));
}

TEST(RtfReading, MacDocumentsAnsiFontsReadAsMacRoman) {
    EXPECT_EQ(Plain("{\\rtf1\\mac\\ansicpg10000{\\fonttbl{\\f0\\fcharset0 Times;}}\\f0 It\\'d5s}"),
              QStringLiteral("It\u2019s"));
}

TEST(RtfReading, ManyDistinctCodePagesFallBackToWindows1252) {
    QByteArray rtf = "{\\rtf1 ";
    for (int codePage = 2000; codePage < 2200; ++codePage)
        rtf += "\\ansicpg" + QByteArray::number(codePage) + " \\'e9";
    EXPECT_EQ(Plain(rtf + "}"), QString(200, QChar(0xE9)));
}

TEST(RtfReading, DoubleByteCharacterMayEndInALiteralAsciiByte) {
    // Shift-JIS trail bytes in the ASCII range are often written as plain characters.
    EXPECT_EQ(Plain("{\\rtf1\\ansi\\ansicpg932 \\'83e\\'83X\\'83g}"), QStringLiteral("テスト"));
}

TEST(RtfReading, Uc2SkipsTwoHexEscapesAfterEachUnicodeEscape) {
    const QByteArray rtf = "{\\rtf1\\ansi\\ansicpg936\\uc2 \\u23398\\'d1\\'a7\\u20064\\'cf\\'b0!}";
    EXPECT_EQ(Plain(rtf), QStringLiteral("学习!"));
}

TEST(RtfReading, UnicodeEscapeSkipsOneFallbackCharacterByDefault) {
    EXPECT_EQ(Plain("{\\rtf1 \\u8220?quote\\u8221?}"), QStringLiteral("\u201Cquote\u201D"));
}

TEST(RtfReading, NegativeUnicodeValuesWrapTo16Bits) {
    EXPECT_EQ(Plain("{\\rtf1 \\u-10916?}"), QStringLiteral("한"));
}

TEST(RtfReading, SurrogatePairEscapesJoinIntoOneCharacter) {
    EXPECT_EQ(Plain("{\\rtf1 \\u-10179?\\u-8704?}"), QStringLiteral("\U0001F600"));
}

TEST(RtfReading, UnicodeSkipCountEndsWithItsGroup) {
    EXPECT_EQ(Plain("{\\rtf1 {\\uc2 \\u23398\\'d1\\'a7}\\u20064?x}"), QStringLiteral("学习x"));
}

TEST(RtfReading, UnicodeTwinReplacesTheEightBitText) {
    EXPECT_EQ(Plain("{\\rtf1{\\upr{\\f0 ansi text}{\\*\\ud{\\u20013?}}}}"), QStringLiteral("中"));
}

TEST(RtfReading, NestedStarDestinationsAreSkippedWhole) {
    EXPECT_EQ(Plain("{\\rtf1 A{\\*\\generator Foo {\\*\\inner B}{C}}D{\\*\\unknownword {nested {E}}}F}"),
              QStringLiteral("ADF"));
}

TEST(RtfReading, TablesMetadataPicturesAndPageFurnitureAreNotShown) {
    const QByteArray rtf =
        "{\\rtf1{\\fonttbl{\\f0 Arial;}}{\\colortbl;\\red0\\green0\\blue0;}{\\stylesheet{\\s0 Normal;}}"
        "{\\info{\\title Title}{\\author Me}}{\\header Head}{\\footer Foot}{\\pict\\pngblip 89504e47}"
        "Body{\\footnote note}.}";
    EXPECT_EQ(Plain(rtf), QStringLiteral("Body."));
}

TEST(RtfReading, FieldShowsItsResultNotItsInstruction) {
    const QByteArray rtf =
        "{\\rtf1 See {\\field{\\*\\fldinst HYPERLINK \"http://x\"}{\\fldrslt here}} and "
        "{\\field{\\fldinst PAGE}{\\fldrslt 3}}.}";
    EXPECT_EQ(Plain(rtf), QStringLiteral("See here and 3."));
}

TEST(RtfReading, ListNumberTextIsKept) {
    EXPECT_EQ(Plain("{\\rtf1{\\listtext 1.\\tab}Item\\par}"), QStringLiteral("1.\tItem\r\n"));
}

TEST(RtfReading, ParagraphsAndLineBreaksEndWithCrLf) {
    EXPECT_EQ(Plain("{\\rtf1 a\\par b\\line c\\\nd\\\r\ne}"), QStringLiteral("a\r\nb\r\nc\r\nd\r\ne"));
}

TEST(RtfReading, LineEndsInTheFileItselfAreNotText) {
    EXPECT_EQ(Plain("{\\rtf1 one\r\ntwo\rthree\nfour}"), QStringLiteral("onetwothreefour"));
}

TEST(RtfReading, TableCellsAreTabSeparatedAndRowsEndLines) {
    const QByteArray rtf =
        "{\\rtf1\\trowd\\cellx1000\\cellx2000\\cellx3000 \\intbl A\\cell\\cell B\\cell\\row "
        "\\trowd\\cellx1000\\cellx2000 \\intbl C\\cell D\\cell\\row}";
    EXPECT_EQ(Plain(rtf), QStringLiteral("A\t\tB\r\nC\tD\r\n"));
}

TEST(RtfReading, NestedTableCellsAndRowsAreSeparatedLikeOuterOnesAndTheirFlatCopyIsSkipped) {
    const QByteArray rtf =
        "{\\rtf1\\intbl\\itap2 a\\nestcell "
        "b\\nestcell{\\*\\nesttableprops\\trowd\\cellx1000\\cellx2000\\nestrow}"
        "{\\nonesttables a\\tab b\\par}\\itap1 outer\\cell{\\trowd\\cellx5000\\row}"
        "{\\header{\\*\\nesttableprops\\nestrow}}}";
    EXPECT_EQ(Plain(rtf), QStringLiteral("a\tb\r\nouter\r\n"));
}

TEST(RtfReading, HiddenTextIsLeftOut) {
    EXPECT_EQ(Plain("{\\rtf1 Visible{\\v  secret}\\v  also\\v0  shown\\v  more\\plain  plain\\par}"),
              QStringLiteral("Visible shown plain\r\n"));
}

TEST(RtfReading, SymbolFontCharactersAreTheirUnicodeMeaning) {
    const QByteArray rtf =
        "{\\rtf1\\ansi{\\fonttbl{\\f0\\froman\\fcharset0 Times;}{\\f3\\froman\\fcharset2 Symbol;}"
        "{\\f4\\fnil\\fcharset2{\\*\\panose 05000000000000000000}Wingdings;}{\\f5\\fnil\\fcharset2 "
        "Webdings;}}"
        "{\\listtext\\f3 \\'b7\\tab}One\\par{\\listtext\\f4 \\'a7\\tab}Two\\par"
        "{\\f3 a+b\\'b9p}{\\f3\\u-3913\\'b7}{\\f0 \\'b7}{\\f5 \\'b7}}";
    // A symbol font of glyphs not known here keeps its bytes as Windows-1252 reads them.
    EXPECT_EQ(Plain(rtf),
              QStringLiteral("\u2022\tOne\r\n\u25AA\tTwo\r\n\u03B1+\u03B2\u2260\u03C0\u2022\u00B7\u00B7"));
}

TEST(RtfReading, DoubleByteRunFontDecidesTheCodePageOfChineseUnderAWesternFont) {
    const QByteArray fonts =
        "{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0\\froman\\fcharset0 Times New Roman;}"
        "{\\f1\\fnil\\fcharset134 SimSun;}{\\f3\\froman\\fcharset2 Symbol;}}";
    const QByteArray xuexi = HexEscaped("GBK", QStringLiteral("学习"));
    // As Word writes runs: associated fonts for the other kinds, then the run's own kind.
    EXPECT_EQ(
        Plain(fonts + "\\f0\\hich\\af0\\dbch\\af1\\loch\\f0 Lesson " + xuexi + " caf\\hich\\f0 \\'e9\\par}"),
        QStringLiteral("Lesson 学习 café\r\n"));
    EXPECT_EQ(Plain(fonts + "{\\loch\\af0\\hich\\af0\\dbch\\f1 " + xuexi + "}{\\loch\\f0 Test}}"),
              QStringLiteral("学习Test"));
    EXPECT_EQ(Plain(fonts + "\\loch\\af3\\dbch\\af1\\hich\\f3 \\'b7}"), QStringLiteral("\u2022"));
    // A right-to-left script's font set after \\rtlch is not the double-byte one.
    EXPECT_EQ(Plain(fonts + "\\dbch\\af1\\rtlch\\af0\\ltrch\\f0 " + xuexi + "}"), QStringLiteral("学习"));
}

TEST(RtfReading, PunctuationWordsAndControlSymbols) {
    EXPECT_EQ(
        Plain("{\\rtf1 "
              "\\emdash\\endash\\bullet\\lquote\\rquote\\ldblquote\\rdblquote\\~\\-\\_\\tab\\\\\\{\\}}"),
        QStringLiteral("\u2014\u2013\u2022\u2018\u2019\u201C\u201D\u00A0-\t\\{}"));
}

TEST(RtfReading, BinarySkipsItsBytesEvenWhenTheyLookLikeMarkup) {
    // Five raw bytes "}{\\}x" inside the picture, then its closing brace; three raw bytes "{}}" in the text.
    EXPECT_EQ(Plain("{\\rtf1 A{\\pict\\bin5 }{\\}x}B\\bin3 {}}C}"), QStringLiteral("ABC"));
}

TEST(RtfReading, BinaryLengthPastTheEndStopsQuietly) {
    EXPECT_EQ(Plain("{\\rtf1 A\\bin99999999 xyz"), QStringLiteral("A"));
}

TEST(RtfReading, MissingClosingBracesKeepTheTextRead) {
    EXPECT_EQ(Plain("{\\rtf1 A{\\b B{\\i C"), QStringLiteral("ABC"));
}

TEST(RtfReading, TextAfterTheDocumentsLastBraceIsNotPartOfIt) {
    EXPECT_EQ(Plain("{\\rtf1 A}}B{C}"), QStringLiteral("A"));
}

TEST(RtfReading, HundredThousandNestedGroupsAreSkippedWithoutExhaustingTheStack) {
    const int depth = 100000;
    const QByteArray rtf = "{\\rtf1 " + QByteArray(depth, '{') + "deep" + QByteArray(depth, '}') + " after}";
    EXPECT_EQ(Plain(rtf), QStringLiteral(" after"));
}

TEST(RtfReading, ModeratelyNestedGroupsKeepTheirText) {
    const int depth = 500;
    const QByteArray rtf = "{\\rtf1 " + QByteArray(depth, '{') + "deep" + QByteArray(depth, '}') + " after}";
    EXPECT_EQ(Plain(rtf), QStringLiteral("deep after"));
}

TEST(RtfReading, EveryTruncationKeepsTheTextBeforeTheCut) {
    const QByteArray rtf = "{\\rtf1\\ansi\\ansicpg936{\\fonttbl{\\f0\\fcharset134 SimSun;}}\\f0 first\\par " +
                           HexEscaped("GBK", QStringLiteral("学习")) +
                           "\\u20013?\\bin2 xy{\\*\\x y}end\\par}";
    const QString full = Plain(rtf);
    ASSERT_EQ(full, QStringLiteral("first\r\n学习中end\r\n"));
    const qsizetype firstParagraphEnd = rtf.indexOf("\\par ") + 4;
    for (qsizetype cut = 0; cut < rtf.size(); ++cut) {
        const QString text = Plain(rtf.left(cut));
        EXPECT_LE(text.size(), full.size()) << cut;
        if (cut >= firstParagraphEnd) {
            EXPECT_TRUE(text.startsWith(u"first\r\n")) << cut;
        }
    }
}

TEST(RtfReading, RandomBytesNeverGiveMoreTextThanInput) {
    std::mt19937 random(20240607);
    const char alphabet[] = "{}\\'*uc0123456789abcdefbinparcelltx -\r\n\x80\xd6\xff";
    for (int round = 0; round < 300; ++round) {
        QByteArray rtf = "{\\rtf1 ";
        const int length = 1 + static_cast<int>(random() % 400);
        for (int i = 0; i < length; ++i)
            rtf += alphabet[random() % (sizeof(alphabet) - 1)];
        EXPECT_LE(Plain(rtf).size(), rtf.size()) << rtf.toStdString();
    }
}

TEST(RtfReading, ByteOrderMarkAndBlankLinesBeforeTheOpeningAreNotText) {
    EXPECT_EQ(RtfToPlainText("\xEF\xBB\xBF\r\n\r\n{\\rtf1\\ansi Hi\\par}"), QStringLiteral("Hi\r\n"));
    // The editor that wrote the mark wrote the unescaped text in UTF-8; escapes keep their code page.
    EXPECT_EQ(RtfToPlainText("\xEF\xBB\xBF{\\rtf1\\ansi\\ansicpg936 " + QStringLiteral("学习").toUtf8() +
                             " \\'d6\\'d0}"),
              QStringLiteral("学习 中"));
}

}  // namespace
}  // namespace ostrelle
