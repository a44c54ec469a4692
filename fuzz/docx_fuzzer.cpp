// The .docx reader: a text or an error with a reason, never part of a text, and never more text than the
// document part has bytes. A mutated part inside a zip mostly fails its checksum, so the input is also read
// as a document part of its own.
#include "fuzz_check.h"
#include "text/docx_reader.h"
#include "text/wordprocessing_ml.h"

#include <cstddef>
#include <cstdint>

namespace {

// Small, so that inputs that unpack to a lot are refused quickly.
constexpr qint64 kMaxPartBytes = 1024 * 1024;

void Check(const ostrelle::TextReadResult& result, qint64 partBytes) {
    if (result.ok()) {
        // Each character of the text takes at least one byte of the XML (a line end is <w:br/>).
        FUZZ_CHECK(result.value().size() <= partBytes);
    } else {
        FUZZ_CHECK(!result.failure().detail.isEmpty());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    Check(ostrelle::DocxToPlainText(bytes, kMaxPartBytes), kMaxPartBytes);
    Check(ostrelle::WordprocessingMlToPlainText(bytes), bytes.size());
    return 0;
}
