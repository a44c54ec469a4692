#pragma once

// The worked examples of the reference FSRS scheduler, py-fsrs 6.3 (open-spaced-repetition/py-fsrs,
// tests/test_basic.py as released in 6.3.0, FSRS-6 defaults 0.212 ... 0.1542): each case is one of its
// tests, named after it, with the grades, the review times and what that test asserts. Intervals must
// match exactly, stability and difficulty within the tolerance the test uses. Where the reference builds
// Scheduler() it fuzzes intervals; those cases fuzz too, and assert only what holds under any fuzz.
// Left out: the tests of the reference's own random generator, of serialising and of review logs.

#include "core/analysis/fsrs_scheduler.h"

#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ostrelle {
namespace fsrs_reference {

// 2022-11-29 12:30 UTC, where the reference's sequences start; a new card falls due then.
constexpr qint64 kStartMs = 1'669'725'000'000;
constexpr qint64 kMinuteMs = 60'000;
constexpr qint64 kDayMs = FsrsScheduler::kDayMs;

enum class At {
    Due,         // when the card falls due, plus afterMs
    LastReview,  // the previous review (kStartMs before the first), plus afterMs
};

// What the reference asserts about the time from a review to the card's next due.
enum class Interval {
    Unchecked,
    WholeDays,    // whole days, rounded down, equal value
    AboutMs,      // value within a second
    AtLeastDays,  // at least value whole days
    AtMostDays,
};

struct Review {
    Grade grade = Grade::Good;
    At at = At::Due;
    qint64 afterMs = 0;
    int times = 1;  // the same review, repeated; the expectations hold after each
    // Steps of the scheduler for this review only, where the reference changes schedulers mid-way.
    std::optional<std::vector<qint64>> learningStepsMs{};
    std::optional<std::vector<qint64>> relearningStepsMs{};

