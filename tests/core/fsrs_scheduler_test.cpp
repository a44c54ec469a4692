#include "core/analysis/fsrs_scheduler.h"

#include "support/fsrs_reference_cases.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>

namespace ostrelle {
namespace {

constexpr qint64 kStartMs = fsrs_reference::kStartMs;
constexpr qint64 kDayMs = FsrsScheduler::kDayMs;

// A card taken through its learning steps and reviewed Good on its due days until it has this many reviews.
CardMemory ReviewedGood(const FsrsScheduler& scheduler, int reviews) {
    CardMemory card{.dueMs = kStartMs};
    for (int i = 0; i < reviews; ++i) {
        card = scheduler.Review(card, Grade::Good, card.dueMs);
    }
    return card;
}

TEST(FsrsScheduler, MatchesTheReferenceSchedulersWorkedExamples) {
    std::string mismatch;
    EXPECT_TRUE(FsrsMatchesReference(&mismatch)) << mismatch;
}

TEST(FsrsScheduler, ALapseInReviewGoesToTheFirstRelearningStep) {
    FsrsSettings settings;
    settings.relearningStepsMs = {300'000, 900'000};
    const FsrsScheduler scheduler(settings);
    const CardMemory card = ReviewedGood(scheduler, 4);
    ASSERT_EQ(card.phase, CardPhase::Review);

    const qint64 nowMs = card.dueMs + 2 * kDayMs;
    const CardMemory lapsed = scheduler.Review(card, Grade::Again, nowMs);
    EXPECT_EQ(lapsed.phase, CardPhase::Relearning);
    EXPECT_EQ(lapsed.step, 0);
    EXPECT_EQ(lapsed.dueMs, nowMs + 300'000);
    EXPECT_EQ(lapsed.lastReviewMs, nowMs);
    EXPECT_LT(lapsed.stability, card.stability);
    EXPECT_GT(lapsed.difficulty, card.difficulty);
}

TEST(FsrsScheduler, RecallAtTheDueTimeOfAReviewCardIsAboutTheDesiredRetention) {
    for (double retention : {0.8, 0.9, 0.95}) {
        FsrsSettings settings;
        settings.desiredRetention = retention;
        const FsrsScheduler scheduler(settings);
        const CardMemory card = ReviewedGood(scheduler, 5);
        ASSERT_EQ(card.phase, CardPhase::Review);
        // Intervals are whole days, so recall at the due time is off by what half a day changes.
        EXPECT_NEAR(scheduler.Retrievability(card, card.dueMs), retention, 0.01) << retention;
        EXPECT_GT(scheduler.Retrievability(card, card.lastReviewMs),
                  scheduler.Retrievability(card, card.dueMs));
    }
    EXPECT_EQ(FsrsScheduler().Retrievability(CardMemory{.dueMs = kStartMs}, kStartMs + kDayMs), 0);
}

TEST(FsrsScheduler, AnIntervalNeverExceedsTheMaximum) {
    for (bool fuzz : {false, true}) {
        FsrsSettings settings;
        settings.maximumIntervalDays = 30;
        settings.fuzz = fuzz;
        const FsrsScheduler scheduler(settings);
        CardMemory card{.dueMs = kStartMs};
        qint64 longestMs = 0;
        for (int i = 0; i < 12; ++i) {
            const qint64 nowMs = card.dueMs + i * kDayMs;  // ever later, for ever longer intervals
            card = scheduler.Review(card, Grade::Easy, nowMs);
            longestMs = std::max(longestMs, card.dueMs - nowMs);
            EXPECT_LE(card.dueMs - nowMs, 30 * kDayMs) << "fuzz " << fuzz << ", review " << i + 1;
        }
        // Unfuzzed, the interval reaches the maximum; fuzzed, it is drawn from the few days just under it.
        EXPECT_GE(longestMs, (fuzz ? 27 : 30) * kDayMs) << "fuzz " << fuzz;
    }
}

TEST(FsrsScheduler, HarderGradesGiveShorterIntervalsForAReviewCard) {
    const FsrsScheduler scheduler;
    const CardMemory card = ReviewedGood(scheduler, 4);
    ASSERT_EQ(card.phase, CardPhase::Review);
    for (qint64 nowMs : {card.lastReviewMs + kDayMs, card.dueMs, card.dueMs + 20 * kDayMs}) {
        const qint64 again = scheduler.IntervalMs(card, Grade::Again, nowMs);
        const qint64 hard = scheduler.IntervalMs(card, Grade::Hard, nowMs);
        const qint64 good = scheduler.IntervalMs(card, Grade::Good, nowMs);
        const qint64 easy = scheduler.IntervalMs(card, Grade::Easy, nowMs);
        EXPECT_LT(again, hard) << nowMs;
        EXPECT_LT(hard, good) << nowMs;
        EXPECT_LT(good, easy) << nowMs;
    }
}

TEST(FsrsScheduler, FuzzSpreadsALongIntervalButRepeatsForTheSameReview) {
    const CardMemory card = ReviewedGood(FsrsScheduler(), 4);
    const qint64 plainMs = FsrsScheduler().IntervalMs(card, Grade::Good, card.dueMs);
    ASSERT_GE(plainMs, 20 * kDayMs);

    std::set<qint64> intervals;
    for (std::uint64_t seed = 1; seed <= 40; ++seed) {
        const FsrsScheduler scheduler(FsrsSettings{.fuzz = true, .fuzzSeed = seed});
        const qint64 intervalMs = scheduler.IntervalMs(card, Grade::Good, card.dueMs);
        EXPECT_EQ(scheduler.Review(card, Grade::Good, card.dueMs).dueMs - card.dueMs, intervalMs);
        EXPECT_EQ(intervalMs % kDayMs, 0);
        EXPECT_NEAR(static_cast<double>(intervalMs), static_cast<double>(plainMs), 0.15 * plainMs) << seed;
        intervals.insert(intervalMs);
    }
    EXPECT_GE(intervals.size(), 4u);
}

TEST(FsrsScheduler, ARowWithoutUsableMemoryStartsAsANewCard) {
    const FsrsScheduler scheduler;
    const CardMemory fresh = scheduler.Review(CardMemory{.dueMs = kStartMs}, Grade::Good, kStartMs);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const CardMemory rows[] = {
        {.phase = CardPhase::Review, .stability = -3, .difficulty = 5, .dueMs = kStartMs, .lastReviewMs = 1},
        {.phase = CardPhase::Relearning, .step = -2, .stability = nan, .difficulty = 5, .dueMs = kStartMs},
        {.phase = CardPhase::Review, .stability = 4, .difficulty = 0, .dueMs = kStartMs, .lastReviewMs = 1},
    };
    for (const CardMemory& row : rows) {
        const CardMemory next = scheduler.Review(row, Grade::Good, kStartMs);
        EXPECT_EQ(next.phase, fresh.phase);
        EXPECT_EQ(next.step, fresh.step);
        EXPECT_EQ(next.stability, fresh.stability);
        EXPECT_EQ(next.difficulty, fresh.difficulty);
        EXPECT_EQ(next.dueMs, fresh.dueMs);
    }
}

}  // namespace
}  // namespace ostrelle
