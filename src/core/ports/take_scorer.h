#pragma once

#include "base/result.h"
#include "core/analysis/take_score.h"
#include "core/ports/update_notifier.h"

#include <QString>
#include <QtGlobal>

#include <optional>
#include <vector>

namespace ostrelle {

// Scores a shadowing take against the part of the lesson it repeats, in the background. Calls come from
// the UI thread and return at once. One scoring at a time: starting another, or Cancel(), drops the one
// under way, whose news are then never seen. The update handler runs on the UI thread, from its event loop
// only, once the scoring ends with a score or a problem.
class TakeScorer : public UpdateNotifier {
public:
    virtual ~TakeScorer() = default;

    // The take against lessonPath from fromSeconds to toSeconds.
    virtual void Score(const QString& lessonPath, double fromSeconds, double toSeconds,
                       const QString& takePath) = 0;
    virtual void Cancel() = 0;

    // The take of the latest Score(); empty when none or after Cancel().
    virtual QString TakePath() const = 0;
    virtual bool Running() const = 0;
    // Once ended without a problem (a take that gives no score says why in its problem field).
    virtual const std::optional<TakeScore>& Result() const = 0;
    // Why a file could not be read.
    virtual std::optional<Failure> Problem() const = 0;
};

// Scores of the takes of each segment, kept between runs beside the playlist.
class TakeScoreHistory {
public:
    struct Entry {
        qint64 whenMs = 0;  // since the epoch, UTC
        int content = 0;
        int timing = 0;
        int intonation = 0;
    };
    virtual ~TakeScoreHistory() = default;
    virtual Result<void> KeepTakeScore(const QString& path, qint64 aMs, qint64 bMs, const Entry& entry) = 0;
    // The latest count entries of segment aMs-bMs of path, newest first.
    virtual Result<std::vector<Entry>> TakeScoresOf(const QString& path, qint64 aMs, qint64 bMs,
                                                    int count) = 0;
};

}  // namespace ostrelle
