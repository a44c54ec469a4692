#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

namespace ostrelle::testing {

// A minimal Word 97 document written for tests and benchmarks: an OLE2 container (libgsf's writer)
// holding a WordDocument stream with a FIB and the text, and a table stream with the piece table and, when
// asked for, one paragraph and one character formatting page.
struct WordDocumentLayout {
    struct Piece {
        QString text;
        bool compressed = false;  // one Windows-1252 byte per character, else UTF-16LE
    };
    std::vector<Piece> pieces;
    // Pieces are stored in the stream in reverse order, as fast-saved files do, when set.
    bool storeReversed = false;
    std::optional<quint32> ccpText;  // the main text length; all the text when unset
    int nFib = 193;
    bool encrypted = false;
    bool complex = false;
    bool tableStreamIsOne = true;
    bool writeTableStream = true;
    bool writePieceTable = true;
    // Character positions of 0x07 marks that end a table row (paragraph formatting with TTP set).
    std::vector<quint32> rowEndPositions;
    // Character positions of paragraph marks that end a nested table's cell, and its row.
    std::vector<quint32> nestedCellEndPositions;
    std::vector<quint32> nestedRowEndPositions;
    // Character ranges [first, end) marked deleted with tracked changes, and hidden.
    std::vector<std::pair<quint32, quint32>> deletedRanges;
    std::vector<std::pair<quint32, quint32>> hiddenRanges;
    // Written into the first piece descriptor instead of where its text really is.
    std::optional<quint32> firstPieceByteOffset;
};

// The .doc file's bytes.
QByteArray BuildWordDocument(const WordDocumentLayout& layout);

// An OLE2 container holding the named streams.
QByteArray BuildOleContainer(const std::vector<std::pair<const char*, QByteArray>>& streams);

}  // namespace ostrelle::testing
