#include "text/word_property_runs.h"

#include "text/word_fib.h"

#include <algorithm>
#include <limits>

namespace ostrelle {
namespace {

constexpr qsizetype kPageSize = 512;
constexpr quint16 kSprmTDefTable = 0xD608;
constexpr quint16 kSprmPChgTabs = 0xC615;

// The operand size of the sprm at `at`, or -1 when it cannot be known.
qsizetype OperandSize(QByteArrayView grpprl, qsizetype at, quint16 sprm) {
    switch (sprm >> 13) {
        case 0:
        case 1:
            return 1;
        case 2:
        case 4:
        case 5:
            return 2;
        case 3:
            return 4;
        case 7:
            return 3;
        default:
            break;
    }
    if (sprm == kSprmTDefTable) return at + 2 <= grpprl.size() ? qsizetype(ReadU16(grpprl, at)) + 1 : -1;
    if (at >= grpprl.size()) return -1;
    const auto size = static_cast<unsigned char>(grpprl[at]);
    if (sprm == kSprmPChgTabs && size == 255) return -1;
    return 1 + size;
}

bool SetsFlag(QByteArrayView grpprl, std::initializer_list<quint16> sprms) {
    qsizetype at = 0;
    while (at + 2 <= grpprl.size()) {
        const quint16 sprm = ReadU16(grpprl, at);
        at += 2;
        const qsizetype size = OperandSize(grpprl, at, sprm);
        if (size < 0 || at + size > grpprl.size()) return false;
        if (std::find(sprms.begin(), sprms.end(), sprm) != sprms.end() && size >= 1 &&
            (static_cast<unsigned char>(grpprl[at]) & 1) != 0)
            return true;
        at += size;
    }
    return false;
}

// The property list of run i of a formatting page, empty when it has none.
QByteArrayView RunProperties(WordPropertyRuns::Kind kind, QByteArrayView page, int runs, int i) {
    const qsizetype offsetsEnd = qsizetype(runs + 1) * 4;
    if (kind == WordPropertyRuns::Kind::Character) {
        const qsizetype at = qsizetype(static_cast<unsigned char>(page[offsetsEnd + i])) * 2;
        if (at == 0 || at >= kPageSize - 1) return {};
        const qsizetype size = static_cast<unsigned char>(page[at]);
        return page.sliced(at + 1, std::min(size, kPageSize - 1 - (at + 1)));
    }
    // Paragraphs: 13-byte entries whose first byte gives the offset; the list starts with a 2-byte style.
    const qsizetype at = qsizetype(static_cast<unsigned char>(page[offsetsEnd + qsizetype(i) * 13])) * 2;
    if (at == 0 || at >= kPageSize - 2) return {};
    qsizetype size = static_cast<unsigned char>(page[at]);
    qsizetype start = at + 1;
    if (size == 0) {
        size = qsizetype(static_cast<unsigned char>(page[at + 1])) * 2;
        start = at + 2;
    } else {
        size = size * 2 - 1;
    }
    size = std::min(size, kPageSize - 1 - start);
    if (size <= 2) return {};
    return page.sliced(start + 2, size - 2);
}

}  // namespace

WordPropertyRuns WordPropertyRuns::Read(Kind kind, QByteArrayView binTable, QByteArrayView wordDocument,
                                        std::initializer_list<quint16> sprms) {
    WordPropertyRuns result;
    if (binTable.size() < 12 || (binTable.size() - 4) % 8 != 0) return result;
    const qsizetype pages = (binTable.size() - 4) / 8;
    const int maxRuns = kind == Kind::Character ? 0x65 : 0x1D;
    // Each page is read once, so a bin table naming one page a million times costs nothing extra.
    std::vector<bool> seen(static_cast<size_t>(wordDocument.size() / kPageSize), false);
    for (qsizetype p = 0; p < pages; ++p) {
        const quint32 pageNumber = ReadU32(binTable, (pages + 1) * 4 + p * 4) & 0x3FFFFF;
        const qsizetype pageStart = qsizetype(pageNumber) * kPageSize;
        if (pageStart + kPageSize > wordDocument.size() || seen[pageNumber]) continue;
        seen[pageNumber] = true;
        const QByteArrayView page = wordDocument.sliced(pageStart, kPageSize);
        const int runs = static_cast<unsigned char>(page[kPageSize - 1]);
        if (runs == 0 || runs > maxRuns) continue;
        for (int i = 0; i < runs; ++i) {
            const quint32 begin = ReadU32(page, qsizetype(i) * 4);
            const quint32 end = ReadU32(page, qsizetype(i + 1) * 4);
            if (end <= begin) continue;
            if (SetsFlag(RunProperties(kind, page, runs, i), sprms)) result.AddRun(begin, end);
        }
    }
    std::sort(result.runs_.begin(), result.runs_.end(),
              [](const Run& a, const Run& b) { return a.begin < b.begin; });
    // Overlaps only come from damaged pages; merging keeps the lookup simple.
    std::vector<Run> merged;
    for (const Run& run : result.runs_) {
        if (!merged.empty() && run.begin <= merged.back().end) {
            merged.back().end = std::max(merged.back().end, run.end);
        } else {
            merged.push_back(run);
        }
    }
    result.runs_ = std::move(merged);
    return result;
}

void WordPropertyRuns::AddRun(quint32 begin, quint32 end) {
    if (!runs_.empty() && runs_.back().end == begin) {
        runs_.back().end = end;
        return;
    }
    runs_.push_back({begin, end});
}

WordPropertyRuns::Span WordPropertyRuns::At(quint32 byteOffset) const {
    // The first run that begins after the offset; the one before it may hold the offset.
    const auto next = std::upper_bound(runs_.begin(), runs_.end(), byteOffset,
                                       [](quint32 offset, const Run& run) { return offset < run.begin; });
    const quint32 nextBegin = next == runs_.end() ? std::numeric_limits<quint32>::max() : next->begin;
    if (next != runs_.begin()) {
        const Run& before = *(next - 1);
        if (byteOffset < before.end) return {true, before.begin, before.end};
        return {false, before.end, nextBegin};
    }
    return {false, 0, nextBegin};
}

}  // namespace ostrelle
