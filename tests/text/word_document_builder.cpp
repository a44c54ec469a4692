#include "word_document_builder.h"

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-output.h>
#include <gsf/gsf-utils.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <stdexcept>

namespace ostrelle::testing {
namespace {

constexpr int kPage = 512;
constexpr int kTextStart = 1024;  // after the FIB
constexpr int kPairs = 0x5D;      // (fc, lcb) pairs of a Word 97 FIB

void PutU16(QByteArray& bytes, qsizetype at, quint32 value) {
    bytes[at] = static_cast<char>(value & 0xFF);
    bytes[at + 1] = static_cast<char>((value >> 8) & 0xFF);
}

void PutU32(QByteArray& bytes, qsizetype at, quint32 value) {
    PutU16(bytes, at, value & 0xFFFF);
    PutU16(bytes, at + 2, value >> 16);
}

void AppendU32(QByteArray& bytes, quint32 value) {
    bytes.append(4, '\0');
    PutU32(bytes, bytes.size() - 4, value);
}

QByteArray Encode(const WordDocumentLayout::Piece& piece) {
    QByteArray bytes;
    for (QChar c : piece.text) {
        if (piece.compressed) {
            bytes.append(static_cast<char>(c.unicode() & 0xFF));
        } else {
            bytes.append(static_cast<char>(c.unicode() & 0xFF));
            bytes.append(static_cast<char>(c.unicode() >> 8));
        }
    }
    return bytes;
}

struct PlacedPiece {
    quint32 cpStart;
    quint32 cpEnd;
    quint32 byteOffset;
    bool compressed;
};

quint32 ByteOffsetOf(const std::vector<PlacedPiece>& pieces, quint32 cp) {
    for (const PlacedPiece& piece : pieces) {
        if (cp >= piece.cpStart && cp < piece.cpEnd)
            return piece.byteOffset + (cp - piece.cpStart) * (piece.compressed ? 1 : 2);
    }
    throw std::invalid_argument("character position outside the text");
}

quint32 WidthAt(const std::vector<PlacedPiece>& pieces, quint32 cp) {
    for (const PlacedPiece& piece : pieces)
        if (cp >= piece.cpStart && cp < piece.cpEnd) return piece.compressed ? 1 : 2;
    return 2;
}

struct FlaggedRun {
    quint32 begin;
    quint32 end;
    quint16 sprm;
};

// One formatting page: runs [begin, end) of characters whose property list sets a sprm, the gaps between
// them without properties. Paragraph pages hold a style and the sprm; character pages the sprm alone.
QByteArray FormattingPage(bool paragraph, std::vector<FlaggedRun> flagged) {
    std::sort(flagged.begin(), flagged.end(),
              [](const FlaggedRun& a, const FlaggedRun& b) { return a.begin < b.begin; });
    struct Boundary {
        quint32 start;
        std::optional<quint16> sprm;
    };
    std::vector<Boundary> boundaries;
    quint32 end = 0;
    for (const FlaggedRun& run : flagged) {
        if (!boundaries.empty() && run.begin > end) boundaries.push_back({end, std::nullopt});
        boundaries.push_back({run.begin, run.sprm});
        end = run.end;
    }
    const int runs = static_cast<int>(boundaries.size());
    if (runs == 0 || runs > (paragraph ? 0x1D : 0x65))
        throw std::invalid_argument("too many formatting runs");
    QByteArray page(kPage, '\0');
    for (int i = 0; i < runs; ++i)
        PutU32(page, i * 4, boundaries[i].start);
    PutU32(page, runs * 4, end);
    // One property list per sprm, from near the end of the page down.
    std::vector<quint16> sprms;
    auto propertiesOf = [&](quint16 sprm) {
        const auto found = std::find(sprms.begin(), sprms.end(), sprm);
        const int index = static_cast<int>(found - sprms.begin());
        if (found == sprms.end()) sprms.push_back(sprm);
        const int at = 0x1F0 - index * 0x10;
        if (paragraph) {
            page[at] = 3;  // 2 * 3 - 1 bytes: style 0, then the sprm and its operand
            PutU16(page, at + 3, sprm);
            page[at + 5] = 1;
        } else {
            page[at] = 3;
            PutU16(page, at + 1, sprm);
            page[at + 3] = 1;
        }
        return at;
    };
    const int entries = (runs + 1) * 4;
    for (int i = 0; i < runs; ++i) {
        const char offset =
            boundaries[i].sprm ? static_cast<char>(propertiesOf(*boundaries[i].sprm) / 2) : '\0';
        page[entries + (paragraph ? i * 13 : i)] = offset;
    }
    page[kPage - 1] = static_cast<char>(runs);
    return page;
}

QByteArray BinTable(quint32 first, quint32 last, quint32 pageNumber) {
    QByteArray table;
    AppendU32(table, first);
    AppendU32(table, last);
    AppendU32(table, pageNumber);
    return table;
}

void WriteStream(GsfOutfile* ole, const char* name, const QByteArray& bytes) {
    GsfOutput* child = gsf_outfile_new_child(ole, name, FALSE);
    gsf_output_write(child, static_cast<size_t>(bytes.size()),
                     reinterpret_cast<const guint8*>(bytes.constData()));
    gsf_output_close(child);
    g_object_unref(child);
}

}  // namespace

QByteArray BuildOleContainer(const std::vector<std::pair<const char*, QByteArray>>& streams) {
    gsf_init();
    GsfOutput* sink = gsf_output_memory_new();
    GsfOutfile* ole = gsf_outfile_msole_new(sink);
    for (const auto& [name, bytes] : streams)
        WriteStream(ole, name, bytes);
    gsf_output_close(GSF_OUTPUT(ole));
    g_object_unref(ole);
    const QByteArray bytes(
        reinterpret_cast<const char*>(gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(sink))),
        static_cast<qsizetype>(gsf_output_size(sink)));
    g_object_unref(sink);  // closed with the container
    return bytes;
}

