// The RTF reader: never fails, and its text stays in proportion to the document.
#include "fuzz_check.h"
#include "text/rtf_reader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView rtf(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString text = ostrelle::RtfToPlainText(rtf);
    // No byte of RTF gives more than two characters (a backslash before a line end gives CR LF).
    FUZZ_CHECK(text.size() <= 2 * rtf.size());
    return 0;
}
