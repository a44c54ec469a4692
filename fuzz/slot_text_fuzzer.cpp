// Stored segment texts: any text parses, a parsed segment writes back as it reads, and a segment of two
// marks taken to the millisecond reads back as those marks.
#include "core/formats/segment_text.h"
#include "fuzz_check.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const ostrelle::ABPair any = ostrelle::ParseAB(QString::fromUtf8(bytes));
    FUZZ_CHECK(any.a.ms >= 0 && any.b.ms >= 0);
    if (!any.blank) FUZZ_CHECK(ostrelle::ParseAB(ostrelle::SlotText(any)) == any);

    if (size < 8) return 0;
    std::uint32_t a = 0, b = 0;
    std::memcpy(&a, data, 4);
    std::memcpy(&b, data + 4, 4);
    // Up to about a day and a half, far past any lesson.
    const ostrelle::ABPair marked{{a % 100000000u}, {b % 100000000u}};
    FUZZ_CHECK(ostrelle::ParseAB(ostrelle::SlotText(marked)) == marked);
    return 0;
}
