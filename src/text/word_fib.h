#pragma once

#include "text/text_read_result.h"

#include <QByteArrayView>
#include <QString>

namespace ostrelle {

// What the reader needs from the File Information Block at the start of a Word 97-2003 WordDocument
// stream ([MS-DOC] format). Offsets point into the table stream unless said otherwise.
struct WordFib {
    int nFib = 0;
    bool complex = false;  // fast-saved: text may lie in several pieces out of order
    bool encrypted = false;
    bool tableStreamIsOne = false;  // "1Table", else "0Table"
    quint32 ccpText = 0;            // characters of the main text, at the start of the text
    quint32 fcClx = 0;              // the piece table
    quint32 lcbClx = 0;
    quint32 fcPlcfBteChpx = 0;  // character formatting bin table
    quint32 lcbPlcfBteChpx = 0;
    quint32 fcPlcfBtePapx = 0;  // paragraph formatting bin table
    quint32 lcbPlcfBtePapx = 0;
};

// The FIB of a WordDocument stream. Word 6/95 and older give UnsupportedVersion, a password gives
// Encrypted, a FIB that does not fit the stream gives Damaged.
Result<WordFib> ParseWordFib(QByteArrayView wordDocument);

// Little-endian reads; the caller has checked the bounds.
inline quint16 ReadU16(QByteArrayView bytes, qsizetype at) {
    return static_cast<quint16>(static_cast<unsigned char>(bytes[at]) |
                                (static_cast<unsigned char>(bytes[at + 1]) << 8));
}
inline quint32 ReadU32(QByteArrayView bytes, qsizetype at) {
    return static_cast<quint32>(ReadU16(bytes, at)) | (static_cast<quint32>(ReadU16(bytes, at + 2)) << 16);
}

}  // namespace ostrelle
