#include "core/analysis/fsrs_scheduler.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace ostrelle {
namespace {

constexpr double kMinDifficulty = 1;
constexpr double kMaxDifficulty = 10;

// Fuzz widens an interval by factor for each of its days inside [startDays, endDays).
struct FuzzRange {
    double startDays;
    double endDays;
    double factor;
};
constexpr FuzzRange kFuzzRanges[] = {{2.5, 7, 0.15}, {7, 20, 0.1}, {20, 1e9, 0.05}};

int Index(Grade grade) {
    return static_cast<int>(grade);
}

// Ties go to the even neighbour, as the reference rounds, so a stability that lands exactly on half a
// day gives the same interval there and here.
double RoundHalfEven(double value) {
    if (std::abs(value - std::trunc(value)) == 0.5) return 2.0 * std::round(value / 2.0);
    return std::round(value);
}

// Whole days elapsed, rounded down also before the epoch or when the clock went back.
qint64 FloorDays(qint64 ms) {
    qint64 days = ms / FsrsScheduler::kDayMs;
    if (ms % FsrsScheduler::kDayMs != 0 && ms < 0) --days;
    return days;
}

bool HasMemory(const CardMemory& card) {
    return std::isfinite(card.stability) && card.stability > 0 && std::isfinite(card.difficulty) &&
           card.difficulty > 0;
}

// A number in [0, 1) that depends only on its inputs (splitmix64).
double UnitDraw(std::uint64_t seed, qint64 a, qint64 b) {
    std::uint64_t x = seed ^ (static_cast<std::uint64_t>(a) * 0x9E3779B97F4A7C15ULL) ^
                      (static_cast<std::uint64_t>(b) * 0xC2B2AE3D27D4EB4FULL);
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    x ^= x >> 31;
    return static_cast<double>(x >> 11) * 0x1.0p-53;
}

}  // namespace

FsrsScheduler::FsrsScheduler(FsrsSettings settings)
    : settings_(std::move(settings)),
      decay_(-settings_.parameters[20]),
      factor_(std::pow(0.9, 1 / decay_) - 1) {}

CardMemory FsrsScheduler::Review(const CardMemory& card, Grade grade, qint64 nowMs) const {
    const auto& w = settings_.parameters;
    CardMemory next = card;
    next.step = std::max(card.step, 0);
    if (!HasMemory(card)) {
        next.phase = CardPhase::Learning;
        next.step = 0;
        next.stability = std::max(w[Index(grade) - 1], kMinStability);
        next.difficulty = std::clamp(InitialDifficulty(grade), kMinDifficulty, kMaxDifficulty);
    } else {
        // Within a day of the last review the long-term model does not apply: the reference grows or
        // shrinks the stability by the grade alone.
        const bool sameDay = card.lastReviewMs != 0 && FloorDays(nowMs - card.lastReviewMs) < 1;
        next.stability =
            sameDay ? ShortTermStability(card.stability, grade) : NextStability(card, grade, nowMs);
        next.difficulty = NextDifficulty(card.difficulty, grade);
    }

    bool graduates = false;
    qint64 intervalMs = 0;
    if (next.phase == CardPhase::Learning || next.phase == CardPhase::Relearning) {
        const std::vector<qint64>& steps =
            next.phase == CardPhase::Learning ? settings_.learningStepsMs : settings_.relearningStepsMs;
        const int count = static_cast<int>(steps.size());
        // A card may stand on a step the current settings no longer have: any pass then graduates it.
        if (count == 0 || (next.step >= count && grade != Grade::Again)) {
            graduates = true;
        } else {
            switch (grade) {
                case Grade::Again:
                    next.step = 0;
                    intervalMs = steps[0];
                    break;
                case Grade::Hard:
                    if (next.step == 0 && count == 1) {
                        intervalMs = std::llround(static_cast<double>(steps[0]) * 1.5);
                    } else if (next.step == 0) {
                        intervalMs = std::llround(static_cast<double>(steps[0] + steps[1]) / 2.0);
                    } else {
                        intervalMs = steps[next.step];
                    }
                    break;
                case Grade::Good:
                    if (next.step + 1 == count) {
                        graduates = true;
                    } else {
                        ++next.step;
                        intervalMs = steps[next.step];
                    }
                    break;
                case Grade::Easy:
                    graduates = true;
                    break;
            }
        }
    } else {
        next.phase = CardPhase::Review;
        if (grade == Grade::Again && !settings_.relearningStepsMs.empty()) {
            next.phase = CardPhase::Relearning;
            next.step = 0;
            intervalMs = settings_.relearningStepsMs[0];
        } else {
            graduates = true;
        }
    }
    if (graduates) {
        next.phase = CardPhase::Review;
        next.step = 0;
        const int days = IntervalDays(next.stability);
        intervalMs = (settings_.fuzz ? FuzzedDays(days, card, nowMs) : days) * kDayMs;
    }
    next.dueMs = nowMs + intervalMs;
    next.lastReviewMs = nowMs;
    return next;
}

