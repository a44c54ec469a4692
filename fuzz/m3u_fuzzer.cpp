// The list file reader: any bytes give entries in line order, one per non-comment line at most.
#include "core/formats/m3u.h"
#include "fuzz_check.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    // ".m3u8" is read as UTF-8, ".m3u" by detection: both paths are fuzzed.
    for (const char* listPath : {"/lessons/list.m3u", "/lessons/list.m3u8"}) {
        const std::vector<ostrelle::M3uEntry> entries =
            ostrelle::ParseM3u(bytes, QString::fromLatin1(listPath));
        FUZZ_CHECK(entries.size() <= size);
        int previous = -1;
        for (const ostrelle::M3uEntry& entry : entries) {
            FUZZ_CHECK(entry.lineNumber > previous);
            FUZZ_CHECK(!entry.path.isEmpty());
            previous = entry.lineNumber;
        }
    }
    return 0;
}
