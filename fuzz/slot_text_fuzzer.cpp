// Stored segment texts: any text splits, and a slot text of two time texts splits back into them.
#include "core/formats/segment_text.h"
#include "fuzz_check.h"

#include <cstddef>
#include <cstdint>

namespace {

// Digits and colons, as the player's position texts are made of.
QString TimeLike(const uint8_t* data, size_t size) {
    QString text;
    for (size_t i = 0; i < size; ++i)
        text += data[i] % 11 == 10 ? QChar(u':') : QChar(u'0' + data[i] % 11);
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const ostrelle::ABPair any = ostrelle::ParseAB(QString::fromUtf8(bytes));
    FUZZ_CHECK(any.aText.size() + any.bText.size() <= bytes.size());

    if (size == 0) return 0;
    const size_t split = std::min<size_t>(data[0], size - 1);
    const QString a = TimeLike(data + 1, split);
    const QString b = TimeLike(data + 1 + split, size - 1 - split);
    // A "B" among the last two characters is no tag, so the B text needs two characters at least.
    if (b.size() < 2) return 0;
    const ostrelle::ABPair pair = ostrelle::ParseAB(ostrelle::SlotText(a, b));
    FUZZ_CHECK(pair.aText == a);
    FUZZ_CHECK(pair.bText == b);
    return 0;
}