double FsrsScheduler::Retrievability(const CardMemory& card, qint64 nowMs) const {
    if (card.lastReviewMs == 0 || !HasMemory(card)) return 0;
    const auto elapsedDays = static_cast<double>(std::max<qint64>(0, FloorDays(nowMs - card.lastReviewMs)));
    return std::pow(1 + factor_ * elapsedDays / card.stability, decay_);
}

qint64 FsrsScheduler::IntervalMs(const CardMemory& card, Grade grade, qint64 nowMs) const {
    return Review(card, grade, nowMs).dueMs - nowMs;
}

int FsrsScheduler::IntervalDays(double stabilityDays) const {
    const double days = stabilityDays / factor_ * (std::pow(settings_.desiredRetention, 1 / decay_) - 1);
    const double maximum = std::max(settings_.maximumIntervalDays, 1);
    if (std::isnan(days)) return 1;
    return static_cast<int>(std::clamp(RoundHalfEven(days), 1.0, maximum));
}

double FsrsScheduler::InitialDifficulty(Grade grade) const {
    const auto& w = settings_.parameters;
    return w[4] - std::exp(w[5] * (Index(grade) - 1)) + 1;
}

// Harder grades raise difficulty, less so the closer it is to 10; every review pulls it a little towards
// the difficulty of a first Easy.
double FsrsScheduler::NextDifficulty(double difficulty, Grade grade) const {
    const auto& w = settings_.parameters;
    const double delta = -w[6] * (Index(grade) - 3);
    const double damped = difficulty + (10 - difficulty) * delta / 9;
    const double reverted = w[7] * InitialDifficulty(Grade::Easy) + (1 - w[7]) * damped;
    return std::clamp(reverted, kMinDifficulty, kMaxDifficulty);
}

double FsrsScheduler::ShortTermStability(double stability, Grade grade) const {
    const auto& w = settings_.parameters;
    double increase = std::exp(w[17] * (Index(grade) - 3 + w[18])) * std::pow(stability, -w[19]);
    // A pass the same day never lowers stability.
    if (grade == Grade::Good || grade == Grade::Easy) increase = std::max(increase, 1.0);
    return std::max(stability * increase, kMinStability);
}

double FsrsScheduler::NextStability(const CardMemory& card, Grade grade, qint64 nowMs) const {
    const auto& w = settings_.parameters;
    const double s = card.stability;
    const double d = card.difficulty;
    const double r = Retrievability(card, nowMs);
    double next = 0;
    if (grade == Grade::Again) {
        const double longTerm =
            w[11] * std::pow(d, -w[12]) * (std::pow(s + 1, w[13]) - 1) * std::exp((1 - r) * w[14]);
        // A lapse never leaves more stability than a same-day Again would.
        const double shortTerm = s / std::exp(w[17] * w[18]);
        next = std::min(longTerm, shortTerm);
    } else {
        const double hardPenalty = grade == Grade::Hard ? w[15] : 1;
        const double easyBonus = grade == Grade::Easy ? w[16] : 1;
        next = s * (1 + std::exp(w[8]) * (11 - d) * std::pow(s, -w[9]) * (std::exp((1 - r) * w[10]) - 1) *
                            hardPenalty * easyBonus);
    }
    return std::max(next, kMinStability);
}

// The reference's fuzz: a range around the interval that widens with its length, never under 2 days or
// over the maximum, and a draw within it.
qint64 FsrsScheduler::FuzzedDays(int days, const CardMemory& card, qint64 nowMs) const {
    if (days < 2.5) return days;
    double delta = 1;
    for (const FuzzRange& range : kFuzzRanges) {
        delta += range.factor * std::max(std::min<double>(days, range.endDays) - range.startDays, 0.0);
    }
    const auto maximum = static_cast<qint64>(settings_.maximumIntervalDays);
    qint64 highest = std::min(static_cast<qint64>(RoundHalfEven(days + delta)), maximum);
    qint64 lowest = std::min(std::max<qint64>(2, static_cast<qint64>(RoundHalfEven(days - delta))), highest);
    const double draw = UnitDraw(settings_.fuzzSeed, nowMs, card.dueMs);
    const auto fuzzed =
        static_cast<qint64>(RoundHalfEven(draw * static_cast<double>(highest - lowest + 1) + lowest));
    return std::min(fuzzed, maximum);
}

}  // namespace ostrelle
