#pragma once

#include "core/ports/duration_meter.h"
#include "core/ports/length_store.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace ostrelle {

// Audio files' exact lengths, each measured once per version of the file: a length is kept with the
// file's size and modification time, and measured again (in the background) only when they change.
// Everything here runs on the UI thread; only the measuring itself does not.
class FileLengths {
public:
    enum class Status {
        kKnown,      // seconds holds the length
        kMeasuring,  // asked for, not yet measured
        kUnknown,    // this version of the file cannot be measured
    };
    struct Length {
        Status status = Status::kUnknown;
        double seconds = 0;
    };

    // store may be null (no database): lengths are then kept for this run only.
    FileLengths(DurationMeter& meter, LengthStore* store);
    ~FileLengths();
    FileLengths(const FileLengths&) = delete;
    FileLengths& operator=(const FileLengths&) = delete;

    // path's length as the file is now, from what is kept; else starts measuring it (once).
    Length Of(const QString& path);
    bool IsMeasuring(const QString& path) const { return measuring_.contains(path); }

    // Paths that will be waited for in this order: a few are kept measuring ahead of the one waited for.
    void MeasureAhead(const QStringList& paths);
    // Waits until path's length is known or cannot be; keepWaiting runs between short waits and answers
    // false to give up (then nothing is returned).
    std::optional<Length> Await(const QString& path, const std::function<bool()>& keepWaiting);
    // Ends measuring ahead: drops the queued measurements and keeps what was measured.
    void FinishAhead();

private:
    struct Stamp {
        qint64 sizeBytes = -1;  // -1: the file could not be looked at
        qint64 modifiedMs = -1;
        bool operator==(const Stamp&) const = default;
        bool Valid() const { return sizeBytes >= 0; }
    };
    static Stamp StampOf(const QString& path);
    void Measured(const QString& path, std::optional<double> seconds);
    void TopUpAhead();
    void KeepMeasured();

    DurationMeter& meter_;
    LengthStore* store_;
    QHash<QString, KeptLength> known_;
    QHash<QString, Stamp> unknown_;    // versions that could not be measured
    QHash<QString, Stamp> measuring_;  // the version asked for
    std::deque<QString> ahead_;
    bool measuringAhead_ = false;  // measured lengths are kept together, not one write each
    std::vector<std::pair<QString, KeptLength>> unkept_;
};

}  // namespace ostrelle
