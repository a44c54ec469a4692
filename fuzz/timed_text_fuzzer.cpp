// The LRC and SRT readers: any text parses into the file's own lines, with times in order and in range:
// never before the start, never past a day (a tag or cue that claims more is kept as text).
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
    const QString text = ostrelle::DecodeTextFile(
        QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    const ostrelle::TimedText lrc = ostrelle::ParseLrc(text);
    Check(lrc);
    // A shown line is the file's own text: a whole line, or what follows its tags.
    for (const ostrelle::TimedLine& line : lrc.lines)
        FUZZ_CHECK(text.contains(line.text));
    Check(ostrelle::ParseSrt(text));
    return 0;
}
