// The LRC and SRT readers: any text parses; nothing of it is lost; times are in order and in range.
#include "fuzz_check.h"
#include "text/text_decoding.h"
#include "text/timed_text.h"

#include <cstddef>
#include <cstdint>

namespace {

void Check(const ostrelle::TimedText& timed) {
    double last = -1;
    for (const ostrelle::TimedLine& line : timed.lines) {
        if (!line.seconds) continue;
        FUZZ_CHECK(*line.seconds >= 0 && *line.seconds <= 24 * 3600.0 + 1);
        FUZZ_CHECK(*line.seconds >= last);
        last = *line.seconds;
    }
    for (int i = 0; i < static_cast<int>(timed.lines.size()); ++i) {
        if (const auto next = timed.NextTimeAfter(i)) FUZZ_CHECK(*next > *timed.lines[i].seconds);
    }
    (void)timed.LineAt(last);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text =
        ostrelle::DecodeTextFile(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    const ostrelle::TimedText lrc = ostrelle::ParseLrc(text);
    Check(lrc);
    // Every non-blank line of the file shows up, whole or after its tags.
    FUZZ_CHECK(lrc.ShownText().size() <= text.size() + 1);
    Check(ostrelle::ParseSrt(text));
    return 0;
}
