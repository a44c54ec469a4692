// Time texts: any text reads as a number, and what FormatSeconds and MarkText write reads back.
#include "core/formats/time_values.h"
#include "fuzz_check.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    (void)ostrelle::TimeTextToSeconds(QString::fromUtf8(bytes));
    (void)ostrelle::MarkTextToSeconds(QString::fromUtf8(bytes));
    (void)ostrelle::ShownTime(QString::fromUtf8(bytes));
    if (size % 2 == 0)
        (void)ostrelle::TimeTextToSeconds(
            QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()), bytes.size() / 2));

    if (size >= sizeof(double)) {
        double seconds;
        std::memcpy(&seconds, data, sizeof seconds);
        (void)ostrelle::FormatSeconds(seconds);
    }
    if (size >= sizeof(std::uint32_t)) {
        std::uint32_t raw;
        std::memcpy(&raw, data, sizeof raw);
        const std::int32_t whole = static_cast<std::int32_t>(raw % (24 * 3600));
        const QString text = ostrelle::FormatSeconds(whole);
        FUZZ_CHECK(ostrelle::TimeTextToSeconds(text) == whole);
        // A mark at the millisecond reads back to that millisecond.
        const double ms = static_cast<double>(raw % (24u * 3600u * 1000u));
        const QString mark = ostrelle::MarkText(ms / 1000);
        FUZZ_CHECK(std::llround(ostrelle::MarkTextToSeconds(mark) * 1000) == static_cast<long long>(ms));
    }
    return 0;
}
