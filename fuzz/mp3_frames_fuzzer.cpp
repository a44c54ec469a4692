// The MP3 and ADTS frame walks that measure a file's length: any bytes, read inside their bounds only, give
// a count no frame of which is smaller than its header, and a finite length.
#include "adapters/gst/adts_frame_scanner.h"
#include "adapters/gst/mp3_frame_scanner.h"
#include "fuzz_check.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    if (const auto mp3 = ostrelle::CountMp3Frames(bytes)) {
        FUZZ_CHECK(mp3->audioFrames >= 0 && static_cast<std::size_t>(mp3->audioFrames) * 4 <= size);
        FUZZ_CHECK(mp3->skippedBytes >= 0 && static_cast<std::size_t>(mp3->skippedBytes) <= size);
        FUZZ_CHECK(std::isfinite(mp3->Seconds()) && mp3->Seconds() >= 0);
    }
    if (const auto aac = ostrelle::CountAdtsFrames(bytes)) {
        FUZZ_CHECK(aac->frames >= 0 && static_cast<std::size_t>(aac->frames) * 7 <= size);
        FUZZ_CHECK(std::isfinite(aac->Seconds()) && aac->Seconds() >= 0);
    }
    (void)ostrelle::Id3v2TagsEnd(bytes);
    return 0;
}
