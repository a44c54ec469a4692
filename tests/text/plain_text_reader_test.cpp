#include "text/plain_text_reader.h"
#include "support/test_files.h"
#include "text/file_bytes.h"
#include "text/text_decoding.h"

#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace ostrelle {
namespace {

class PlainTextReading : public ::testing::Test {
protected:
    QString Write(const QString& name, const QByteArray& bytes) {
        return testing::WriteTestFile(dir_.filePath(name), bytes);
    }

    static QByteArray Encoded(const char* codec, const QString& text) {
        QStringEncoder encoder(codec);
        EXPECT_TRUE(encoder.isValid()) << codec;
        return encoder.encode(text);
    }

    QTemporaryDir dir_;
};

const QString kChinese = QStringLiteral("学习语言需要每天练习听力。\r\n第二行：听写。");
const QString kTraditional =
    QStringLiteral("學習語言需要每天練習聽力。在資訊科技快速發展的今天，開發的速度是不容忽視的課題。");

TEST_F(PlainTextReading, Utf8ByteOrderMarkDecidesAndIsNotShown) {
    const TextReadResult result = LoadPlainText(Write("bom8.txt", "\xEF\xBB\xBF" + kChinese.toUtf8()));
    ASSERT_TRUE(result.ok()) << result.failure().detail.toStdString();
    EXPECT_EQ(result.value(), kChinese);
}

TEST_F(PlainTextReading, Utf16LittleEndianByteOrderMarkDecides) {
    const TextReadResult result = LoadPlainText(Write("le.txt", "\xFF\xFE" + Encoded("UTF-16LE", kChinese)));
    EXPECT_EQ(result.value(), kChinese);
}

TEST_F(PlainTextReading, Utf16BigEndianByteOrderMarkDecides) {
    const TextReadResult result = LoadPlainText(Write("be.txt", "\xFE\xFF" + Encoded("UTF-16BE", kChinese)));
    EXPECT_EQ(result.value(), kChinese);
}

TEST_F(PlainTextReading, ValidUtf8WithoutByteOrderMarkIsUtf8) {
    EXPECT_EQ(LoadPlainText(Write("utf8.lrc", kChinese.toUtf8())).value(), kChinese);
}

TEST_F(PlainTextReading, LineEndsAreKeptExactlyAsInTheFile) {
    const QByteArray mixed = "one\r\ntwo\nthree\rfour\r\n\r\n";
    EXPECT_EQ(LoadPlainText(Write("ends.txt", mixed)).value(), QString::fromLatin1(mixed));
}

TEST_F(PlainTextReading, GbkWithoutByteOrderMarkReadsAsChinese) {
    const QByteArray gbk = Encoded("GBK", kChinese);
    ASSERT_NE(gbk, kChinese.toUtf8());
    EXPECT_EQ(LoadPlainText(Write("gbk.txt", gbk)).value(), kChinese);
}

TEST_F(PlainTextReading, ShortGbkIsReadAsChineseRatherThanASingleByteCodePage) {
    for (const QString& shortText : {QStringLiteral("课文"), QStringLiteral("第一课 听力练习\r\n")})
        EXPECT_EQ(LoadPlainText(Write("short.txt", Encoded("GBK", shortText))).value(), shortText);
}

TEST_F(PlainTextReading, BytesValidAsUtf8AndGbkReadAsTheEverydayText) {
    QString longGbk;
    QString longRussian;
    for (int i = 1; i <= 200; ++i) {
        longGbk += QStringLiteral("%1. 学习\r\n").arg(i);
        longRussian += QStringLiteral("Привет, мир! Как дела? Молоко и хлеб. ");
    }
    const std::pair<const char*, QString> cases[] = {
        {"GBK", QStringLiteral("学习")},
        {"GBK", QStringLiteral("没")},
        {"GBK", longGbk},
        {"UTF-8", QStringLiteral("学习")},
        {"UTF-8", QStringLiteral("молоко")},
        {"UTF-8", QStringLiteral("Привет, мир!")},
        {"UTF-8", longRussian},
        {"UTF-8", QStringLiteral("café à 25°C")},
    };
    for (const auto& [codec, text] : cases) {
        const QByteArray bytes = Encoded(codec, text);
        for (const char* reading : {"UTF-8", "GB18030"}) {
            QStringDecoder decoder(reading, QStringDecoder::Flag::Stateless);
            (void)QString(decoder.decode(bytes));
            ASSERT_FALSE(decoder.hasError()) << "not valid both ways: " << text.left(20).toStdString();
        }
        EXPECT_EQ(DecodeTextFile(bytes), text) << codec << ": " << text.left(20).toStdString();
    }
}

TEST_F(PlainTextReading, Big5IsDetectedRatherThanReadAsGb18030) {
    EXPECT_EQ(LoadPlainText(Write("big5.txt", Encoded("Big5", kTraditional))).value(), kTraditional);
}

TEST_F(PlainTextReading, ShiftJisIsDetected) {
    const QString japanese =
        QStringLiteral("日本語の文章を読みます。これはテストです。毎日少しずつ練習しましょう。");
    EXPECT_EQ(LoadPlainText(Write("sjis.txt", Encoded("Shift_JIS", japanese))).value(), japanese);
}

TEST_F(PlainTextReading, WesternEightBitTextIsDetected) {
    const QString french =
        QStringLiteral("Les Précieuses ridicules, Molière. L'École du mensonge, café crème à la française.");
    EXPECT_EQ(LoadPlainText(Write("latin.txt", Encoded("windows-1252", french))).value(), french);
}

TEST_F(PlainTextReading, EmptyFileIsEmptyText) {
    const TextReadResult result = LoadPlainText(Write("empty.txt", {}));
    EXPECT_TRUE(result.ok());
    EXPECT_TRUE(result.value().isEmpty());
}

TEST_F(PlainTextReading, MissingFileCannotBeOpened) {
    const TextReadResult result = LoadPlainText(dir_.filePath("absent.txt"));
    EXPECT_EQ(result.failure().code, FailureCode::CannotRead);
    EXPECT_TRUE(result.failure().detail.contains("absent.txt"));
}

TEST_F(PlainTextReading, FolderIsRefused) {
    EXPECT_EQ(LoadPlainText(dir_.path()).failure().code, FailureCode::NotAFile);
}

TEST_F(PlainTextReading, FifoWithoutWriterIsRefusedWithoutWaiting) {
    const QString path = dir_.filePath("pipe.lrc");
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    EXPECT_EQ(LoadPlainText(path).failure().code, FailureCode::NotAFile);
}

TEST_F(PlainTextReading, SparseFourGigabyteFileIsRefusedUnread) {
    const QString path = Write("huge.txt", "x");
    QFile file(path);
    ASSERT_TRUE(file.resize(qint64(4) * 1024 * 1024 * 1024));
    const TextReadResult result = LoadPlainText(path);
    EXPECT_EQ(result.failure().code, FailureCode::TooLarge);
    EXPECT_TRUE(result.failure().detail.contains("too large"));
}

TEST_F(PlainTextReading, SizeLimitAllowsExactlyTheLimit) {
    const QString path = Write("ten.txt", "0123456789");
    EXPECT_TRUE(ReadFileBytes(path, 10).ok());
    EXPECT_EQ(ReadFileBytes(path, 9).failure().code, FailureCode::TooLarge);
}

}  // namespace
}  // namespace ostrelle
