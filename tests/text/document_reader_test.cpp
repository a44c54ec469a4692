#include "text/document_reader.h"

#include "docx_builder.h"
#include "support/test_files.h"
#include "word_document_builder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace ostrelle {
namespace {

class DocumentReading : public ::testing::Test {
protected:
    QString Write(const QString& name, const QByteArray& bytes) {
        return testing::WriteTestFile(dir_.filePath(name), bytes);
    }

    static QByteArray Gbk(const QString& text) { return QStringEncoder("GBK").encode(text); }

    static QByteArray WordDocument(const QString& text) {
        testing::WordDocumentLayout layout;
        layout.pieces.push_back({text, false});
        return testing::BuildWordDocument(layout);
    }

    QTemporaryDir dir_;
};

TEST_F(DocumentReading, ExtensionChoosesTheReaderWithoutRegardToCase) {
    EXPECT_EQ(LoadDocumentText(Write("LESSON.TXT", Gbk(QStringLiteral("课文")))).value(),
              QStringLiteral("课文"));
    EXPECT_EQ(LoadDocumentText(Write("Lesson.Lrc", "[00:01.00]Hello\n")).value(),
              QStringLiteral("[00:01.00]Hello\n"));
    EXPECT_EQ(LoadDocumentText(Write("Lesson.Rtf", "{\\rtf1 Hi\\par}")).value(), QStringLiteral("Hi\r\n"));
    EXPECT_EQ(LoadDocumentText(Write("Lesson.DOC", WordDocument(QStringLiteral("课文\r")))).value(),
              QStringLiteral("课文\r\n"));
}

TEST_F(DocumentReading, RtfFileThatIsNotRtfInsideIsShownAsPlainText) {
    const QByteArray plain = Gbk(QStringLiteral("第一课 {不是} \\rtf\r\n"));
    EXPECT_EQ(LoadDocumentText(Write("lesson.rtf", plain)).value(),
              QStringLiteral("第一课 {不是} \\rtf\r\n"));
}

TEST_F(DocumentReading, ContentDecidesHowRtfAndWordNamesAreRead) {
    const QByteArray rtf = "{\\rtf1\\ansi Saved by WordPad\\par}";
    EXPECT_EQ(LoadDocumentText(Write("lesson.doc", rtf)).value(), QStringLiteral("Saved by WordPad\r\n"));
    EXPECT_EQ(LoadDocumentText(Write("bom.doc", "\xEF\xBB\xBF\r\n \t\n" + rtf)).value(),
              QStringLiteral("Saved by WordPad\r\n"));
    EXPECT_EQ(LoadDocumentText(Write("word.rtf", WordDocument(QStringLiteral("课文\r")))).value(),
              QStringLiteral("课文\r\n"));
    EXPECT_EQ(LoadDocumentText(Write("plain.doc", "plain text")).failure().code,
              FailureCode::NotWordDocument);
    // A text file is shown as it is, markup included.
    EXPECT_EQ(LoadDocumentText(Write("markup.txt", rtf)).value(), QString::fromLatin1(rtf));
}

TEST_F(DocumentReading, FormatIsToldByContentAlone) {
    const std::pair<QByteArray, DocumentFormat> cases[] = {
        {"{\\rtf1}", DocumentFormat::Rtf},
        {"\xEF\xBB\xBF{\\rtf1}", DocumentFormat::Rtf},
        {"\n\r\n  {\\rtf1}", DocumentFormat::Rtf},
        {"text {\\rtf1}", DocumentFormat::PlainText},
        {"\xEF\xBB\xBFtext", DocumentFormat::PlainText},
        {"", DocumentFormat::PlainText},
        {WordDocument(QStringLiteral("x")), DocumentFormat::Word},
        {QByteArray("PK\x03\x04", 4), DocumentFormat::Docx},
        {QByteArray("\xDB\xA5\x2D\x00", 4), DocumentFormat::Word},
    };
    for (const auto& [bytes, format] : cases)
        EXPECT_EQ(DetectDocumentFormat(bytes), format) << bytes.left(16).toHex().constData();
}

TEST_F(DocumentReading, DocxIsReadUnderAWordNameOfAnyCaseAndAChinesePath) {
    const QByteArray docx = testing::BuildDocx(QStringLiteral("<w:p><w:r><w:t>课文</w:t></w:r></w:p>"));
    for (const char* name : {"第一课 'lesson'.docx", "LESSON.DOCX", "saved as.doc"})
        EXPECT_EQ(LoadDocumentText(Write(QString::fromUtf8(name), docx)).value(), QStringLiteral("课文\r\n"))
            << name;
}

TEST_F(DocumentReading, ZipThatHoldsNoWordDocumentIsNotAWordDocument) {
    const QByteArray zip = testing::BuildZip({{QStringLiteral("mimetype"), "application/zip"}});
    for (const char* name : {"lesson.docx", "lesson.doc"})
        EXPECT_EQ(LoadDocumentText(Write(name, zip)).failure().code, FailureCode::NotWordDocument) << name;
}

TEST_F(DocumentReading, OtherExtensionsAreAnUnknownKind) {
    EXPECT_EQ(LoadDocumentText(Write("lesson.mp3", "ID3")).failure().code, FailureCode::UnknownKind);
    EXPECT_EQ(LoadDocumentText(Write("lesson", "text")).failure().code, FailureCode::UnknownKind);
}

TEST_F(DocumentReading, FolderNamedLikeADocumentIsRefused) {
    ASSERT_TRUE(QDir(dir_.path()).mkdir("folder.doc"));
    EXPECT_EQ(LoadDocumentText(dir_.filePath("folder.doc")).failure().code, FailureCode::NotAFile);
}

#ifdef OSTRELLE_TEXT_TOOL
testing::ToolRun RunTool(const QString& path) {
    return testing::RunTool(QStringLiteral(OSTRELLE_TEXT_TOOL), {path});
}

TEST_F(DocumentReading, ToolPrintsThePaneTextInUtf8) {
    const testing::ToolRun run = RunTool(Write("lesson.doc", WordDocument(QStringLiteral("学习\r"))));
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, QStringLiteral("学习\r\n"));
    EXPECT_TRUE(run.err.isEmpty());
}

TEST_F(DocumentReading, ToolReportsAnErrorOnStandardErrorWithExitCodeOne) {
    testing::WordDocumentLayout layout;
    layout.pieces.push_back({QStringLiteral("secret\r"), true});
    layout.encrypted = true;
    const testing::ToolRun run = RunTool(Write("secret.doc", testing::BuildWordDocument(layout)));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_TRUE(run.err.contains("encrypted"));
}
#endif

}  // namespace
}  // namespace ostrelle
