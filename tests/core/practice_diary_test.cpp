#include "core/operations/practice_diary.h"

#include <gtest/gtest.h>

#include <map>

namespace ostrelle {
namespace {

// A diary in memory that can be made to refuse writes.
class MemoryLog final : public PracticeLog {
public:
    Result<void> AddPractice(const PracticeDay& more) override {
        if (refuse) return Failure{FailureCode::DatabaseBusy, {}};
        PracticeDay& day = days[more.day];
        day.day = more.day;
        day.playedMs += more.playedMs;
        day.passes += more.passes;
        day.takes += more.takes;
        day.dictated += more.dictated;
        day.reviewed += more.reviewed;
        return {};
    }
    Result<std::vector<PracticeDay>> PracticeDays(const QDate& first, const QDate& last) override {
        std::vector<PracticeDay> shown;
        for (const auto& [date, day] : days)
            if (date >= first && date <= last) shown.push_back(day);
        return shown;
    }
    std::map<QDate, PracticeDay> days;
    bool refuse = false;
};

TEST(PracticeDiaryTest, CountsSurviveARefusedWriteAndTheSummaryHasEveryDayAndTheStreak) {
    MemoryLog log;
    QDate today(2026, 12, 9);
    PracticeDiary diary(&log, [&today] { return today; });
    log.days[today.addDays(-2)] = {today.addDays(-2), 120'000, 4, 0, 0, 0};
    log.days[today.addDays(-1)] = {today.addDays(-1), 0, 0, 1, 0, 0};
    log.days[today.addDays(-5)] = {today.addDays(-5), 0, 0, 0, 0, 2};
    log.refuse = true;
    diary.PassPlayed();
    diary.SentenceReviewed();
    EXPECT_TRUE(log.days.find(today) == log.days.end());
    log.refuse = false;

    const PracticeSummary summary = diary.Summary();
    ASSERT_EQ(summary.days.size(), static_cast<std::size_t>(PracticeDiary::kDaysShown));
    EXPECT_EQ(summary.days.back(), (PracticeDay{today, 0, 1, 0, 0, 1}));
    EXPECT_EQ(log.days[today].reviewed, 1) << "written once the database takes it";
    EXPECT_EQ(summary.streakDays, 3);
    EXPECT_EQ(summary.total.passes, 5);

    // A day without practice yet keeps yesterday's streak; a gap ends it.
    today = today.addDays(1);
    EXPECT_EQ(diary.Summary().streakDays, 3);
    today = today.addDays(1);
    EXPECT_EQ(diary.Summary().streakDays, 0);
}

}  // namespace
}  // namespace ostrelle
