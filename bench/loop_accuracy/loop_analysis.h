#pragma once

#include <cstddef>
#include <optional>
#include <vector>

namespace ostrelle::bench {

// One channel of decoded audio; sample i is source time i / rate.
struct Timeline {
    int rate = 0;
    std::vector<float> samples;
};

// What one pass of the loop sounded like, against the reference decode of the whole file.
struct PassResult {
    double restartMs = 0;  // source position of the first correct frame minus A
    double pastBMs = 0;    // audible source after B
};

// Splits a continuous recording into passes at silences longer than minGapSeconds.
std::vector<std::vector<float>> SplitAtSilences(const std::vector<float>& recording, int rate,
                                                double minGapSeconds);

// Measures a pass (as emitted, from its first sample) against the reference. Empty when the pass
// cannot be placed in the reference at all.
std::optional<PassResult> MeasurePass(const std::vector<float>& pass, const Timeline& reference, double a,
                                      double b);

}  // namespace ostrelle::bench
