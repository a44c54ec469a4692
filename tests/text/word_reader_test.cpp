#include "text/word_reader.h"

#include "word_document_builder.h"

#include <QFile>

#include <gtest/gtest.h>

#include <random>

namespace ostrelle {
namespace {

using testing::BuildOleContainer;
using testing::BuildWordDocument;
using testing::WordDocumentLayout;

QString Utf16(const char16_t* text) {
    return QString::fromUtf16(text);
}

TextReadResult Read(const WordDocumentLayout& layout) {
    return WordToPlainText(BuildWordDocument(layout));
}

WordDocumentLayout OnePiece(const QString& text, bool compressed = false) {
    WordDocumentLayout layout;
    layout.pieces.push_back({text, compressed});
    return layout;
}

TEST(WordReading, Utf16PieceKeepsChineseAndCharactersBeyondTheBasicPlane) {
    const TextReadResult result = Read(OnePiece(Utf16(u"学习中文 \U0001F600\r")));
    ASSERT_TRUE(result.ok()) << result.failure().detail.toStdString();
    EXPECT_EQ(result.value(), Utf16(u"学习中文 \U0001F600\r\n"));
}

TEST(WordReading, CompressedPieceIsWindows1252WithWordsPunctuation) {
    const QString stored =
        QString(QChar(0x93)) + "Hi" + QChar(0x94) + QChar(0x85) + QChar(0x96) + QChar(0xE9) + "\r";
    const TextReadResult result = Read(OnePiece(stored, true));
    ASSERT_TRUE(result.ok()) << result.failure().detail.toStdString();
    EXPECT_EQ(result.value(), Utf16(u"\u201CHi\u201D\u2026\u2013\u00E9\r\n"));
}

TEST(WordReading, PiecesAreReadInCharacterOrderNotStorageOrder) {
    WordDocumentLayout layout;
    layout.pieces = {{"First piece, ", true}, {Utf16(u"第二块"), false}, {", third.\r", true}};
    layout.storeReversed = true;
    layout.complex = true;
    EXPECT_EQ(Read(layout).value(), Utf16(u"First piece, 第二块, third.\r\n"));
}

TEST(WordReading, OnlyTheMainTextIsShown) {
    WordDocumentLayout layout = OnePiece("Main text\rHeader text\r");
    layout.ccpText = 10;
    EXPECT_EQ(Read(layout).value(), QStringLiteral("Main text\r\n"));
}

TEST(WordReading, FieldCodesAreDroppedAndResultsKept) {
    const QString text = QStringLiteral(
        "See \x13 HYPERLINK \"http://x\" \x14here\x15. "
        "\x13 IF \x13 PAGE \x14"
        "1\x15 = 1 \"yes\" \x14yes\x15!\x13 TC \"entry\" \x15\r");
    EXPECT_EQ(Read(OnePiece(text)).value(), QStringLiteral("See here. yes!\r\n"));
}

TEST(WordReading, CellsAreTabSeparatedAndRowEndsEndLines) {
    // Row 1: "a", an empty cell, "b" (cell marks 1, 2, 4, row end 5); row 2: "c", "d" (7, 9, row end 10).
    WordDocumentLayout layout =
        OnePiece(QStringLiteral("a\x07\x07"
                                "b\x07\x07"
                                "c\x07"
                                "d\x07\x07"
                                "after\r"));
    layout.rowEndPositions = {5, 10};
    const TextReadResult result = Read(layout);
    ASSERT_TRUE(result.ok()) << result.failure().detail.toStdString();
    EXPECT_EQ(result.value(), QStringLiteral("a\t\tb\r\nc\td\r\nafter\r\n"));
}

TEST(WordReading, NestedTableCellsAreSeparatedLikeOuterOnes) {
    // An outer cell holding a nested row "a" | "b" (cell marks 1, 3, row end 4), then "outer" and the
    // outer cell mark 10 and row end 11.
    WordDocumentLayout layout =
        OnePiece(QStringLiteral("a\rb\r\router\x07\x07"
                                "after\r"));
    layout.nestedCellEndPositions = {1, 3, 4};
    layout.nestedRowEndPositions = {4};
    layout.rowEndPositions = {11};
    const TextReadResult result = Read(layout);
    ASSERT_TRUE(result.ok()) << result.failure().detail.toStdString();
    EXPECT_EQ(result.value(), QStringLiteral("a\tb\r\nouter\r\nafter\r\n"));
}

TEST(WordReading, BreaksAndControlCharacters) {
    const QString text = QStringLiteral(
        "line\x0Bpage\x0C"
        "co\x1Eop\x1Ftion\x01\x08\x02 end\r");
    EXPECT_EQ(Read(OnePiece(text)).value(), QStringLiteral("line\r\npage\r\nco-option end\r\n"));
}

TEST(WordReading, DeletedAndHiddenTextIsLeftOut) {
    WordDocumentLayout layout = OnePiece(QStringLiteral("Kept. Deleted words. Kept too. Hidden.\r"));
    layout.deletedRanges = {{6, 21}};
    layout.hiddenRanges = {{30, 38}};
    EXPECT_EQ(Read(layout).value(), QStringLiteral("Kept. Kept too.\r\n"));
}

TEST(WordReading, EncryptedDocumentIsReportedAsEncrypted) {
    WordDocumentLayout layout = OnePiece("secret\r");
    layout.encrypted = true;
    const TextReadResult result = Read(layout);
    EXPECT_EQ(result.failure().code, FailureCode::Encrypted);
    EXPECT_TRUE(result.failure().detail.contains("encrypted"));
}

TEST(WordReading, Word95DocumentIsAnUnsupportedVersion) {
    WordDocumentLayout layout = OnePiece("old\r");
    layout.nFib = 104;
    const TextReadResult result = Read(layout);
    EXPECT_EQ(result.failure().code, FailureCode::UnsupportedVersion);
    EXPECT_TRUE(result.failure().detail.contains("unsupported Word version"));
}

TEST(WordReading, DocumentWithoutPieceTableIsAnUnsupportedVersion) {
    WordDocumentLayout layout = OnePiece("no pieces\r");
    layout.writePieceTable = false;
    EXPECT_EQ(Read(layout).failure().code, FailureCode::UnsupportedVersion);
}

TEST(WordReading, TableStreamNamedByTheFibIsUsed) {
    WordDocumentLayout layout = OnePiece("zero table\r");
    layout.tableStreamIsOne = false;
    EXPECT_EQ(Read(layout).value(), QStringLiteral("zero table\r\n"));
}

TEST(WordReading, MissingTableStreamIsDamaged) {
    WordDocumentLayout layout = OnePiece("text\r");
    layout.writeTableStream = false;
    const TextReadResult result = Read(layout);
    EXPECT_EQ(result.failure().code, FailureCode::Damaged);
    EXPECT_TRUE(result.failure().detail.contains("1Table"));
}

TEST(WordReading, PieceOutsideTheStreamIsDamaged) {
    WordDocumentLayout layout = OnePiece("text\r");
    layout.firstPieceByteOffset = 0x3FFFFF00;
    EXPECT_EQ(Read(layout).failure().code, FailureCode::Damaged);
}

TEST(WordReading, TextLengthBeyondTheStreamIsDamaged) {
    WordDocumentLayout layout = OnePiece("text\r");
    layout.ccpText = 1'000'000'000;
    EXPECT_EQ(Read(layout).failure().code, FailureCode::Damaged);
}

TEST(WordReading, ZipContainerIsNotAWordDocument) {
    const TextReadResult result = WordToPlainText(QByteArray("PK\x03\x04", 4) + QByteArray(100, 'x'));
    EXPECT_EQ(result.failure().code, FailureCode::NotWordDocument);
    EXPECT_TRUE(result.failure().detail.contains("not a Word 97-2003 document"));
}

TEST(WordReading, OleFileWithoutWordDocumentStreamIsNotAWordDocument) {
    const QByteArray workbook = BuildOleContainer({{"Workbook", QByteArray(5000, 'w')}});
    EXPECT_EQ(WordToPlainText(workbook).failure().code, FailureCode::NotWordDocument);
}

TEST(WordReading, PasswordProtectedDocxIsEncrypted) {
    // Word keeps a password-protected .docx, zip and all, encrypted in an OLE2 file.
    const QByteArray protectedDocx = BuildOleContainer(
        {{"EncryptionInfo", QByteArray(200, '\x04')}, {"EncryptedPackage", QByteArray(5000, '\x5A')}});
    const TextReadResult result = WordToPlainText(protectedDocx);
    EXPECT_EQ(result.failure().code, FailureCode::Encrypted);
    EXPECT_TRUE(result.failure().detail.contains("password-protected .docx"));
}

TEST(WordReading, GarbageAfterTheOleSignatureIsDamaged) {
    const QByteArray garbage = QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1") + QByteArray(3000, '\x5A');
    EXPECT_EQ(WordToPlainText(garbage).failure().code, FailureCode::Damaged);
}

TEST(WordReading, TruncatedDocumentIsAnErrorNeverPartText) {
    const QByteArray whole = BuildWordDocument(OnePiece(QString(3000, u'x') + "\r"));
    ASSERT_TRUE(WordToPlainText(whole).ok());
    for (qsizetype cut : {qsizetype(8), qsizetype(512), whole.size() / 2, whole.size() - 512}) {
        const TextReadResult result = WordToPlainText(whole.left(cut));
        EXPECT_FALSE(result.ok()) << cut;
    }
}

TEST(WordReading, CorruptedBytesGiveTextOrAnErrorButNeverCrash) {
    WordDocumentLayout layout =
        OnePiece(QStringLiteral("Cell\x07\x07"
                                "Field \x13 PAGE \x14"
                                "1\x15\r"));
    layout.rowEndPositions = {5};
    const QByteArray whole = BuildWordDocument(layout);
    std::mt19937 random(7);
    int readable = 0;
    for (int round = 0; round < 400; ++round) {
        QByteArray damaged = whole;
        for (int flips = 0; flips < 8; ++flips)
            damaged[static_cast<qsizetype>(random() % damaged.size())] = static_cast<char>(random());
        const TextReadResult result = WordToPlainText(damaged);
        if (result.ok()) {
            ++readable;
            EXPECT_LE(result.value().size(), 2 * damaged.size());
        } else {
            EXPECT_FALSE(result.failure().detail.isEmpty());
        }
    }
    EXPECT_GT(readable, 0);  // most flips land in unused sectors
}

// Where the directory entry of the root storage lies in an OLE2 file, found through the header.
qsizetype RootEntryOffset(const QByteArray& file) {
    const auto byte = [&](qsizetype at) { return quint32(static_cast<unsigned char>(file[at])); };
    const quint32 shift = byte(0x1E) | byte(0x1F) << 8;
    const quint32 firstDirectorySector = byte(0x30) | byte(0x31) << 8 | byte(0x32) << 16 | byte(0x33) << 24;
    return (qsizetype(firstDirectorySector) + 1) << shift;
}

// Found by fuzzing: libgsf keeps entries it reaches as siblings of the root in no folder and never frees
// them, so such a directory is refused before libgsf reads it.
TEST(WordReading, ARootEntryWithSiblingsIsDamaged) {
    QByteArray file = BuildWordDocument(OnePiece("text\r"));
    ASSERT_TRUE(WordToPlainText(file).ok());
    const qsizetype root = RootEntryOffset(file);
    ASSERT_EQ(file[root + 0x42], '\x05') << "the builder's first entry is the root storage";
    for (qsizetype sibling : {root + 0x44, root + 0x48}) {
        QByteArray damaged = file;
        damaged.replace(sibling, 4, QByteArray("\x01\0\0\0", 4));
        const TextReadResult result = WordToPlainText(damaged);
        EXPECT_EQ(result.failure().code, FailureCode::Damaged);
    }
}

TEST(WordReading, FuzzedFileWhoseDirectoryStartsWithAStreamIsDamaged) {
    QFile file(QStringLiteral(OSTRELLE_REGRESSION_INPUTS "/word/directory-starts-with-a-stream.doc"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const TextReadResult result = WordToPlainText(file.readAll());
    EXPECT_EQ(result.failure().code, FailureCode::Damaged);
}

TEST(WordReading, ADirectoryThatStartsWithAStreamIsDamaged) {
    QByteArray file = BuildWordDocument(OnePiece("text\r"));
    const qsizetype root = RootEntryOffset(file);
    file[root + 0x42] = '\x02';
    EXPECT_EQ(WordToPlainText(file).failure().code, FailureCode::Damaged);
}

}  // namespace
}  // namespace ostrelle
