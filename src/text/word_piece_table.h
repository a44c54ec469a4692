#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>
#include <vector>

namespace ostrelle {

// One run of text of a Word document: characters [cpStart, cpEnd) are stored at byteOffset of the
// WordDocument stream, one Windows-1252 byte each when compressed, else UTF-16LE.
struct WordPiece {
    quint32 cpStart = 0;
    quint32 cpEnd = 0;
    quint32 byteOffset = 0;
    bool compressed = false;
};

// The piece table (Clx) from the table stream: Prc entries are passed over, the Pcdt gives the pieces in
// character order.
class WordPieceTable {
public:
    // The pieces, or nothing with a reason when the Clx is malformed.
    static std::optional<WordPieceTable> Parse(QByteArrayView clx, QString* reason);

    const std::vector<WordPiece>& pieces() const { return pieces_; }

private:
    std::vector<WordPiece> pieces_;
};

}  // namespace ostrelle