    std::optional<CardPhase> phase{};
    std::optional<int> step{};
    Interval interval = Interval::Unchecked;
    qint64 value = 0;
    std::optional<double> stability{};
    std::optional<double> difficulty{};
    double tolerance = 0;
    std::optional<double> leastStability{};
};

struct Case {
    const char* name;
    FsrsSettings settings;
    std::vector<Review> reviews;
};

inline FsrsSettings Settings(bool fuzz, std::vector<qint64> learningStepsMs = {60'000, 600'000},
                             std::vector<qint64> relearningStepsMs = {600'000},
                             int maximumIntervalDays = 36500) {
    FsrsSettings settings;
    settings.fuzz = fuzz;
    settings.learningStepsMs = std::move(learningStepsMs);
    settings.relearningStepsMs = std::move(relearningStepsMs);
    settings.maximumIntervalDays = maximumIntervalDays;
    return settings;
}

// Good six times, Again twice, Good five times, each when the card falls due.
inline std::vector<Review> FirstRatingsAtDue() {
    const Grade grades[] = {Grade::Good, Grade::Good,  Grade::Good,  Grade::Good, Grade::Good,
                            Grade::Good, Grade::Again, Grade::Again, Grade::Good, Grade::Good,
                            Grade::Good, Grade::Good,  Grade::Good};
    const int days[] = {0, 2, 11, 46, 163, 498, 0, 0, 2, 4, 7, 12, 21};
    std::vector<Review> reviews;
    for (std::size_t i = 0; i < std::size(grades); ++i) {
        reviews.push_back({.grade = grades[i], .interval = Interval::WholeDays, .value = days[i]});
    }
    return reviews;
}

inline std::vector<Case> Cases() {
    using enum Grade;
    using enum Interval;
    const std::vector<qint64> oneStep = {10 * kMinuteMs};
    const std::vector<qint64> twoSteps = {kMinuteMs, 10 * kMinuteMs};
    const std::vector<qint64> noSteps;

    std::vector<Review> repeatedEasy(10, Review{.grade = Easy, .at = At::LastReview});
    // The reference reviews a microsecond apart; a millisecond is the nearest a row keeps.
    for (std::size_t i = 1; i < repeatedEasy.size(); ++i) {
        repeatedEasy[i].afterMs = 1;
    }
    repeatedEasy.back().difficulty = 1.0;

    return {
        {"test_review_card (and test_custom_scheduler_args)", Settings(false), FirstRatingsAtDue()},
        {"test_memo_state",
         Settings(true),
         {
             {.grade = Again, .at = At::LastReview},
             {.grade = Good, .at = At::LastReview},
             {.grade = Good, .at = At::LastReview, .afterMs = 1 * kDayMs},
             {.grade = Good, .at = At::LastReview, .afterMs = 3 * kDayMs},
             {.grade = Good, .at = At::LastReview, .afterMs = 8 * kDayMs},
             {.grade = Good,
              .at = At::LastReview,
              .afterMs = 21 * kDayMs,
              .stability = 53.62691,
              .difficulty = 6.3574867,
              .tolerance = 1e-4},
         }},
        {"test_repeated_correct_reviews", Settings(false), repeatedEasy},
        {"test_good_learning_steps",
         Settings(true),
         {
             {.grade = Good,
              .phase = CardPhase::Learning,
              .step = 1,
              .interval = AboutMs,
              .value = 10 * kMinuteMs},
             {.grade = Good, .phase = CardPhase::Review, .interval = AtLeastDays, .value = 1},
         }},
        {"test_again_learning_steps",
         Settings(true),
         {{.grade = Again,
           .phase = CardPhase::Learning,
           .step = 0,
           .interval = AboutMs,
           .value = kMinuteMs}}},
        {"test_hard_learning_steps",
         Settings(true),
         {{.grade = Hard, .phase = CardPhase::Learning, .step = 0, .interval = AboutMs, .value = 330'000}}},
        {"test_easy_learning_steps",
         Settings(true),
         {{.grade = Easy, .phase = CardPhase::Review, .interval = AtLeastDays, .value = 1}}},
        {"test_review_state",
         Settings(false),
         {
             {.grade = Good},
             {.grade = Good, .phase = CardPhase::Review},
             {.grade = Good, .phase = CardPhase::Review, .interval = AtLeastDays, .value = 1},
             {.grade = Again, .phase = CardPhase::Relearning, .interval = AboutMs, .value = 10 * kMinuteMs},
         }},
        {"test_relearning",
         Settings(false),
         {
             {.grade = Good},
             {.grade = Good},
             {.grade = Good},
             {.grade = Again,
              .phase = CardPhase::Relearning,
              .step = 0,
              .interval = AboutMs,
              .value = 10 * kMinuteMs},
             {.grade = Again,
              .phase = CardPhase::Relearning,
              .step = 0,
              .interval = AboutMs,
              .value = 10 * kMinuteMs},
             {.grade = Good, .phase = CardPhase::Review, .interval = AtLeastDays, .value = 1},
         }},
        {"test_no_learning_steps",
         Settings(true, noSteps),
         {{.grade = Again, .phase = CardPhase::Review, .interval = AtLeastDays, .value = 1}}},
        {"test_no_relearning_steps",
         Settings(true, twoSteps, noSteps),
         {
             {.grade = Good, .phase = CardPhase::Learning},
             {.grade = Good, .phase = CardPhase::Review},
             {.grade = Again, .phase = CardPhase::Review, .interval = AtLeastDays, .value = 1},
         }},
        {"test_one_card_multiple_schedulers",
         Settings(true),
         {
             {.grade = Good, .learningStepsMs = twoSteps, .phase = CardPhase::Learning, .step = 1},
             {.grade = Again,
              .at = At::LastReview,
              .learningStepsMs = std::vector<qint64>{kMinuteMs},
              .phase = CardPhase::Learning,
              .step = 0},
             {.grade = Hard, .at = At::LastReview, .learningStepsMs = noSteps, .phase = CardPhase::Review},
             {.grade = Again,
              .at = At::LastReview,
              .relearningStepsMs = twoSteps,
              .phase = CardPhase::Relearning,
              .step = 0},
             {.grade = Good,
              .at = At::LastReview,
              .relearningStepsMs = twoSteps,
              .phase = CardPhase::Relearning,
              .step = 1},
             {.grade = Again,
              .at = At::LastReview,
              .relearningStepsMs = std::vector<qint64>{kMinuteMs},
              .phase = CardPhase::Relearning,
              .step = 0},
             {.grade = Hard, .at = At::LastReview, .relearningStepsMs = noSteps, .phase = CardPhase::Review},
         }},
        {"test_maximum_interval",
         Settings(true, twoSteps, oneStep, 100),
         {
             {.grade = Easy, .interval = AtMostDays, .value = 100},
             {.grade = Good, .interval = AtMostDays, .value = 100},
             {.grade = Easy, .interval = AtMostDays, .value = 100},
             {.grade = Good, .interval = AtMostDays, .value = 100},
         }},
        {"test_stability_lower_bound",
         Settings(true),
         {{.grade = Again,
           .afterMs = kDayMs,
           .times = 1000,
           .leastStability = FsrsScheduler::kMinStability}}},
        {"test_learning_card_rate_hard_one_learning_step",
         Settings(true, oneStep),
         {{.grade = Hard, .phase = CardPhase::Learning, .interval = AboutMs, .value = 15 * kMinuteMs}}},
        {"test_learning_card_rate_hard_second_learning_step",
         Settings(true, twoSteps),
         {
             {.grade = Good, .phase = CardPhase::Learning, .step = 1},
             {.grade = Hard,
              .phase = CardPhase::Learning,
              .step = 1,
              .interval = AboutMs,
              .value = 10 * kMinuteMs},
         }},
        {"test_long_term_stability_learning_state",
         Settings(true),
         {
             {.grade = Easy, .phase = CardPhase::Review},
             {.grade = Again, .phase = CardPhase::Relearning},
             {.grade = Good, .afterMs = kDayMs, .phase = CardPhase::Review},
         }},
        {"test_relearning_card_rate_hard_one_relearning_step",
         Settings(true, twoSteps, oneStep),
         {
             {.grade = Easy, .phase = CardPhase::Review},
             {.grade = Again, .phase = CardPhase::Relearning, .step = 0},
             {.grade = Hard,
              .phase = CardPhase::Relearning,
              .step = 0,
              .interval = AboutMs,
              .value = 15 * kMinuteMs},
         }},
        {"test_relearning_card_rate_hard_two_relearning_steps",
         Settings(true, twoSteps, twoSteps),
         {
             {.grade = Easy, .phase = CardPhase::Review},
             {.grade = Again, .phase = CardPhase::Relearning, .step = 0},
             {.grade = Hard,
              .phase = CardPhase::Relearning,
              .step = 0,
              .interval = AboutMs,
              .value = 330'000},
             {.grade = Good, .phase = CardPhase::Relearning, .step = 1},
             {.grade = Hard,
              .phase = CardPhase::Relearning,
              .step = 1,
              .interval = AboutMs,
              .value = 10 * kMinuteMs},
             {.grade = Easy, .at = At::LastReview, .phase = CardPhase::Review},
         }},
    };
}

inline std::string Named(CardPhase phase) {
    switch (phase) {
        case CardPhase::Learning:
            return "Learning";
        case CardPhase::Review:
            return "Review";
        case CardPhase::Relearning:
            return "Relearning";
    }
    return "phase " + std::to_string(static_cast<int>(phase));
}

// What the review left that the reference would not have; empty when it matches.
inline std::string Mismatch(const Review& review, const CardMemory& card, qint64 reviewMs) {
    if (review.phase && card.phase != *review.phase) {
        return "phase " + Named(card.phase) + ", reference " + Named(*review.phase);
    }
    if (review.step && card.step != *review.step) {
        return "step " + std::to_string(card.step) + ", reference " + std::to_string(*review.step);
    }
    const qint64 intervalMs = card.dueMs - reviewMs;
    const qint64 days = intervalMs / kDayMs;
    const bool intervalOk =
        review.interval == Interval::Unchecked ||
        (review.interval == Interval::WholeDays && intervalMs >= 0 && days == review.value) ||
        (review.interval == Interval::AboutMs && std::llabs(intervalMs - review.value) <= 1000) ||
        (review.interval == Interval::AtLeastDays && days >= review.value) ||
        (review.interval == Interval::AtMostDays && intervalMs >= 0 && days <= review.value);
    if (!intervalOk) {
        return "interval " + std::to_string(intervalMs) + " ms (" + std::to_string(days) +
               " days), reference " + std::to_string(review.value) +
               (review.interval == Interval::AboutMs ? " ms" : " days");
    }
    if (review.stability && !(std::abs(card.stability - *review.stability) <= review.tolerance)) {
        return "stability " + std::to_string(card.stability) + ", reference " +
               std::to_string(*review.stability);
    }
    if (review.difficulty && !(std::abs(card.difficulty - *review.difficulty) <= review.tolerance)) {
        return "difficulty " + std::to_string(card.difficulty) + ", reference " +
               std::to_string(*review.difficulty);
    }
    if (review.leastStability && !(card.stability >= *review.leastStability)) {
        return "stability " + std::to_string(card.stability) + " under " +
               std::to_string(*review.leastStability);
    }
    return {};
}

}  // namespace fsrs_reference

// Replays every reference case through FsrsScheduler; on the first difference, says where and what.
inline bool FsrsMatchesReference(std::string* firstMismatch = nullptr) {
    using namespace fsrs_reference;
    for (const Case& reference : Cases()) {
        CardMemory card{.dueMs = kStartMs};
        qint64 lastMs = kStartMs;
        int number = 0;
        for (const Review& review : reference.reviews) {
            FsrsSettings settings = reference.settings;
            if (review.learningStepsMs) settings.learningStepsMs = *review.learningStepsMs;
            if (review.relearningStepsMs) settings.relearningStepsMs = *review.relearningStepsMs;
            const FsrsScheduler scheduler(settings);
            for (int time = 0; time < review.times; ++time) {
                ++number;
                const qint64 reviewMs = (review.at == At::Due ? card.dueMs : lastMs) + review.afterMs;
                card = scheduler.Review(card, review.grade, reviewMs);
                lastMs = reviewMs;
                const std::string mismatch = Mismatch(review, card, reviewMs);
                if (!mismatch.empty()) {
                    if (firstMismatch) {
                        *firstMismatch = std::string(reference.name) + ", review " + std::to_string(number) +
                                         ": " + mismatch;
                    }
                    return false;
                }
            }
        }
    }
    if (firstMismatch) firstMismatch->clear();
    return true;
}

}  // namespace ostrelle
