#include "text/docx_reader.h"

#include "docx_builder.h"
#include "text/word_reader.h"
#include "word_document_builder.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace ostrelle {
namespace {

using testing::BuildDocx;
using testing::BuildZip;
using testing::DocumentXml;

QString Utf16(const char16_t* text) {
    return QString::fromUtf16(text);
}

QString Read(const QString& body) {
    const TextReadResult result = DocxToPlainText(BuildDocx(body));
    EXPECT_TRUE(result.ok()) << result.failure().detail.toStdString();
    return result.ok() ? result.value() : QString();
}

// The same document saved as a .doc: its text in one UTF-16 piece, with the table marks it needs.
QString ReadAsDoc(testing::WordDocumentLayout layout, const QString& text) {
    layout.pieces.push_back({text, false});
    const TextReadResult result = WordToPlainText(testing::BuildWordDocument(layout));
    EXPECT_TRUE(result.ok()) << result.failure().detail.toStdString();
    return result.ok() ? result.value() : QString();
}

QString Paragraph(const QString& runs) {
    return QStringLiteral("<w:p>%1</w:p>").arg(runs);
}

QString Cell(const QString& content) {
    return QStringLiteral("<w:tc><w:tcPr><w:tcW w:w=\"2000\" w:type=\"dxa\"/></w:tcPr>%1</w:tc>")
        .arg(content);
}

QString Row(const QStringList& cells) {
    return QStringLiteral("<w:tr>%1</w:tr>").arg(cells.join(QString()));
}

QString Table(const QStringList& rows) {
    return QStringLiteral("<w:tbl><w:tblPr/><w:tblGrid><w:gridCol w:w=\"2000\"/></w:tblGrid>%1</w:tbl>")
        .arg(rows.join(QString()));
}

QString Text(const QString& text) {
    return QStringLiteral("<w:r><w:t>%1</w:t></w:r>").arg(text);
}

TEST(DocxReading, ParagraphsTabsAndBreaksReadAsTheSameDocumentSavedAsDoc) {
    const QString docx =
        Read(Paragraph(Text(Utf16(u"学习")) +
                       Utf16(u"<w:r><w:tab/><w:t xml:space=\"preserve\">中文 \U0001F600 </w:t><w:br/>"
                             u"<w:t>第二行</w:t></w:r>")) +
             Paragraph(QStringLiteral("<w:r><w:t>co</w:t><w:noBreakHyphen/><w:t>op</w:t><w:softHyphen/>"
                                      "<w:t>tion</w:t><w:cr/><w:t>end</w:t><w:br w:type=\"page\"/></w:r>")) +
             QStringLiteral("<w:p/>"));
    EXPECT_EQ(docx, Utf16(u"学习\t中文 \U0001F600 \r\n第二行\r\nco-option\r\nend\r\n\r\n\r\n"));
    EXPECT_EQ(docx, ReadAsDoc({}, Utf16(u"学习\t中文 \U0001F600 \x0B第二行\rco\x1Eop\x1Ftion\x0B"
                                        u"end\x0C\r\r")));
}

TEST(DocxReading, TableCellsAndRowsReadAsTheSameTableSavedAsDoc) {
    // Row 1: "a", an empty cell, "b"; row 2: a cell of two paragraphs, "d".
    const QString flat =
        Read(Table({Row({Cell(Paragraph(Text("a"))), Cell("<w:p/>"), Cell(Paragraph(Text("b")))}),
                    Row({Cell(Paragraph(Text("c1")) + Paragraph(Text("c2"))), Cell(Paragraph(Text("d")))})}) +
             Paragraph(Text("after")));
    EXPECT_EQ(flat, QStringLiteral("a\t\tb\r\nc1\r\nc2\td\r\nafter\r\n"));
    testing::WordDocumentLayout flatLayout;
    flatLayout.rowEndPositions = {5, 14};
    EXPECT_EQ(flat, ReadAsDoc(flatLayout, QStringLiteral("a\x07\x07"
                                                         "b\x07\x07"
                                                         "c1\rc2\x07"
                                                         "d\x07\x07"
                                                         "after\r")));

    // An outer cell holding a nested row "a" | "b", then "outer".
    const QString nested =
        Read(Table({Row({Cell(Table({Row({Cell(Paragraph(Text("a"))), Cell(Paragraph(Text("b")))})}) +
                              Paragraph(Text("outer")))})}) +
             Paragraph(Text("after")));
    EXPECT_EQ(nested, QStringLiteral("a\tb\r\nouter\r\nafter\r\n"));
    testing::WordDocumentLayout nestedLayout;
    nestedLayout.nestedCellEndPositions = {1, 3, 4};
    nestedLayout.nestedRowEndPositions = {4};
    nestedLayout.rowEndPositions = {11};
    EXPECT_EQ(nested, ReadAsDoc(nestedLayout, QStringLiteral("a\rb\r\router\x07\x07"
                                                             "after\r")));
}

TEST(DocxReading, OnlyTheTextWordShowsInTheMainTextIsRead) {
    const std::pair<const char16_t*, const char16_t*> cases[] = {
        // Blanks around a run's text count only when marked to be kept.
        {u"<w:r><w:t> a </w:t><w:t xml:space=\"preserve\"> b </w:t></w:r>", u"a b \r\n"},
        // Tracked changes: deleted and moved-away text is gone, inserted and moved-here text is there.
        {u"<w:r><w:t xml:space=\"preserve\">Kept. </w:t></w:r><w:del w:id=\"1\"><w:r><w:delText>Deleted. "
         u"</w:delText></w:r></w:del><w:ins w:id=\"2\"><w:r><w:t>Inserted.</w:t></w:r></w:ins>"
         u"<w:moveFrom w:id=\"3\"><w:r><w:t>Moved</w:t></w:r></w:moveFrom>",
         u"Kept. Inserted.\r\n"},
        // Hidden text, unless hiding is turned off or was only the formatting before a tracked change.
        {u"<w:r><w:rPr><w:vanish/></w:rPr><w:t>Hidden</w:t></w:r><w:r><w:rPr><w:vanish w:val=\"false\"/>"
         u"</w:rPr><w:t>Shown</w:t></w:r><w:r><w:rPr><w:b/><w:rPrChange w:id=\"4\"><w:rPr><w:vanish/>"
         u"</w:rPr></w:rPrChange></w:rPr><w:t>Unhidden</w:t></w:r>",
         u"ShownUnhidden\r\n"},
        // Fields show their results, nested ones too, never their codes.
        {u"<w:r><w:t xml:space=\"preserve\">See </w:t><w:fldChar w:fldCharType=\"begin\"/></w:r>"
         u"<w:r><w:instrText> HYPERLINK \"http://x\" </w:instrText><w:fldChar w:fldCharType=\"separate\"/>"
         u"<w:t>here</w:t><w:fldChar w:fldCharType=\"end\"/></w:r><w:r><w:t xml:space=\"preserve\">; </w:t>"
         u"<w:fldChar w:fldCharType=\"begin\"/><w:instrText>IF </w:instrText><w:fldChar "
         u"w:fldCharType=\"begin\"/><w:instrText>PAGE</w:instrText><w:fldChar w:fldCharType=\"separate\"/>"
         u"<w:t>1</w:t><w:fldChar w:fldCharType=\"end\"/><w:instrText> = 1 \"yes\"</w:instrText><w:fldChar "
         u"w:fldCharType=\"separate\"/><w:t>yes</w:t><w:fldChar w:fldCharType=\"end\"/></w:r>"
         u"<w:fldSimple w:instr=\"PAGE\"><w:r><w:t>!</w:t></w:r></w:fldSimple>",
         u"See here; yes!\r\n"},
        // A text box is not main text; alternate content is read once, in its preferred form.
        {u"<w:r><w:drawing><wp:anchor><a:graphic><a:graphicData><wps:wsp><wps:txbx><w:txbxContent><w:p><w:r>"
         u"<w:t>Box</w:t></w:r></w:p></w:txbxContent></wps:txbx></wps:wsp></a:graphicData></a:graphic>"
         u"</wp:anchor></w:drawing><w:t>Main</w:t></w:r><mc:AlternateContent><mc:Choice Requires=\"w14\">"
         u"<w:r><w:t>New</w:t></w:r></mc:Choice><mc:Fallback><w:r><w:t>Old</w:t></w:r></mc:Fallback>"
         u"</mc:AlternateContent>",
         u"MainNew\r\n"},
        // Ruby: the text is read, not the reading above it.
        {u"<w:r><w:ruby><w:rubyPr/><w:rt><w:r><w:t>xué</w:t></w:r></w:rt><w:rubyBase><w:r><w:t>学</w:t>"
         u"</w:r></w:rubyBase></w:ruby></w:r>",
         u"学\r\n"},
        // Tab stops are formatting, not tabs.
        {u"<w:pPr><w:tabs><w:tab w:val=\"left\" w:pos=\"720\"/></w:tabs></w:pPr><w:r><w:t>x</w:t></w:r>",
         u"x\r\n"},
    };
    for (const auto& [runs, expected] : cases)
        EXPECT_EQ(Read(Paragraph(Utf16(runs))), Utf16(expected)) << QString::fromUtf16(runs).toStdString();
}

TEST(DocxReading, DeletedParagraphMarksAndRowsAreGone) {
    const QString deletedMark = QStringLiteral("<w:pPr><w:rPr><w:del w:id=\"1\"/></w:rPr></w:pPr>");
    EXPECT_EQ(Read(Paragraph(deletedMark + Text("One ")) + Paragraph(Text("line"))),
              QStringLiteral("Oneline\r\n"));
    const QString deletedRow =
        QStringLiteral("<w:tr><w:trPr><w:del w:id=\"2\"/></w:trPr>") +
        Cell(Paragraph("<w:del w:id=\"3\"><w:r><w:delText>gone</w:delText></w:r></w:del>")) +
        QStringLiteral("</w:tr>");
    EXPECT_EQ(Read(Table({Row({Cell(Paragraph(Text("kept")))}), deletedRow})), QStringLiteral("kept\r\n"));
}

TEST(DocxReading, DocumentPartIsTheOneTheRelationshipsName) {
    EXPECT_EQ(DocxToPlainText(BuildDocx(Paragraph(Text("x")), QStringLiteral("word/document2.xml"))).value(),
              QStringLiteral("x\r\n"));
}

// Sets the unpacked size a zip's local and central headers give for an entry.
QByteArray ClaimUnpackedSize(QByteArray zip, const QByteArray& name, quint32 size) {
    const auto patch = [&](const QByteArray& signature, qsizetype nameAt, qsizetype sizeAt) {
        for (qsizetype at = zip.indexOf(signature); at >= 0; at = zip.indexOf(signature, at + 1)) {
            if (zip.mid(at + nameAt, name.size()) != name) continue;
            for (int i = 0; i < 4; ++i)
                zip[at + sizeAt + i] = static_cast<char>((size >> (8 * i)) & 0xFF);
        }
    };
    patch("PK\x03\x04", 30, 22);
    patch("PK\x01\x02", 46, 24);
    return zip;
}

TEST(DocxReading, DocumentPartUnpackingPastTheLimitIsTooLargeWhateverItsHeadersClaim) {
    // A few kilobytes that unpack to a megabyte.
    const QByteArray bomb = BuildDocx(Paragraph(Text(QString(1024 * 1024, u'x'))));
    ASSERT_LT(bomb.size(), 16 * 1024);
    EXPECT_TRUE(DocxToPlainText(bomb).ok());
    const qint64 limit = 64 * 1024;
    for (const QByteArray& bytes : {bomb, ClaimUnpackedSize(bomb, "word/document.xml", 1000)}) {
        const TextReadResult result = DocxToPlainText(bytes, limit);
        EXPECT_EQ(result.failure().code, FailureCode::TooLarge) << result.failure().detail.toStdString();
        EXPECT_TRUE(result.failure().detail.contains("word/document.xml"));
    }
}

TEST(DocxReading, UnreadableDocumentsGiveTheirFailure) {
    const QByteArray docx = BuildDocx(Paragraph(Text(QString(2000, u'x'))));
    const QByteArray documentXml = DocumentXml(Paragraph(Text("x")));
    const QByteArray contentTypes = "<Types/>";
    // A byte of the deflated document part flipped: its data no longer unpacks or matches its checksum.
    QByteArray flipped = docx;
    const qsizetype partName = flipped.indexOf("word/document.xml", flipped.indexOf("_rels/.rels"));
    flipped[partName + 40] = static_cast<char>(flipped[partName + 40] ^ 0x55);
    struct Case {
        const char* what;
        QByteArray bytes;
        FailureCode code;
        const char* detail;
    };
    const Case cases[] = {
        {"plain text", "plain text", FailureCode::NotWordDocument, "no zip container"},
        {"zip signature only", "PK\x03\x04", FailureCode::Damaged, "zip container is damaged"},
        {"cut short", docx.left(docx.size() / 2), FailureCode::Damaged, "zip container is damaged"},
        {"last byte lost", docx.chopped(1), FailureCode::Damaged, "zip container is damaged"},
        {"flipped data", flipped, FailureCode::Damaged, "word/document.xml cannot be unpacked"},
        {"no document part", BuildZip({{"[Content_Types].xml", contentTypes}, {"content.xml", "<office/>"}}),
         FailureCode::NotWordDocument, "no word/document.xml"},
        {"not well-formed", BuildZip({{"word/document.xml", documentXml.chopped(12)}}), FailureCode::Damaged,
         "word/document.xml: the XML is not well-formed"},
        {"DTD", BuildZip({{"word/document.xml", "<!DOCTYPE w [<!ENTITY e \"eee\">]>" + documentXml}}),
         FailureCode::Damaged, "DTD"},
        {"other root", BuildZip({{"word/document.xml", "<workbook/>"}}), FailureCode::NotWordDocument,
         "root element is workbook"},
        {"zip password", BuildZip({{"word/document.xml", documentXml, true}}), FailureCode::Encrypted,
         "encrypted"},
    };
    for (const Case& c : cases) {
        const TextReadResult result = DocxToPlainText(c.bytes);
        ASSERT_FALSE(result.ok()) << c.what;
        EXPECT_EQ(result.failure().code, c.code) << c.what << ": " << result.failure().detail.toStdString();
        EXPECT_TRUE(result.failure().detail.contains(QLatin1StringView(c.detail)))
            << c.what << ": " << result.failure().detail.toStdString();
    }
}

}  // namespace
}  // namespace ostrelle
