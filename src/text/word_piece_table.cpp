#include "text/word_piece_table.h"

#include "text/word_fib.h"

namespace ostrelle {
namespace {

constexpr unsigned char kPrc = 0x01;
constexpr unsigned char kPcdt = 0x02;
constexpr qsizetype kPcdSize = 8;
constexpr quint32 kCompressedBit = 0x40000000;

std::optional<WordPieceTable> Fail(QString* reason, const QString& why) {
    if (reason) *reason = why;
    return std::nullopt;
}

}  // namespace

std::optional<WordPieceTable> WordPieceTable::Parse(QByteArrayView clx, QString* reason) {
    qsizetype at = 0;
    while (at < clx.size()) {
        const auto type = static_cast<unsigned char>(clx[at]);
        if (type == kPrc) {
            if (at + 3 > clx.size()) break;
            const auto grpprlBytes = static_cast<qint16>(ReadU16(clx, at + 1));
            if (grpprlBytes < 0)
                return Fail(reason, QStringLiteral("damaged piece table (negative property size)"));
            at += 3 + grpprlBytes;
            continue;
        }
        if (type != kPcdt)
            return Fail(reason, QStringLiteral("damaged piece table (unknown entry %1)").arg(type));
        if (at + 5 > clx.size()) break;
        const quint32 lcb = ReadU32(clx, at + 1);
        const qsizetype start = at + 5;
        if (lcb > quint32(clx.size() - start) || lcb < 4 + kPcdSize || (lcb - 4) % (4 + kPcdSize) != 0)
            return Fail(reason, QStringLiteral("damaged piece table (size %1 does not fit)").arg(lcb));
        const qsizetype count = (qsizetype(lcb) - 4) / (4 + kPcdSize);
        const qsizetype descriptors = start + (count + 1) * 4;
        WordPieceTable table;
        table.pieces_.reserve(static_cast<size_t>(count));
        for (qsizetype i = 0; i < count; ++i) {
            WordPiece piece;
            piece.cpStart = ReadU32(clx, start + i * 4);
            piece.cpEnd = ReadU32(clx, start + (i + 1) * 4);
            if (piece.cpEnd < piece.cpStart || (i > 0 && piece.cpStart < table.pieces_.back().cpEnd))
                return Fail(reason, QStringLiteral("damaged piece table (characters out of order)"));
            const quint32 fc = ReadU32(clx, descriptors + i * kPcdSize + 2);
            piece.compressed = (fc & kCompressedBit) != 0;
            const quint32 offset = fc & 0x3FFFFFFF;
            piece.byteOffset = piece.compressed ? offset / 2 : offset;
            table.pieces_.push_back(piece);
        }
        return table;
    }
    return Fail(reason, QStringLiteral("damaged piece table (no piece descriptors)"));
}

}  // namespace ostrelle
