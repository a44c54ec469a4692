#include "core/analysis/take_score.h"

#include "core/analysis/frame_alignment.h"
#include "core/analysis/pitch_tracker.h"
#include "core/analysis/speech_features.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace ostrelle {
namespace {

using Frame = SpeechFeatures::Frame;
constexpr int kHop = SpeechFeatures::kSampleRate / 100;
constexpr double kFrameSeconds = 0.01;

// A recording is cut off at full scale when this share of its samples lie at it.
constexpr float kFullScale = 0.98f;
constexpr double kClippedShare = 0.001;
// No voice: the loudest frame is under this, or voice lasts less than kShortestVoiceFrames.
constexpr float kSilentDb = -50;
constexpr int kShortestVoiceFrames = 20;
// The voice rises less than this over the room: the room's noise is most of what was heard.
constexpr float kNoisyDb = 12;
// Voice is this far over the floor and within kVoiceUnderLoudDb of the loud frames.
constexpr float kVoiceOverFloorDb = 10;
constexpr float kVoiceUnderLoudDb = 35;
// Kept around the voice: a word's onset and its fading end lie under the threshold.
constexpr int kEdgeFrames = 5;

// Content: the worst misfit of a quarter second (see Misfits), from that of a good take of the same sentence
// by another voice (100) to that of another sentence (0).
constexpr double kGoodMisfit = 3.0;
constexpr double kOtherMisfit = 7.0;
// Flags: stretches of the original whose misfit stays this much over the take's mean distance; at most
// kMaxFlags, each widened to kShortestFlagFrames.
constexpr int kFlagSmoothFrames = 25;
constexpr double kFlagOverMean = 1.15;
constexpr int kMaxFlags = 3;
constexpr int kShortestFlagFrames = 20;
// A quarter second the take passes over wholly weighs as much as this much more distance.
constexpr double kPassedOverWeight = 4;
// Timing: the original cut in kPaceParts, each part's length in the take against the take's overall pace.
constexpr int kPaceParts = 4;
// Intonation: pitch lines this far apart on average (semitones) score 0; fewer than kFewestPitchPairs
// voiced frames in both give no intonation score.
constexpr double kWorstPitchGap = 5;
constexpr int kFewestPitchPairs = 10;

struct Voice {
    int first = 0;  // frames [first, last]
    int last = -1;
    float floorDb = 0;
    float loudDb = 0;
    float peakDb = -200;
};

float Quantile(std::vector<float> values, double q) {
    if (values.empty()) return -200;
    const auto at = values.begin() + static_cast<std::ptrdiff_t>(q * static_cast<double>(values.size() - 1));
    std::nth_element(values.begin(), at, values.end());
    return *at;
}

std::vector<float> FrameLevels(const std::vector<float>& samples) {
    std::vector<float> levels;
    for (std::size_t at = 0; at + kHop <= samples.size(); at += kHop) {
        double power = 0;
        for (std::size_t i = at; i < at + kHop; ++i)
            power += static_cast<double>(samples[i]) * samples[i];
        levels.push_back(static_cast<float>(10 * std::log10(power / kHop + 1e-12)));
    }
    return levels;
}

Voice FindVoice(const std::vector<float>& levels) {
    Voice voice;
    if (levels.empty()) return voice;
    voice.floorDb = Quantile(levels, 0.1);
    voice.loudDb = Quantile(levels, 0.95);
    voice.peakDb = *std::max_element(levels.begin(), levels.end());
    const float threshold = std::max(voice.floorDb + kVoiceOverFloorDb, voice.loudDb - kVoiceUnderLoudDb);
    const int frames = static_cast<int>(levels.size());
    int first = 0, last = frames - 1;
    while (first < frames && levels[first] < threshold)
        ++first;
    while (last >= 0 && levels[last] < threshold)
        --last;
    if (first > last) return voice;
    voice.first = std::max(0, first - kEdgeFrames);
    voice.last = std::min(frames - 1, last + kEdgeFrames);
    return voice;
}

std::optional<TakeProblem> ProblemOf(const std::vector<float>& samples, const Voice& voice) {
    if (voice.peakDb < kSilentDb) return TakeProblem::Silent;
    const auto clipped =
        std::count_if(samples.begin(), samples.end(), [](float s) { return std::abs(s) >= kFullScale; });
    if (static_cast<double>(clipped) > kClippedShare * static_cast<double>(samples.size()))
        return TakeProblem::Clipped;
    if (voice.loudDb - voice.floorDb < kNoisyDb) return TakeProblem::Noisy;
    if (voice.last - voice.first + 1 < kShortestVoiceFrames) return TakeProblem::Silent;
    return std::nullopt;
}

// The mel cepstra of the voice's frames, each coefficient of mean 0 and deviation 1.
// The samples of the voice's frames.
std::vector<float> VoiceSamples(const std::vector<float>& samples, const Voice& voice) {
    const auto from = std::min(samples.size(), static_cast<std::size_t>(voice.first) * kHop);
    const auto to = std::min(samples.size(), static_cast<std::size_t>(voice.last + 1) * kHop);
    return {samples.begin() + static_cast<std::ptrdiff_t>(from),
            samples.begin() + static_cast<std::ptrdiff_t>(to)};
}

std::vector<Frame> VoiceFrames(const std::vector<float>& voiceSamples) {
    SpeechFeatures features;
    features.Feed(voiceSamples.data(), voiceSamples.size());
    std::vector<Frame> frames = features.Frames();
    SpeechFeatures::Normalise(frames);
    return frames;
}

struct Warp {
    std::vector<std::pair<int, int>> path;  // (original frame, take frame), in order
    std::vector<float> costs;               // each pair's distance
};

// The in-order pairing of least summed distance, within a band around the straight line wide enough for a
// take half or twice as long.
Warp WarpFrames(const std::vector<Frame>& a, const std::vector<Frame>& b) {
    const int rows = static_cast<int>(a.size());
    const int cols = static_cast<int>(b.size());
    Warp warp;
    if (rows == 0 || cols == 0) return warp;
    const int band = std::max(30, std::abs(rows - cols) + std::max(rows, cols) / 4);
    constexpr float kInfinite = std::numeric_limits<float>::infinity();
    std::vector<int> first(rows), last(rows);
    for (int r = 0; r < rows; ++r) {
        const int centre =
            rows == 1 ? 0 : static_cast<int>(static_cast<long long>(r) * (cols - 1) / (rows - 1));
        first[r] = std::max(0, centre - band);
        last[r] = std::min(cols - 1, centre + band);
    }
    // Steps: 0 start, 1 diagonal, 2 from above, 3 from the left.
    std::vector<std::vector<std::uint8_t>> steps(rows);
    std::vector<float> previous(cols, kInfinite), current(cols, kInfinite);
    for (int r = 0; r < rows; ++r) {
        steps[r].assign(static_cast<std::size_t>(last[r] - first[r] + 1), 0);
        std::fill(current.begin(), current.end(), kInfinite);
        for (int c = first[r]; c <= last[r]; ++c) {
            const float d = FrameDistance(a[r], b[c]);
            float best = kInfinite;
            std::uint8_t step = 0;
            if (r == 0 && c == 0) best = 0;
            if (r > 0 && c > 0 && previous[c - 1] < best) best = previous[c - 1], step = 1;
            if (r > 0 && previous[c] < best) best = previous[c], step = 2;
            if (c > first[r] && current[c - 1] < best) best = current[c - 1], step = 3;
            current[c] = best + d;
            steps[r][c - first[r]] = step;
        }
        std::swap(previous, current);
    }
    int r = rows - 1, c = cols - 1;
    while (r >= 0 && c >= 0) {
        warp.path.emplace_back(r, c);
        warp.costs.push_back(FrameDistance(a[r], b[c]));
        if (c < first[r] || c > last[r]) break;
        const std::uint8_t step = steps[r][c - first[r]];
        if (step == 1)
            --r, --c;
        else if (step == 2)
            --r;
        else if (step == 3)
            --c;
        else
            break;
    }
    std::reverse(warp.path.begin(), warp.path.end());
    std::reverse(warp.costs.begin(), warp.costs.end());
    return warp;
}

int Score(double share) {
    return static_cast<int>(std::lround(100 * std::clamp(share, 0.0, 1.0)));
}

// How badly each frame of the original (from its voice's first) is matched: the distance of the warped
// frames over the quarter second around it, and how much of that quarter second the take passes over
// (against the take's overall pace), which a word left out or said much shorter shows.
std::vector<double> Misfits(const std::vector<double>& perFrame, const std::vector<int>& takeAt,
                            double pace) {
    const int frames = static_cast<int>(perFrame.size());
    std::vector<double> misfits(perFrame.size(), 0.0);
    for (int f = 0; f < frames; ++f) {
        const int from = std::max(0, f - kFlagSmoothFrames / 2);
        const int to = std::min(frames - 1, f + kFlagSmoothFrames / 2);
        double sum = 0;
        for (int g = from; g <= to; ++g)
            sum += perFrame[g];
        const double spanned = takeAt[to] - takeAt[from];
        const double passedOver = std::max(0.0, 1.0 - spanned / (pace * std::max(1, to - from)));
        misfits[f] = sum / (to - from + 1) + kPassedOverWeight * passedOver;
    }
    return misfits;
}

// The stretches of the original where the misfit stays highest, worst first.
std::vector<std::pair<int, int>> Flags(const std::vector<double>& misfits, double threshold) {
    const int frames = static_cast<int>(misfits.size());
    std::vector<std::pair<int, int>> flags;
    std::vector<bool> taken(misfits.size(), false);
    while (static_cast<int>(flags.size()) < kMaxFlags) {
        int peak = -1;
        for (int f = 0; f < frames; ++f)
            if (!taken[f] && misfits[f] > threshold && (peak < 0 || misfits[f] > misfits[peak])) peak = f;
        if (peak < 0) break;
        int from = peak, to = peak;
        while (from > 0 && !taken[from - 1] && misfits[from - 1] > threshold)
            --from;
        while (to + 1 < frames && !taken[to + 1] && misfits[to + 1] > threshold)
            ++to;
        while (to - from + 1 < kShortestFlagFrames && (from > 0 || to + 1 < frames)) {
            if (from > 0) --from;
            if (to + 1 < frames && to - from + 1 < kShortestFlagFrames) ++to;
        }
        for (int f = std::max(0, from - kFlagSmoothFrames); f <= std::min(frames - 1, to + kFlagSmoothFrames);
             ++f)
            taken[f] = true;
        flags.emplace_back(from, to);
    }
    return flags;
}

}  // namespace

