#include "core/model/waveform_columns.h"

#include <algorithm>
#include <cmath>

namespace ostrelle {

std::vector<WaveformColumn> WaveformColumns(const WaveformPeaks& peaks, qint64 startMs, qint64 endMs,
                                            int columns) {
    if (columns < 1 || endMs <= startMs) return {};
    std::vector<WaveformColumn> result(static_cast<std::size_t>(columns));
    const auto buckets = static_cast<qint64>(peaks.min.size());
    if (buckets == 0 || peaks.bucketMs <= 0) return result;

    const double msPerColumn = static_cast<double>(endMs - startMs) / columns;
    for (int c = 0; c < columns; ++c) {
        // Relative to bucket 0, in buckets: the column covers [from, to).
        const double from = (startMs + c * msPerColumn - peaks.startMs) / peaks.bucketMs;
        const double to = (startMs + (c + 1) * msPerColumn - peaks.startMs) / peaks.bucketMs;
        const qint64 first = std::max<qint64>(0, static_cast<qint64>(std::floor(from)));
        const qint64 last = std::min<qint64>(buckets, static_cast<qint64>(std::ceil(to)));
        if (first >= last) continue;
        WaveformColumn& column = result[static_cast<std::size_t>(c)];
        column.min = *std::min_element(peaks.min.begin() + first, peaks.min.begin() + last);
        column.max = *std::max_element(peaks.max.begin() + first, peaks.max.begin() + last);
        column.known = true;
    }
    return result;
}

TimeWindow SegmentZoomWindow(qint64 aMs, qint64 bMs, qint64 durationMs) {
    constexpr qint64 kMarginMs = 1000;
    TimeWindow window{std::min(aMs, bMs) - kMarginMs, std::max(aMs, bMs) + kMarginMs};
    window.startMs = std::max<qint64>(0, window.startMs);
    if (durationMs > 0) window.endMs = std::min(window.endMs, durationMs);
    window.endMs = std::max(window.endMs, window.startMs);
    return window;
}

}  // namespace ostrelle
