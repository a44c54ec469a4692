#include "text/word_fib.h"

namespace ostrelle {
namespace {

constexpr quint16 kWordIdent = 0xA5EC;
constexpr int kLastPre97Version = 105;  // Word 6 wrote 101, Word 95 104
constexpr qsizetype kFibBaseSize = 32;

// Indexes of the pairs (fc, lcb) in FibRgFcLcb97.
constexpr int kPairPlcfBteChpx = 12;
constexpr int kPairPlcfBtePapx = 13;
constexpr int kPairClx = 33;
constexpr int kIndexCcpText = 3;  // in FibRgLw97

Failure Fail(FailureCode code, const QString& detail) {
    return {code, detail};
}

}  // namespace

Result<WordFib> ParseWordFib(QByteArrayView doc) {
    if (doc.size() < kFibBaseSize + 2)
        return Fail(FailureCode::Damaged, QStringLiteral("the WordDocument stream is too short"));
    if (ReadU16(doc, 0) != kWordIdent)
        return Fail(FailureCode::Damaged, QStringLiteral("the WordDocument stream has no Word signature"));
    WordFib fib;
    fib.nFib = ReadU16(doc, 2);
    if (fib.nFib <= kLastPre97Version) {
        return Fail(
            FailureCode::UnsupportedVersion,
            QStringLiteral("unsupported Word version (file format %1, older than Word 97)").arg(fib.nFib));
    }
    const quint16 flags = ReadU16(doc, 0x0A);
    fib.complex = (flags & 0x0004) != 0;
    fib.encrypted = (flags & 0x0100) != 0;
    fib.tableStreamIsOne = (flags & 0x0200) != 0;
    if (fib.encrypted)
        return Fail(FailureCode::Encrypted, QStringLiteral("the document is encrypted (password-protected)"));

    // csw 16-bit words, cslw 32-bit longs, cbRgFcLcb (fc, lcb) pairs, each preceded by its count.
    qsizetype at = kFibBaseSize;
    const quint16 csw = ReadU16(doc, at);
    at += 2 + qsizetype(csw) * 2;
    if (at + 2 > doc.size()) return Fail(FailureCode::Damaged, QStringLiteral("the FIB is cut short"));
    const quint16 cslw = ReadU16(doc, at);
    const qsizetype rgLw = at + 2;
    at = rgLw + qsizetype(cslw) * 4;
    if (at + 2 > doc.size() || cslw <= kIndexCcpText)
        return Fail(FailureCode::Damaged, QStringLiteral("the FIB is cut short"));
    const quint16 pairs = ReadU16(doc, at);
    const qsizetype rgFcLcb = at + 2;
    if (pairs <= kPairClx || rgFcLcb + qsizetype(pairs) * 8 > doc.size())
        return Fail(FailureCode::Damaged, QStringLiteral("the FIB has no piece table entry"));

    fib.ccpText = ReadU32(doc, rgLw + kIndexCcpText * 4);
    auto pair = [&](int index, quint32& fc, quint32& lcb) {
        fc = ReadU32(doc, rgFcLcb + index * 8);
        lcb = ReadU32(doc, rgFcLcb + index * 8 + 4);
    };
    pair(kPairClx, fib.fcClx, fib.lcbClx);
    pair(kPairPlcfBteChpx, fib.fcPlcfBteChpx, fib.lcbPlcfBteChpx);
    pair(kPairPlcfBtePapx, fib.fcPlcfBtePapx, fib.lcbPlcfBtePapx);
    return fib;
}

}  // namespace ostrelle
