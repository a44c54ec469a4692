#include "core/analysis/frame_alignment.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace ostrelle {
namespace {

enum Step : std::uint8_t { kNone, kDiagonal, kFromAbove, kFromLeft, kOverPart };

}  // namespace

float FrameDistance(const SpeechFeatures::Frame& x, const SpeechFeatures::Frame& y) {
    float sum = 0;
    for (int c = 0; c < SpeechFeatures::kCoefficients; ++c)
        sum += (x[c] - y[c]) * (x[c] - y[c]);
    return std::sqrt(sum);
}

std::vector<int> AlignFrames(const std::vector<SpeechFeatures::Frame>& a,
                             const std::vector<SpeechFeatures::Frame>& b, int band) {
    constexpr float kInfinite = std::numeric_limits<float>::infinity();
    const int rows = static_cast<int>(a.size());
    const int cols = static_cast<int>(b.size());
    return AlignParts(a, b, StraightWindows(rows, cols, band), {},
                      {.skipCost = kInfinite, .gapCost = kInfinite, .bendCost = 0, .edgeGapCost = kInfinite})
        .paired;
}

float WarpDistance(const std::vector<SpeechFeatures::Frame>& a, int aFirst, int aLast,
                   const std::vector<SpeechFeatures::Frame>& b, int bFirst, int bLast) {
    constexpr float kInfinite = std::numeric_limits<float>::infinity();
    aFirst = std::max(aFirst, 0);
    bFirst = std::max(bFirst, 0);
    aLast = std::min(aLast, static_cast<int>(a.size()) - 1);
    bLast = std::min(bLast, static_cast<int>(b.size()) - 1);
    const int rows = aLast - aFirst + 1;
    const int cols = bLast - bFirst + 1;
    if (rows < 1 || cols < 1 || rows > 2 * cols || cols > 2 * rows) return kInfinite;
    // Ending in a diagonal step, or in a step along one of them, which must follow a diagonal one; a
    // diagonal step weighs its frame twice, so every path weighs rows + cols frames.
    std::vector<float> diagonal(cols + 1, kInfinite), alongA(cols + 1, kInfinite),
        alongB(cols + 1, kInfinite);
    std::vector<float> nextDiagonal(cols + 1), nextAlongA(cols + 1), nextAlongB(cols + 1);
    diagonal[0] = 0;
    for (int row = 1; row <= rows; ++row) {
        nextDiagonal[0] = nextAlongA[0] = nextAlongB[0] = kInfinite;
        for (int col = 1; col <= cols; ++col) {
            const float d = FrameDistance(a[aFirst + row - 1], b[bFirst + col - 1]);
            nextDiagonal[col] = std::min({diagonal[col - 1], alongA[col - 1], alongB[col - 1]}) + 2 * d;
            nextAlongA[col] = diagonal[col] + d;
            nextAlongB[col] = nextDiagonal[col - 1] + d;
        }
        std::swap(diagonal, nextDiagonal);
        std::swap(alongA, nextAlongA);
        std::swap(alongB, nextAlongB);
    }
    return std::min({diagonal[cols], alongA[cols], alongB[cols]}) / static_cast<float>(rows + cols);
}

std::vector<FrameWindow> StraightWindows(int aFrames, int bFrames, int band) {
    const int rows = aFrames;
    const int cols = bFrames;
    if (rows <= 0 || cols <= 0) return {};
    // The band must at least hold a path from corner to corner.
    band = std::max({band, 1, std::abs(rows - cols) / std::max(1, std::min(rows, cols)) + 1});
    // Consecutive rows' bands overlap where the straight line is steep, and always meet: each reaches the
    // line's step from one row to the next when cols > rows.
    const int reach = (cols + rows - 1) / rows;
    std::vector<FrameWindow> windows(rows);
    for (int row = 0; row < rows; ++row) {
        const int centre =
            rows == 1 ? 0 : static_cast<int>(static_cast<long long>(row) * (cols - 1) / (rows - 1));
        windows[row] = {std::max(0, centre - band), std::min(cols - 1, centre + band + reach)};
    }
    return windows;
}

std::vector<FrameWindow> WindowsAround(const std::vector<int>& roughWarp, int roughBFrames, int factor,
                                       int aFrames, int bFrames, int margin) {
    const int roughRows = static_cast<int>(roughWarp.size());
    if (aFrames <= 0 || bFrames <= 0 || roughRows == 0) return StraightWindows(aFrames, bFrames, margin);
    std::vector<FrameWindow> windows(aFrames);
    for (int row = 0; row < aFrames; ++row) {
        const int rough = std::min(row / factor, roughRows - 1);
        // In its rough row the path runs from where it enters to where the next row's starts.
        const int enters = roughWarp[rough];
        const int leaves = rough + 1 < roughRows ? roughWarp[rough + 1] : roughBFrames - 1;
        windows[row] = {std::clamp(enters * factor - margin, 0, bFrames - 1),
                        std::clamp((leaves + 1) * factor - 1 + margin, 0, bFrames - 1)};
    }
    windows.front().first = 0;
    windows.back().last = bFrames - 1;
    return windows;
}

