#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace ostrelle {

// A mark's place in its file. Marks are taken to the millisecond; a list marked before that holds whole
// seconds, written as the position was shown then, and such a mark keeps its form until it is moved.
struct MarkTime {
    enum class Form {
        Milliseconds,         // "MM:SS.mmm", "H:MM:SS.mmm"
        MinutesSeconds,       // "MM:SS"
        HoursMinutesSeconds,  // "HH:MM:SS"
    };
    std::int64_t ms = 0;
    Form form = Form::Milliseconds;

    // To the millisecond; never before the file's start.
    static MarkTime At(double seconds) {
        return {std::isfinite(seconds) && seconds > 0 ? std::llround(seconds * 1000) : 0};
    }
    double Seconds() const { return static_cast<double>(ms) / 1000; }
    friend bool operator==(const MarkTime&, const MarkTime&) = default;
};

// One stored segment. A slot that could not be read as one (no B, no A) is blank: it keeps its place in
// the list, so that list indexes stay slot numbers, but is never repeated.
struct ABPair {
    MarkTime a;
    MarkTime b;
    bool blank = false;
    friend bool operator==(const ABPair&, const ABPair&) = default;
};

// A file's segments in slot order.
using ABList = std::vector<ABPair>;

}  // namespace ostrelle
