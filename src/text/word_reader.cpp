#include "text/word_reader.h"

#include "text/field_nesting.h"
#include "text/ole_container.h"
#include "text/word_fib.h"
#include "text/word_piece_table.h"
#include "text/word_property_runs.h"

#include <array>

namespace ostrelle {
namespace {

constexpr quint16 kSprmPFTtp = 0x2417;             // paragraph ends a table row
constexpr quint16 kSprmPFInnerTtp = 0x244C;        // the same in a nested table
constexpr quint16 kSprmPFInnerTableCell = 0x244B;  // paragraph mark ends a nested table's cell
constexpr quint16 kSprmCFRMarkDel = 0x0800;        // text deleted with tracked changes
constexpr quint16 kSprmCFVanish = 0x083C;          // hidden text

// Bytes of compressed pieces: Windows-1252 as Word stores it, where 0x80..0x9F other than the listed
// punctuation stay control characters.
constexpr std::array<char16_t, 256> CompressedCharacters() {
    std::array<char16_t, 256> table{};
    for (int byte = 0; byte < 256; ++byte)
        table[byte] = static_cast<char16_t>(byte);
    const std::pair<int, char16_t> mapped[] = {
        {0x82, u'\u201A'}, {0x83, u'\u0192'}, {0x84, u'\u201E'}, {0x85, u'\u2026'}, {0x86, u'\u2020'},
        {0x87, u'\u2021'}, {0x88, u'\u02C6'}, {0x89, u'\u2030'}, {0x8A, u'\u0160'}, {0x8B, u'\u2039'},
        {0x8C, u'\u0152'}, {0x91, u'\u2018'}, {0x92, u'\u2019'}, {0x93, u'\u201C'}, {0x94, u'\u201D'},
        {0x95, u'\u2022'}, {0x96, u'\u2013'}, {0x97, u'\u2014'}, {0x98, u'\u02DC'}, {0x99, u'\u2122'},
        {0x9A, u'\u0161'}, {0x9B, u'\u203A'}, {0x9C, u'\u0153'}, {0x9F, u'\u0178'},
    };
    for (const auto& [byte, character] : mapped)
        table[byte] = character;
    return table;
}

constexpr std::array<char16_t, 256> kCompressed = CompressedCharacters();

Failure Fail(FailureCode code, const QString& detail) {
    return {code, detail};
}

// Turns the characters of the main text into the pane's plain text: control characters, fields, cells.
class TextAssembler {
public:
    TextAssembler(const WordPropertyRuns& rowEnds, const WordPropertyRuns& nestedCellEnds, QString& out)
        : rowEnds_(rowEnds), nestedCellEnds_(nestedCellEnds), out_(out) {}

    void Add(char16_t c, quint32 byteOffset) {
        if (c == 0x13) {  // field begin: its code follows
            fields_.Begin();
            return;
        }
        if (c == 0x14) {  // separator: the field's result follows
            fields_.Separate();
            return;
        }
        if (c == 0x15) {  // field end
            fields_.End();
            return;
        }
        if (fields_.InCode()) return;
        if (c >= 0x20) {
            out_.append(QChar(c));
            return;
        }
        switch (c) {
            case 0x09:
                out_.append(u'\t');
                break;
            case 0x07:
                if (rowEnds_.At(byteOffset).flagged) {
                    EndRow();
                } else {
                    out_.append(u'\t');
                }
                break;
            case 0x0D:  // paragraph end, or in a nested table the end of a cell or row
                if (rowEnds_.At(byteOffset).flagged) {
                    EndRow();
                } else if (nestedCellEnds_.At(byteOffset).flagged) {
                    out_.append(u'\t');
                } else {
                    out_.append(u"\r\n");
                }
                break;
            case 0x0B:  // line break
            case 0x0C:  // page or section break
            case 0x0E:  // column break
                out_.append(u"\r\n");
                break;
            case 0x1E:  // non-breaking hyphen
                out_.append(u'-');
                break;
            default:
                // 0x01 pictures, 0x08 drawn objects, 0x02 note references, 0x05 comment marks,
                // 0x1F optional hyphens and other control characters show nothing.
                break;
        }
    }

private:
    void EndRow() {
        if (out_.endsWith(u'\t')) out_.chop(1);  // the tab of the row's last cell
        out_.append(u"\r\n");
    }

