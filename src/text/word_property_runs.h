#pragma once

#include <QByteArrayView>

#include <initializer_list>
#include <vector>

namespace ostrelle {

// The byte ranges of a Word document's WordDocument stream whose direct formatting sets a flag, read from
// a bin table and its 512-byte formatting pages (FKPs): e.g. paragraphs that end a table row, or text
// deleted with tracked changes.
class WordPropertyRuns {
public:
    enum class Kind { Paragraph, Character };

    // A range of bytes that is either flagged or not; `end` is where the answer may change.
    struct Span {
        bool flagged = false;
        quint32 begin = 0;
        quint32 end = 0;
    };

    // Runs whose property list holds one of sprms with an odd operand byte (on, or "not the style's").
    // A bin table or page that does not fit is passed over: the text still reads, only the flag is lost.
    static WordPropertyRuns Read(Kind kind, QByteArrayView binTable, QByteArrayView wordDocument,
                                 std::initializer_list<quint16> sprms);

    Span At(quint32 byteOffset) const;
    bool empty() const { return runs_.empty(); }

private:
    struct Run {
        quint32 begin;
        quint32 end;
    };
    void AddRun(quint32 begin, quint32 end);

    std::vector<Run> runs_;  // flagged, sorted by begin, not overlapping
};

}  // namespace ostrelle