PartWarp AlignParts(const std::vector<SpeechFeatures::Frame>& a, const std::vector<SpeechFeatures::Frame>& b,
                    const std::vector<FrameWindow>& givenWindows, const std::vector<SkippablePart>& parts,
                    const PartCosts& costs) {
    const int rows = static_cast<int>(a.size());
    const int cols = static_cast<int>(b.size());
    PartWarp warp;
    warp.skipped.assign(parts.size(), false);
    if (rows == 0 || cols == 0 || static_cast<int>(givenWindows.size()) != rows) return warp;
    // Windows that start and end in order and meet, the first at b's start and the last at its end.
    std::vector<FrameWindow> windows = givenWindows;
    windows.front().first = 0;
    windows.back().last = cols - 1;
    for (int row = 0; row < rows; ++row) {
        FrameWindow& w = windows[row];
        w.first = std::clamp(w.first, 0, cols - 1);
        w.last = std::clamp(w.last, w.first, cols - 1);
        if (row > 0) {
            w.first = std::clamp(w.first, windows[row - 1].first, windows[row - 1].last + 1);
            w.last = std::max({w.last, w.first, windows[row - 1].last});
        }
    }
    windows.back().last = cols - 1;
    std::vector<std::size_t> offsets(rows + 1, 0);  // where each row's steps start
    int widest = 0;
    for (int row = 0; row < rows; ++row) {
        const int width = windows[row].last - windows[row].first + 1;
        offsets[row + 1] = offsets[row] + static_cast<std::size_t>(width);
        widest = std::max(widest, width);
    }

    // Per row: the part that ends just above it, which the warp may come over; the part that starts just
    // below it, whose passing-over starts there; whether it lies in a gap.
    std::vector<int> endsAbove(rows, -1), startsBelow(rows, -1);
    std::vector<bool> inGap(rows, true);
    int firstPartRow = rows, lastPartRow = -1;
    for (int k = 0; k < static_cast<int>(parts.size()); ++k) {
        const SkippablePart& part = parts[k];
        if (part.first < 1 || part.last + 1 >= rows || part.last < part.first) continue;
        std::fill(inGap.begin() + part.first, inGap.begin() + part.last + 1, false);
        endsAbove[part.last + 1] = k;
        startsBelow[part.first - 1] = k;
        firstPartRow = std::min(firstPartRow, part.first);
        lastPartRow = std::max(lastPartRow, part.last);
    }

    constexpr float kInfinite = std::numeric_limits<float>::infinity();
    // Two steps a byte: an hour's warp keeps tens of millions.
    std::vector<std::uint8_t> steps((offsets[rows] + 1) / 2, 0);
    const auto setStep = [&steps](std::size_t at, Step step) {
        steps[at / 2] = static_cast<std::uint8_t>(at % 2 ? (steps[at / 2] & 0x0F) | (step << 4)
                                                         : (steps[at / 2] & 0xF0) | step);
    };
    const auto stepAt = [&steps](std::size_t at) {
        return static_cast<Step>(at % 2 ? steps[at / 2] >> 4 : steps[at / 2] & 0x0F);
    };
    std::vector<float> previous(widest, kInfinite), current(widest, kInfinite);
    std::vector<float> beforePart(widest, kInfinite);  // the row above the part being crossed
    FrameWindow beforePartWindow;
    int beforePartOf = -1;
    FrameWindow previousWindow;
    for (int row = 0; row < rows; ++row) {
        const FrameWindow window = windows[row];
        const int over = endsAbove[row] >= 0 && endsAbove[row] == beforePartOf ? endsAbove[row] : -1;
        const float overCost = over >= 0 ? parts[over].skipShare * costs.skipCost *
                                               static_cast<float>(parts[over].last - parts[over].first + 1)
                                         : kInfinite;
        const float bend = inGap[row] ? 0.0f : costs.bendCost;
        const float gapCost = row < firstPartRow || row > lastPartRow ? costs.edgeGapCost : costs.gapCost;
        const auto before = [&](int c) {
            return row > 0 && c >= previousWindow.first && c <= previousWindow.last
                       ? previous[c - previousWindow.first]
                       : kInfinite;
        };
        for (int col = window.first; col <= window.last; ++col) {
            float cost = FrameDistance(a[row], b[col]);
            if (inGap[row]) cost = std::min(cost, gapCost);
            float best = kInfinite;
            Step step = kNone;
            if (row == 0 && col == 0) {
                best = 0;
            } else {
                if (const float d = before(col - 1); col > 0 && d < best) best = d, step = kDiagonal;
                if (const float u = before(col) + bend; u < best) best = u, step = kFromAbove;
                if (col > window.first && current[col - 1 - window.first] + bend < best)
                    best = current[col - 1 - window.first] + bend, step = kFromLeft;
                if (over >= 0 && col >= beforePartWindow.first && col <= beforePartWindow.last &&
                    beforePart[col - beforePartWindow.first] + overCost < best)
                    best = beforePart[col - beforePartWindow.first] + overCost, step = kOverPart;
            }
            current[col - window.first] = best + cost;
            setStep(offsets[row] + static_cast<std::size_t>(col - window.first), step);
        }
        std::swap(previous, current);
        previousWindow = window;
        if (startsBelow[row] >= 0) {
            beforePart = previous;
            beforePartWindow = window;
            beforePartOf = startsBelow[row];
        }
    }

    // Back from the far corner; a frame of a takes the first frame of b the path meets in its row.
    std::vector<int>& paired = warp.paired;
    paired.assign(rows, 0);
    int row = rows - 1, col = cols - 1;
    while (row >= 0) {
        const FrameWindow& window = windows[row];
        paired[row] = col;
        const Step step = col >= window.first && col <= window.last
                              ? stepAt(offsets[row] + static_cast<std::size_t>(col - window.first))
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
            --row;  // the start, or a corner the windows cut off: go on straight up
        }
    }
    return warp;
}

}  // namespace ostrelle