QByteArray BuildWordDocument(const WordDocumentLayout& layout) {
    QByteArray document(kTextStart, '\0');
    std::vector<PlacedPiece> placed(layout.pieces.size());
    quint32 cp = 0;
    for (size_t i = 0; i < layout.pieces.size(); ++i) {
        const auto length = static_cast<quint32>(layout.pieces[i].text.size());
        placed[i] = {cp, cp + length, 0, layout.pieces[i].compressed};
        cp += length;
    }
    const quint32 totalCharacters = cp;
    for (size_t n = 0; n < layout.pieces.size(); ++n) {
        const size_t i = layout.storeReversed ? layout.pieces.size() - 1 - n : n;
        placed[i].byteOffset = static_cast<quint32>(document.size());
        document.append(Encode(layout.pieces[i]));
    }

    // Formatting pages after the text, on 512-byte boundaries.
    QByteArray paragraphBins;
    QByteArray characterBins;
    auto addPage = [&](bool paragraph, const std::vector<FlaggedRun>& runs) {
        document.append((kPage - document.size() % kPage) % kPage, '\0');
        const auto pageNumber = static_cast<quint32>(document.size() / kPage);
        document.append(FormattingPage(paragraph, runs));
        quint32 first = runs.front().begin;
        quint32 last = runs.front().end;
        for (const FlaggedRun& run : runs) {
            first = std::min(first, run.begin);
            last = std::max(last, run.end);
        }
        return BinTable(first, last, pageNumber);
    };
    std::vector<FlaggedRun> paragraphRuns;
    auto addMarks = [&](const std::vector<quint32>& positions, quint16 sprm) {
        for (quint32 position : positions) {
            const quint32 offset = ByteOffsetOf(placed, position);
            paragraphRuns.push_back({offset, offset + WidthAt(placed, position), sprm});
        }
    };
    addMarks(layout.rowEndPositions, 0x2417);
    addMarks(layout.nestedCellEndPositions, 0x244B);
    addMarks(layout.nestedRowEndPositions, 0x244C);
    if (!paragraphRuns.empty()) paragraphBins = addPage(true, paragraphRuns);
    std::vector<FlaggedRun> characterRuns;
    auto addRanges = [&](const std::vector<std::pair<quint32, quint32>>& ranges, quint16 sprm) {
        for (const auto& [first, end] : ranges)
            characterRuns.push_back({ByteOffsetOf(placed, first),
                                     ByteOffsetOf(placed, end - 1) + WidthAt(placed, end - 1), sprm});
    };
    addRanges(layout.deletedRanges, 0x0800);
    addRanges(layout.hiddenRanges, 0x083C);
    if (!characterRuns.empty()) characterBins = addPage(false, characterRuns);

    // Table stream: the Clx (only a Pcdt), then the bin tables.
    QByteArray table;
    QByteArray plcPcd;
    for (const PlacedPiece& piece : placed)
        AppendU32(plcPcd, piece.cpStart);
    AppendU32(plcPcd, totalCharacters);
    for (size_t i = 0; i < placed.size(); ++i) {
        const PlacedPiece& piece = placed[i];
        const quint32 offset =
            i == 0 ? layout.firstPieceByteOffset.value_or(piece.byteOffset) : piece.byteOffset;
        plcPcd.append(2, '\0');
        AppendU32(plcPcd, piece.compressed ? (offset * 2) | 0x40000000 : offset);
        plcPcd.append(2, '\0');
    }
    const auto clxOffset = static_cast<quint32>(table.size());
    if (layout.writePieceTable) {
        table.append('\x02');
        AppendU32(table, static_cast<quint32>(plcPcd.size()));
        table.append(plcPcd);
    }
    const auto clxSize = static_cast<quint32>(table.size()) - clxOffset;
    const auto paragraphBinsOffset = static_cast<quint32>(table.size());
    table.append(paragraphBins);
    const auto characterBinsOffset = static_cast<quint32>(table.size());
    table.append(characterBins);

    // The FIB: base, 14 words, 22 longs (ccpText is the fourth), 0x5D (fc, lcb) pairs.
    PutU16(document, 0, 0xA5EC);
    PutU16(document, 2, static_cast<quint32>(layout.nFib));
    quint32 flags = 0;
    if (layout.complex) flags |= 0x0004;
    if (layout.encrypted) flags |= 0x0100;
    if (layout.tableStreamIsOne) flags |= 0x0200;
    PutU16(document, 0x0A, flags);
    PutU16(document, 0x20, 14);
    const int longs = 0x22 + 14 * 2;
    PutU16(document, longs, 22);
    PutU32(document, longs + 2, static_cast<quint32>(document.size()));
    PutU32(document, longs + 2 + 3 * 4, layout.ccpText.value_or(totalCharacters));
    const int pairs = longs + 2 + 22 * 4;
    PutU16(document, pairs, kPairs);
    auto putPair = [&](int index, quint32 fc, quint32 lcb) {
        PutU32(document, pairs + 2 + index * 8, fc);
        PutU32(document, pairs + 2 + index * 8 + 4, lcb);
    };
    putPair(12, characterBinsOffset, static_cast<quint32>(characterBins.size()));
    putPair(13, paragraphBinsOffset, static_cast<quint32>(paragraphBins.size()));
    putPair(33, clxOffset, clxSize);

    std::vector<std::pair<const char*, QByteArray>> streams{{"WordDocument", document}};
    if (layout.writeTableStream) streams.push_back({layout.tableStreamIsOne ? "1Table" : "0Table", table});
    return BuildOleContainer(streams);
}

}  // namespace ostrelle::testing
