#pragma once

#include "core/ports/review_store.h"

#include <QDate>

#include <functional>
#include <optional>
#include <vector>

namespace ostrelle {

// What the 学习记录 window shows: the last days' practice and the streak of days in a row.
struct PracticeSummary {
    std::vector<PracticeDay> days;  // one per day, oldest first, today last; days without practice hold 0
    int streakDays = 0;             // days in a row with practice, up to today (or yesterday)
    PracticeDay total;              // over the days shown
};

// Counts the learner's practice as it happens and keeps it in the diary a few times a minute, so a
// crash loses little and a pass costs no write.
class PracticeDiary {
public:
    static constexpr qint64 kFlushEveryMs = 30'000;
    static constexpr int kDaysShown = 30;

    // log may be null: nothing is kept. today gives the local date now.
    PracticeDiary(PracticeLog* log, std::function<QDate()> today) : log_(log), today_(std::move(today)) {}

    void Played(qint64 ms);
    // Passes come every few seconds and are written with the time played; the rarer counts at once.
    void PassPlayed() { Count().passes += 1; }
    void TakeRecorded() {
        Count().takes += 1;
        Flush();
    }
    void LineDictated() {
        Count().dictated += 1;
        Flush();
    }
    void SentenceReviewed() {
        Count().reviewed += 1;
        Flush();
    }
    // Writes what was counted; called on a timer and as the window closes.
    void Flush();
    // The last kDaysShown days up to today, what is counted but not yet written included.
    PracticeSummary Summary();

private:
    PracticeDay& Count();

    PracticeLog* log_;
    std::function<QDate()> today_;
    std::optional<PracticeDay> pending_;
    qint64 playedSinceFlushMs_ = 0;
};

// The days in a row with practice that end today, or yesterday when today has none yet.
int StreakDays(const std::vector<PracticeDay>& days, const QDate& today);

}  // namespace ostrelle
