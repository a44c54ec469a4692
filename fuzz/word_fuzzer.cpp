// The Word 97 reader and its OLE2 container: a text or an error with a reason, never part of a text.
#include "fuzz_check.h"
#include "text/word_reader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const ostrelle::TextReadResult result = ostrelle::WordToPlainText(bytes);
    if (result.ok()) {
        // Each character of the main text takes at least one byte of the file and gives at most CR LF.
        FUZZ_CHECK(result.value().size() <= 2 * bytes.size());
    } else {
        FUZZ_CHECK(!result.failure().detail.isEmpty());
    }
    return 0;
}
