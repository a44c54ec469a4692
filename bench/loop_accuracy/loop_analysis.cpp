#include "loop_analysis.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace ostrelle::bench {

namespace {

constexpr float kSilence = 1e-3f;
constexpr std::size_t kAnchorSamples = 1024;
constexpr double kAnchorLeadSeconds = 0.5;
// A frame is correct when it follows the reference closely for a whole millisecond.
constexpr double kCorrectRunSeconds = 0.001;

bool Audible(float sample) {
    return std::fabs(sample) > kSilence;
}

// Decoding after a seek may differ from a decode from the start by rounding, never by more than this.
bool CloseToReference(float emitted, float reference) {
    return std::fabs(emitted - reference) <= 0.01f + 0.02f * std::fabs(reference);
}

// Where window sits in the reference: least squared difference over [from, to).
std::optional<long> Locate(const float* window, std::size_t length, const std::vector<float>& reference,
                           long from, long to) {
    from = std::max(0L, from);
    to = std::min(to, static_cast<long>(reference.size()) - static_cast<long>(length));
    double energy = 0;
    for (std::size_t j = 0; j < length; ++j)
        energy += double(window[j]) * window[j];
    double best = std::numeric_limits<double>::max();
    long bestAt = -1;
    for (long at = from; at < to; ++at) {
        double difference = 0;
        for (std::size_t j = 0; j < length && difference < best; ++j) {
            const double d = double(window[j]) - reference[at + j];
            difference += d * d;
        }
        if (difference < best) {
            best = difference;
            bestAt = at;
        }
    }
    // The match must leave no more than 1% of the window's energy unexplained.
    if (bestAt < 0 || best > 0.01 * energy) return std::nullopt;
    return bestAt;
}

}  // namespace

std::vector<std::vector<float>> SplitAtSilences(const std::vector<float>& recording, int rate,
                                                double minGapSeconds) {
    std::vector<std::vector<float>> passes;
    const std::size_t minGap = static_cast<std::size_t>(minGapSeconds * rate);
    std::size_t i = 0;
    while (i < recording.size()) {
        while (i < recording.size() && !Audible(recording[i]))
            ++i;
        if (i == recording.size()) break;
        const std::size_t start = i;
        std::size_t lastAudible = i;
        while (i < recording.size() && i - lastAudible < minGap) {
            if (Audible(recording[i])) lastAudible = i;
            ++i;
        }
        passes.emplace_back(recording.begin() + start, recording.begin() + lastAudible + 1);
        i = lastAudible + 1;
    }
    return passes;
}

std::optional<PassResult> MeasurePass(const std::vector<float>& pass, const Timeline& reference, double a,
                                      double b) {
    const long rate = reference.rate;
    const auto firstIt = std::find_if(pass.begin(), pass.end(), Audible);
    const auto lastIt = std::find_if(pass.rbegin(), pass.rend(), Audible);
    if (firstIt == pass.end()) return std::nullopt;
    const long first = firstIt - pass.begin();
    const long last = static_cast<long>(pass.size()) - 1 - (lastIt - pass.rbegin());
    const long lead = static_cast<long>(kAnchorLeadSeconds * rate);
    if (last - first < 2 * lead + static_cast<long>(kAnchorSamples)) return std::nullopt;

    // Place the start of the pass in the source by its content a little after the restart, where any
    // restart fault has passed, then walk back to the first frame that is right.
    const long startAnchor = first + lead;
    const auto startAt = Locate(pass.data() + startAnchor, kAnchorSamples, reference.samples,
                                std::lround((a - 0.3) * rate) + lead, std::lround((a + 0.3) * rate) + lead);
    if (!startAt) return std::nullopt;
    const long startShift = *startAt - startAnchor;
    const long run = std::max(1L, std::lround(kCorrectRunSeconds * rate));
    long firstCorrect = -1;
    long matching = 0;
    for (long i = first; i <= startAnchor && firstCorrect < 0; ++i) {
        const long source = i + startShift;
        const bool correct = source >= 0 && source < static_cast<long>(reference.samples.size()) &&
                             Audible(pass[i]) && CloseToReference(pass[i], reference.samples[source]);
        matching = correct ? matching + 1 : 0;
        if (matching == run) firstCorrect = i - run + 1;
    }
    if (firstCorrect < 0) return std::nullopt;

    // Place the end the same way, a little before the last audible sample.
    const long endAnchor = last - lead - static_cast<long>(kAnchorSamples);
    const double expectedEnd = b - kAnchorLeadSeconds - double(kAnchorSamples) / rate;
    const auto endAt =
        Locate(pass.data() + endAnchor, kAnchorSamples, reference.samples,
               std::lround((expectedEnd - 0.3) * rate), std::lround((expectedEnd + 0.3) * rate));
    if (!endAt) return std::nullopt;
    const long endShift = *endAt - endAnchor;

    PassResult result;
    result.restartMs = (double(firstCorrect + startShift) / rate - a) * 1000.0;
    result.pastBMs = std::max(0.0, (double(last + 1 + endShift) / rate - b) * 1000.0);
    return result;
}

}  // namespace ostrelle::bench
