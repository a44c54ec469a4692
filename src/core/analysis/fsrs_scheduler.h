#pragma once

#include <QtGlobal>

#include <array>
#include <cstdint>
#include <vector>

namespace ostrelle {

// How well the learner recalled a card; the numbers are FSRS's.
enum class Grade { Again = 1, Hard = 2, Good = 3, Easy = 4 };

// Where a card stands: in its first short steps, on whole-day intervals, or back in short steps after a
// lapse. The numbers are those a card's row keeps.
enum class CardPhase { Learning = 1, Review = 2, Relearning = 3 };

// One card's memory, as a row keeps it. A new card is CardMemory{} with dueMs set to when it was made.
struct CardMemory {
    CardPhase phase = CardPhase::Learning;
    int step = 0;             // index into the learning or relearning steps; 0 in Review
    double stability = 0;     // days until recall falls to 90 %; 0 = never reviewed
    double difficulty = 0;    // 1..10; 0 = never reviewed
    qint64 dueMs = 0;         // since the epoch, UTC
    qint64 lastReviewMs = 0;  // since the epoch, UTC; 0 = never
};

struct FsrsSettings {
    // FSRS-6's defaults; w[20] is the decay of the forgetting curve.
    std::array<double, 21> parameters = {0.212,  1.2931, 2.3065, 8.2956, 6.4133, 0.8334, 3.0194,
                                         0.001,  1.8722, 0.1666, 0.796,  1.4835, 0.0614, 0.2629,
                                         1.6483, 0.6014, 1.8729, 0.5425, 0.0912, 0.0658, 0.1542};
    double desiredRetention = 0.9;
    std::vector<qint64> learningStepsMs = {60'000, 600'000};
    std::vector<qint64> relearningStepsMs = {600'000};
    int maximumIntervalDays = 36500;
    // Spreads day intervals of 3 days and more a little so cards learnt together fall due apart. The
    // spread is drawn from fuzzSeed and the review, so the same review always gives the same interval.
    bool fuzz = false;
    std::uint64_t fuzzSeed = 0;
};

// Schedules reviews by FSRS-6 as the reference scheduler (py-fsrs 6.3) does: stability and difficulty
// after each grade, short steps in minutes while learning and relearning, then whole days from the
// stability and the desired retention, clamped to 1..maximumIntervalDays. Pure: no clock, no state.
class FsrsScheduler {
public:
    static constexpr qint64 kDayMs = 86'400'000;
    static constexpr double kMinStability = 0.001;

    explicit FsrsScheduler(FsrsSettings settings = {});

    // The card after a review graded grade at nowMs. A row with no usable memory (stability or difficulty
    // not a positive number) is taken as a card never reviewed.
    CardMemory Review(const CardMemory& card, Grade grade, qint64 nowMs) const;
    // Probability of recall at nowMs, counted in whole days since the last review; 0 for a card never
    // reviewed.
    double Retrievability(const CardMemory& card, qint64 nowMs) const;
    // How long after nowMs the card would fall due if graded grade now: for the grade buttons.
    qint64 IntervalMs(const CardMemory& card, Grade grade, qint64 nowMs) const;
    // The whole-day interval a card of this stability gets, fuzz aside.
    int IntervalDays(double stabilityDays) const;

    const FsrsSettings& Settings() const { return settings_; }

private:
    double InitialDifficulty(Grade grade) const;
    double NextDifficulty(double difficulty, Grade grade) const;
    double ShortTermStability(double stability, Grade grade) const;
    double NextStability(const CardMemory& card, Grade grade, qint64 nowMs) const;
    qint64 FuzzedDays(int days, const CardMemory& card, qint64 nowMs) const;

    FsrsSettings settings_;
    double decay_;   // the forgetting curve's exponent, -w[20]
    double factor_;  // makes recall 90 % after stability days whatever the decay
};

}  // namespace ostrelle