    const WordPropertyRuns& rowEnds_;
    const WordPropertyRuns& nestedCellEnds_;
    QString& out_;
    FieldNesting fields_;
};

}  // namespace

TextReadResult WordToPlainText(const QByteArray& fileBytes) {
    if (fileBytes.startsWith("PK\x03\x04"))
        return Fail(FailureCode::NotWordDocument,
                    QStringLiteral("not a Word 97-2003 document (a zip container such as .docx)"));
    if (fileBytes.startsWith("\xDB\xA5") || fileBytes.startsWith("\x31\xBE\x00\x00"))
        return Fail(FailureCode::UnsupportedVersion,
                    QStringLiteral("unsupported Word version (Word 2 or Word for DOS)"));
    if (!OleContainer::HasSignature(fileBytes))
        return Fail(FailureCode::NotWordDocument, QStringLiteral("not a Word 97-2003 document"));

    QString reason;
    const auto ole = OleContainer::Open(fileBytes, &reason);
    if (!ole) return Fail(FailureCode::Damaged, reason);
    // Word keeps a password-protected .docx, zip and all, encrypted in this stream of an OLE2 file.
    if (!ole->HasStream("WordDocument") && ole->HasStream("EncryptedPackage"))
        return Fail(FailureCode::Encrypted,
                    QStringLiteral("the document is encrypted (a password-protected .docx)"));
    if (!ole->HasStream("WordDocument"))
        return Fail(FailureCode::NotWordDocument,
                    QStringLiteral("not a Word 97-2003 document (no WordDocument stream)"));
    // No stream is larger than the file that holds it, whatever a damaged directory claims.
    const qint64 maxStreamBytes = fileBytes.size();
    const auto document = ole->Stream("WordDocument", maxStreamBytes);
    if (!document)
        return Fail(FailureCode::Damaged, QStringLiteral("the WordDocument stream cannot be read"));

    const Result<WordFib> parsed = ParseWordFib(*document);
    if (!parsed.ok()) return parsed.failure();
    const WordFib& fib = parsed.value();

    const char* tableName = fib.tableStreamIsOne ? "1Table" : "0Table";
    const auto table = ole->Stream(tableName, maxStreamBytes);
    if (!table)
        return Fail(FailureCode::Damaged,
                    QStringLiteral("the %1 stream is missing").arg(QLatin1StringView(tableName)));
    if (fib.lcbClx == 0) {
        if (!fib.complex)
            return Fail(FailureCode::UnsupportedVersion,
                        QStringLiteral("unsupported Word version (no piece table)"));
        return Fail(FailureCode::Damaged, QStringLiteral("the fast-saved document has no piece table"));
    }
    const auto inTable = [&](quint32 fc, quint32 lcb) { return qint64(fc) + qint64(lcb) <= table->size(); };
    if (!inTable(fib.fcClx, fib.lcbClx))
        return Fail(
            FailureCode::Damaged,
            QStringLiteral("the piece table lies outside the %1 stream").arg(QLatin1StringView(tableName)));
    // Every character takes at least one byte of the stream; a larger count is a damaged FIB.
    if (fib.ccpText > quint32(document->size()))
        return Fail(FailureCode::Damaged,
                    QStringLiteral("the text length %1 does not fit the document").arg(fib.ccpText));

    const QByteArrayView tableView(*table);
    const auto pieceTable = WordPieceTable::Parse(tableView.sliced(fib.fcClx, fib.lcbClx), &reason);
    if (!pieceTable) return Fail(FailureCode::Damaged, reason);

    const QByteArrayView doc(*document);
    auto binTable = [&](quint32 fc, quint32 lcb) {
        return inTable(fc, lcb) ? tableView.sliced(fc, lcb) : QByteArrayView();
    };
    const WordPropertyRuns rowEnds = WordPropertyRuns::Read(WordPropertyRuns::Kind::Paragraph,
                                                            binTable(fib.fcPlcfBtePapx, fib.lcbPlcfBtePapx),
                                                            doc, {kSprmPFTtp, kSprmPFInnerTtp});
    const WordPropertyRuns nestedCellEnds =
        WordPropertyRuns::Read(WordPropertyRuns::Kind::Paragraph,
                               binTable(fib.fcPlcfBtePapx, fib.lcbPlcfBtePapx), doc, {kSprmPFInnerTableCell});
    // Word shows neither deleted nor hidden text.
    const WordPropertyRuns leftOut = WordPropertyRuns::Read(WordPropertyRuns::Kind::Character,
                                                            binTable(fib.fcPlcfBteChpx, fib.lcbPlcfBteChpx),
                                                            doc, {kSprmCFRMarkDel, kSprmCFVanish});

    QString text;
    text.reserve(static_cast<qsizetype>(fib.ccpText) + 16);
    TextAssembler assembler(rowEnds, nestedCellEnds, text);
    const auto* bytes = reinterpret_cast<const unsigned char*>(doc.data());
    WordPropertyRuns::Span omission;  // begin == end: nothing looked up yet
    for (const WordPiece& piece : pieceTable->pieces()) {
        if (piece.cpStart >= fib.ccpText) break;
        const quint32 count = std::min(piece.cpEnd, fib.ccpText) - piece.cpStart;
        const qint64 width = piece.compressed ? 1 : 2;
        if (qint64(piece.byteOffset) + qint64(count) * width > doc.size())
            return Fail(FailureCode::Damaged,
                        QStringLiteral("a text piece lies outside the WordDocument stream"));
        for (quint32 i = 0; i < count; ++i) {
            const quint32 offset = piece.byteOffset + i * static_cast<quint32>(width);
            if (!leftOut.empty()) {
                if (offset < omission.begin || offset >= omission.end) omission = leftOut.At(offset);
                if (omission.flagged) continue;
            }
            const char16_t c = piece.compressed
                                   ? kCompressed[bytes[offset]]
                                   : static_cast<char16_t>(bytes[offset] | (bytes[offset + 1] << 8));
            assembler.Add(c, offset);
        }
    }
    return text;
}

}  // namespace ostrelle
