#pragma once

#include "base/result.h"
#include "core/ports/update_notifier.h"

#include <QString>
#include <QtGlobal>

#include <optional>
#include <vector>

namespace ostrelle {

// The outline of a stretch of audio mixed to mono: the lowest and the highest sample (-1..1) of each bucket
// of bucketMs milliseconds, bucket i covering [startMs + i * bucketMs, startMs + (i + 1) * bucketMs).
// A bucket the audio does not reach (a gap) holds 0 and 0.
struct WaveformPeaks {
    QString path;            // the audio file; empty when nothing is loaded
    qint64 startMs = 0;      // where bucket 0 begins: 0 for a whole file
    int bucketMs = 5;        // 5 for a whole file, 1 for a range
    std::vector<float> min;  // min and max always have the same length
    std::vector<float> max;
    qint64 durationMs = 0;   // the file's length: exact once a whole file is complete, else an estimate or 0
    bool complete = false;   // every bucket is in; never together with a problem
    bool fromCache = false;  // read from the disk cache rather than decoded
    std::optional<Failure> problem;  // why no more peaks come; nothing otherwise

    qint64 EndMs() const { return startMs + static_cast<qint64>(min.size()) * bucketMs; }
    bool Loading() const { return !path.isEmpty() && !complete && !problem; }
};

// Computes waveform peaks in the background. Calls come from the UI thread and return at once; the work
// runs on other threads and never blocks the caller.
//
// Two views are kept, each replaced by its own load:
//   Peaks()      a whole file in 5 ms buckets, growing from the start as decoding goes on, taken from a
//                disk cache when the file (same path, size and modification time) was decoded before;
//   RangePeaks() a window of one file in 1 ms buckets, for a zoomed strip; decoded by seeking to it, so
//                it is ready long before a whole long file is.
// The update handler runs on the UI thread, from its event loop only (never inside a call of this class),
// whenever either view has changed: new buckets (about every 100 ms of work), completion or a problem.
class WaveformSource : public UpdateNotifier {
public:
    static constexpr int kWholeFileBucketMs = 5;
    static constexpr int kRangeBucketMs = 1;

    virtual ~WaveformSource() = default;

    // Starts on the whole of path. Replaces Peaks() at once with an empty loading view of path and stops
    // the work of any earlier Load(); a running range load of another file stops too.
    virtual void Load(const QString& path) = 0;
    // Starts on [startMs, endMs) of path; stops the work of any earlier LoadRange(). Does nothing when
    // RangePeaks() already is, or is becoming, this window. A window reaching past the end of the file
    // ends, once complete, where the audio ends; an empty window is complete at once, without an update.
    virtual void LoadRange(const QString& path, qint64 startMs, qint64 endMs) = 0;
    // Stops all work and empties both views.
    virtual void Cancel() = 0;

    virtual const WaveformPeaks& Peaks() const = 0;
    virtual const WaveformPeaks& RangePeaks() const = 0;
};

}  // namespace ostrelle
