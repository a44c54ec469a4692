// The plain-text decoder: any bytes decode, to no more characters than bytes.
#include "fuzz_check.h"
#include "text/text_decoding.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString text = ostrelle::DecodeTextFile(bytes);
    FUZZ_CHECK(text.size() <= bytes.size());
    (void)ostrelle::DecoderNameForDetectedCharset(bytes.left(32));
    return 0;
}
