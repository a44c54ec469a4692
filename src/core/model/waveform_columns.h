#pragma once

#include "core/ports/waveform_source.h"

#include <QtGlobal>

#include <vector>

namespace ostrelle {

// One column of a waveform strip: the lowest and the highest sample (-1..1) of the time it covers.
struct WaveformColumn {
    float min = 0;
    float max = 0;
    bool known = false;  // false where no bucket reaches yet: not decoded so far, or outside the audio
};

// A strip showing [startMs, endMs) in `columns` columns of equal time: each column holds the lowest min
// and the highest max of the buckets that overlap it, so a short burst never falls between two columns.
// Nothing for columns < 1 or an empty window.
std::vector<WaveformColumn> WaveformColumns(const WaveformPeaks& peaks, qint64 startMs, qint64 endMs,
                                            int columns);

struct TimeWindow {
    qint64 startMs = 0;
    qint64 endMs = 0;
};

// What a zoomed strip shows for the segment from aMs to bMs: one second more on either side, kept
// within [0, durationMs] when the length is known (durationMs > 0).
TimeWindow SegmentZoomWindow(qint64 aMs, qint64 bMs, qint64 durationMs);

}  // namespace ostrelle
