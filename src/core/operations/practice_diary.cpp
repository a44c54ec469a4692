#include "core/operations/practice_diary.h"

#include <map>

namespace ostrelle {
namespace {

bool Practised(const PracticeDay& day) {
    return day.playedMs >= 60'000 || day.passes > 0 || day.takes > 0 || day.dictated > 0 || day.reviewed > 0;
}

}  // namespace

PracticeDay& PracticeDiary::Count() {
    const QDate today = today_();
    // Counts of a day gone are written before the new day's start.
    if (pending_ && pending_->day != today) Flush();
    if (!pending_) pending_ = PracticeDay{.day = today};
    return *pending_;
}

void PracticeDiary::Played(qint64 ms) {
    if (ms <= 0) return;
    Count().playedMs += ms;
    playedSinceFlushMs_ += ms;
    if (playedSinceFlushMs_ >= kFlushEveryMs) Flush();
}

void PracticeDiary::Flush() {
    playedSinceFlushMs_ = 0;
    if (!pending_ || !log_) return;
    // Kept for the next try when the write fails: nothing counted is lost to a busy database.
    if (log_->AddPractice(*pending_).ok()) pending_.reset();
}

PracticeSummary PracticeDiary::Summary() {
    Flush();
    const QDate today = today_();
    const QDate first = today.addDays(-(kDaysShown - 1));
    std::map<QDate, PracticeDay> byDay;
    if (log_) {
        const Result<std::vector<PracticeDay>> kept = log_->PracticeDays(today.addDays(-3650), today);
        if (kept.ok())
            for (const PracticeDay& day : kept.value())
                byDay[day.day] = day;
    }
    if (pending_) {
        PracticeDay& day = byDay[pending_->day];
        day.day = pending_->day;
        day.playedMs += pending_->playedMs;
        day.passes += pending_->passes;
        day.takes += pending_->takes;
        day.dictated += pending_->dictated;
        day.reviewed += pending_->reviewed;
    }
    PracticeSummary summary;
    std::vector<PracticeDay> all;
    for (const auto& [date, day] : byDay)
        all.push_back(day);
    summary.streakDays = StreakDays(all, today);
    summary.total.day = today;
    for (QDate day = first; day <= today; day = day.addDays(1)) {
        const auto found = byDay.find(day);
        const PracticeDay shown = found != byDay.end() ? found->second : PracticeDay{.day = day};
        summary.days.push_back(shown);
        summary.total.playedMs += shown.playedMs;
        summary.total.passes += shown.passes;
        summary.total.takes += shown.takes;
        summary.total.dictated += shown.dictated;
        summary.total.reviewed += shown.reviewed;
    }
    return summary;
}

int StreakDays(const std::vector<PracticeDay>& days, const QDate& today) {
    std::map<QDate, bool> practised;
    for (const PracticeDay& day : days)
        practised[day.day] = practised[day.day] || Practised(day);
    QDate day = practised[today] ? today : today.addDays(-1);
    int streak = 0;
    while (practised.count(day) && practised[day]) {
        ++streak;
        day = day.addDays(-1);
    }
    return streak;
}

}  // namespace ostrelle