TakeScore ScoreTake(const std::vector<float>& original, const std::vector<float>& take) {
    TakeScore score;
    const std::vector<float> originalLevels = FrameLevels(original);
    const std::vector<float> takeLevels = FrameLevels(take);
    const Voice originalVoice = FindVoice(originalLevels);
    const Voice takeVoice = FindVoice(takeLevels);
    if (const auto problem = ProblemOf(take, takeVoice)) {
        score.problem = problem;
        return score;
    }
    if (originalVoice.last - originalVoice.first + 1 < kShortestVoiceFrames) {
        score.problem = TakeProblem::Silent;
        return score;
    }
    const std::vector<float> originalSpeech = VoiceSamples(original, originalVoice);
    const std::vector<float> takeSpeech = VoiceSamples(take, takeVoice);
    const std::vector<Frame> a = VoiceFrames(originalSpeech);
    const std::vector<Frame> b = VoiceFrames(takeSpeech);
    const Warp warp = WarpFrames(a, b);
    if (warp.path.empty()) {
        score.problem = TakeProblem::Silent;
        return score;
    }

    // Content: the mean distance along the warp; the flags where it stays high.
    double total = 0;
    for (const float cost : warp.costs)
        total += cost;
    const double mean = total / static_cast<double>(warp.costs.size());
    const int rows = static_cast<int>(a.size());
    std::vector<double> perFrame(a.size(), 0.0);
    std::vector<int> pairs(a.size(), 0);
    std::vector<int> takeAt(a.size(), -1);
    for (std::size_t k = 0; k < warp.path.size(); ++k) {
        const auto [r, c] = warp.path[k];
        perFrame[r] += warp.costs[k];
        ++pairs[r];
        if (takeAt[r] < 0) takeAt[r] = c;
    }
    for (int r = 0; r < rows; ++r)
        perFrame[r] /= std::max(1, pairs[r]);
    const double pace = static_cast<double>(b.size()) / static_cast<double>(a.size());
    const std::vector<double> misfits = Misfits(perFrame, takeAt, pace);
    const double worst = *std::max_element(misfits.begin(), misfits.end());
    score.content = Score((kOtherMisfit - worst) / (kOtherMisfit - kGoodMisfit));
    for (const auto& [from, to] : Flags(misfits, kFlagOverMean * mean))
        score.flags.push_back(
            {(originalVoice.first + from) * kFrameSeconds, (originalVoice.first + to + 1) * kFrameSeconds});

    // Timing: the take's length against the original's, each part's pace against the take's own, and the
    // pauses' share of each.
    double paceSquares = 0;
    int parts = 0;
    for (int p = 0; p < kPaceParts; ++p) {
        const int from = rows * p / kPaceParts, to = rows * (p + 1) / kPaceParts - 1;
        if (to <= from || takeAt[from] < 0 || takeAt[to] < 0) continue;
        const double taken = std::max(1, takeAt[to] - takeAt[from] + 1);
        const double deviation = std::log(taken / (to - from + 1)) - std::log(pace);
        paceSquares += deviation * deviation;
        ++parts;
    }
    const double paceDeviation = parts > 0 ? std::sqrt(paceSquares / parts) : 0;
    const auto pauseShare = [](const std::vector<float>& levels, const Voice& voice) {
        const float threshold = std::max(voice.floorDb + kVoiceOverFloorDb, voice.loudDb - kVoiceUnderLoudDb);
        int quiet = 0;
        for (int f = voice.first; f <= voice.last; ++f)
            quiet += levels[f] < threshold;
        return static_cast<double>(quiet) / std::max(1, voice.last - voice.first + 1);
    };
    const double pauseDifference =
        std::abs(pauseShare(originalLevels, originalVoice) - pauseShare(takeLevels, takeVoice));
    const double timingPenalty = 0.8 * std::abs(std::log(pace)) + paceDeviation + pauseDifference;
    score.timing = Score(std::exp(-2.0 * timingPenalty));

    // Intonation: the pitch lines in semitones over each voice's median, compared where both are voiced.
    std::vector<bool> originalVoiced, takeVoiced;
    const std::vector<float> originalPitch = Semitones(TrackPitch(originalSpeech), originalVoiced);
    const std::vector<float> takePitch = Semitones(TrackPitch(takeSpeech), takeVoiced);
    double gapSum = 0;
    int gapCount = 0;
    score.takeFrameAt.assign(originalLevels.size(), -1);
    for (int r = 0; r < rows; ++r) {
        const int c = takeAt[r];
        if (c >= 0 && originalVoice.first + r < static_cast<int>(score.takeFrameAt.size()))
            score.takeFrameAt[originalVoice.first + r] = takeVoice.first + c;
        PitchPair pair;
        pair.at = (originalVoice.first + r) * kFrameSeconds;
        const bool heardHere = r < static_cast<int>(originalPitch.size()) && originalVoiced[r];
        const bool heardThere = c >= 0 && c < static_cast<int>(takePitch.size()) && takeVoiced[c];
        if (heardHere) pair.original = originalPitch[r];
        if (heardThere) pair.take = takePitch[c];
        if (heardHere && heardThere) {
            gapSum += std::abs(originalPitch[r] - takePitch[c]);
            ++gapCount;
        }
        score.pitch.push_back(pair);
    }
    score.intonation = gapCount >= kFewestPitchPairs ? Score(1 - gapSum / gapCount / kWorstPitchGap) : 0;
    return score;
}

const char* TakeProblemMessage(TakeProblem problem) {
    switch (problem) {
        case TakeProblem::Silent:
            return "没有听到声音";
        case TakeProblem::Clipped:
            return "录音太响，请离麦克风远一点";
        case TakeProblem::Noisy:
            return "杂音太大，请在安静的地方再录一次";
    }
    return "";
}

const char* ScoreWord(int score) {
    if (score >= 85) return "很好";
    if (score >= 70) return "不错";
    if (score >= 50) return "一般";
    return "需要练习";
}

}  // namespace ostrelle
