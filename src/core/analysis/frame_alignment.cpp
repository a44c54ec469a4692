#include "core/analysis/frame_alignment.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace ostrelle {
namespace {

float Distance(const SpeechFeatures::Frame& x, const SpeechFeatures::Frame& y) {
    float sum = 0;
    for (int c = 0; c < SpeechFeatures::kCoefficients; ++c)
        sum += (x[c] - y[c]) * (x[c] - y[c]);
    return std::sqrt(sum);
}

enum Step : std::uint8_t { kNone, kDiagonal, kFromAbove, kFromLeft, kOverPart };

}  // namespace

std::vector<int> AlignFrames(const std::vector<SpeechFeatures::Frame>& a,
                             const std::vector<SpeechFeatures::Frame>& b, int band) {
    constexpr float kInfinite = std::numeric_limits<float>::infinity();
    return AlignParts(a, b, band, {}, {.skipCost = kInfinite, .gapCost = kInfinite, .bendCost = 0}).paired;
}

PartWarp AlignParts(const std::vector<SpeechFeatures::Frame>& a, const std::vector<SpeechFeatures::Frame>& b,
                    int band, const std::vector<SkippablePart>& parts, const PartCosts& costs) {
    const int rows = static_cast<int>(a.size());
    const int cols = static_cast<int>(b.size());
    PartWarp warp;
    warp.skipped.assign(parts.size(), false);
    if (rows == 0 || cols == 0) return warp;
    // The band must at least hold a path from corner to corner.
    band = std::max({band, 1, std::abs(rows - cols) / std::max(1, std::min(rows, cols)) + 1});
    const auto centre = [&](int row) {
        return rows == 1 ? 0 : static_cast<int>(static_cast<long long>(row) * (cols - 1) / (rows - 1));
    };
    const auto first = [&](int row) { return std::max(0, centre(row) - band); };
    const auto last = [&](int row) { return std::min(cols - 1, centre(row) + band); };
    const int width = 2 * band + 1;
    // Consecutive rows' bands overlap where the straight line is steep, and always meet: the width
    // covers the line's step from one row to the next when cols > rows.
    const int reach = (cols + rows - 1) / rows;
    const int span = width + reach;

    // Per row: the part that ends just above it, which the warp may come over; the part that starts just
    // below it, whose passing-over starts there; whether it lies in a gap.
    std::vector<int> endsAbove(rows, -1), startsBelow(rows, -1);
    std::vector<bool> inGap(rows, true);
    for (int k = 0; k < static_cast<int>(parts.size()); ++k) {
        const SkippablePart& part = parts[k];
        if (part.first < 1 || part.last + 1 >= rows || part.last < part.first) continue;
        std::fill(inGap.begin() + part.first, inGap.begin() + part.last + 1, false);
        endsAbove[part.last + 1] = k;
        startsBelow[part.first - 1] = k;
    }

    constexpr float kInfinite = std::numeric_limits<float>::infinity();
    std::vector<Step> steps(static_cast<std::size_t>(rows) * span, kNone);
    std::vector<float> previous(span, kInfinite), current(span, kInfinite);
    std::vector<float> beforePart(span, kInfinite);  // the row above the part being crossed
    int beforePartFirst = 0;
    int beforePartOf = -1;
    int previousFirst = 0;
    for (int row = 0; row < rows; ++row) {
        const int from = first(row);
        const int to = std::min(last(row) + reach, cols - 1);
        const int over = endsAbove[row] >= 0 && endsAbove[row] == beforePartOf ? endsAbove[row] : -1;
        const float overCost =
            over >= 0 ? costs.skipCost * static_cast<float>(parts[over].last - parts[over].first + 1)
                      : kInfinite;
        std::fill(current.begin(), current.end(), kInfinite);
        for (int col = from; col <= to && col - from < span; ++col) {
            float cost = Distance(a[row], b[col]);
            if (inGap[row]) cost = std::min(cost, costs.gapCost);
            float best = kInfinite;
            Step step = kNone;
            if (row == 0 && col == 0) {
                best = 0;
            } else {
                const auto before = [&](int c) {
                    const int k = c - previousFirst;
                    return row > 0 && k >= 0 && k < span ? previous[k] : kInfinite;
                };
                if (const float d = before(col - 1); col > 0 && d < best) best = d, step = kDiagonal;
                const float bend = inGap[row] ? 0.0f : costs.bendCost;
                if (const float u = before(col) + bend; u < best) best = u, step = kFromAbove;
                if (const int k = col - 1 - from; k >= 0 && current[k] + bend < best)
                    best = current[k] + bend, step = kFromLeft;
                if (const int k = col - beforePartFirst;
                    over >= 0 && k >= 0 && k < span && beforePart[k] + overCost < best)
                    best = beforePart[k] + overCost, step = kOverPart;
            }
            current[col - from] = best + cost;
            steps[static_cast<std::size_t>(row) * span + (col - from)] = step;
        }
        std::swap(previous, current);
        previousFirst = from;
        if (startsBelow[row] >= 0) {
            beforePart = previous;
            beforePartFirst = from;
            beforePartOf = startsBelow[row];
        }
    }

    // Back from the far corner; a frame of a takes the first frame of b the path meets in its row.
    std::vector<int>& paired = warp.paired;
    paired.assign(rows, 0);
    int row = rows - 1, col = cols - 1;
    while (row >= 0) {
        const int from = first(row);
        paired[row] = col;
        const Step step = col - from >= 0 && col - from < span
                              ? steps[static_cast<std::size_t>(row) * span + (col - from)]
                              : kNone;
        if (step == kDiagonal) {
            --row;
            --col;
        } else if (step == kFromAbove) {
            --row;
        } else if (step == kFromLeft) {
            --col;
        } else if (step == kOverPart) {
            const int k = endsAbove[row];
            warp.skipped[k] = true;
            for (int r = parts[k].first; r < row; ++r)
                paired[r] = col;
            row = parts[k].first - 1;
        } else {
            --row;  // the start, or a corner the band cut off: go on straight up
        }
    }
    return warp;
}

}  // namespace ostrelle
