#pragma once

#include "base/result.h"
#include "core/analysis/fsrs_scheduler.h"

#include <QDate>
#include <QString>
#include <QtGlobal>

#include <utility>
#include <vector>

namespace ostrelle {

// A sentence in the learner's book of hard ones: a span of a lesson, with its review memory.
struct HardSentence {
    enum class Reason { Marked = 0, Dictation = 1, Take = 2 };
    QString path;
    qint64 aMs = 0;
    qint64 bMs = 0;
    // A stored segment of the lesson (it goes when the segment goes), or a line of its timed text.
    bool segment = true;
    Reason reason = Reason::Marked;
    qint64 sinceMs = 0;  // since the epoch, UTC
    QString text;        // the sentence's words where a text gave them; empty otherwise
    CardMemory memory;
    int reviews = 0;
    int lapses = 0;  // times graded "again" after the first review
};

// The hard sentences and their review state, kept between runs beside the playlist. Spans are told
// apart by path and times to the millisecond.
class ReviewStore {
public:
    virtual ~ReviewStore() = default;
    // Adds the sentence, or replaces the one with the same span.
    virtual Result<void> KeepHard(const HardSentence& sentence) = 0;
    virtual Result<void> ForgetHard(const QString& path, qint64 aMs, qint64 bMs) = 0;
    // path's hard sentences in time order; every lesson's, by path then time, for an empty path.
    virtual Result<std::vector<HardSentence>> HardSentences(const QString& path = {}) = 0;
    // Those due at or before untilMs, the longest due first.
    virtual Result<std::vector<HardSentence>> DueHard(qint64 untilMs) = 0;
    // A segment moved: what was kept for it goes with it.
    virtual Result<void> MoveHard(const QString& path, std::pair<qint64, qint64> from,
                                  std::pair<qint64, qint64> to) = 0;
    // path's segments are now these spans: a hard segment that is no longer among them is forgotten.
    virtual Result<void> KeepHardSegmentsOnly(const QString& path,
                                              const std::vector<std::pair<qint64, qint64>>& spans) = 0;
};

// What a day of practice held.
struct PracticeDay {
    QDate day;
    qint64 playedMs = 0;  // audio heard, lessons and takes
    int passes = 0;       // repeat passes played through
    int takes = 0;        // shadowing takes recorded
    int dictated = 0;     // dictation lines checked
    int reviewed = 0;     // hard sentences graded
    friend bool operator==(const PracticeDay&, const PracticeDay&) = default;
};

// The practice diary, a row per day, kept beside the playlist.
class PracticeLog {
public:
    virtual ~PracticeLog() = default;
    // Adds the counts of more (its day included) to its day's.
    virtual Result<void> AddPractice(const PracticeDay& more) = 0;
    // The days from first to last, in order, only those with a row.
    virtual Result<std::vector<PracticeDay>> PracticeDays(const QDate& first, const QDate& last) = 0;
};

}  // namespace ostrelle
