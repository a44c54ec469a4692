#include "core/analysis/sentence_detector.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <numbers>

namespace ostrelle {

namespace {

constexpr int kFramesPerSecond = 100;
constexpr float kSilenceDb = -100;
// Below this the hum of mains and the bass of a music bed; speech keeps nearly all its energy above it.
constexpr double kHighPassHz = 120;

// The floor and the loud level are percentiles of the frames within kWindowFrames either side of a
// moment, measured every kBlockFrames and drawn as straight lines in between.
constexpr int kWindowFrames = 8 * kFramesPerSecond;
constexpr int kBlockFrames = kFramesPerSecond / 2;
constexpr int kFloorPercent = 10;
constexpr int kLoudPercent = 95;

// A stretch is voice where it rises kEnterDb over the floor and kEnterBelowLoudDb under the loud level
// at least once, and lasts while it stays kStayDb and kStayBelowLoudDb so.
constexpr float kEnterDb = 9;
constexpr float kStayDb = 5;
constexpr float kEnterBelowLoudDb = 32;
constexpr float kStayBelowLoudDb = 38;
// A reverberant room keeps sounding after the voice stops, dying away over a few hundred milliseconds.
// Where the level (smoothed over kSmoothFrames either side) has fallen kTailDb under the highest of the
// last kTailWindowFrames, the voice may have ended: it has when those quiet frames die away by
// kTailDbPerSecond or faster; ones that do not (a soft consonant, quiet speech) stay in the sentence.
constexpr int kSmoothFrames = 4;
constexpr int kTailWindowFrames = 80;
constexpr float kTailDb = 18;
constexpr double kTailDbPerSecond = 20;
// The last frames of a quiet stretch, where any sound falls into silence, say nothing of a room; but a
// small room's tail is gone within a tenth of a second, and then its fall is all there is to weigh.
constexpr int kFadeFrames = 5;
constexpr int kMinTailFrames = 6;
constexpr int kMinShortTailFrames = 3;

// Measured between threshold crossings, a pause looks wider than its silence by the faded edges of the
// words around it.
constexpr int kMinPauseFrames = static_cast<int>(SentenceDetector::kMinPauseSeconds * kFramesPerSecond) + 5;
constexpr int kMinSentenceFrames = static_cast<int>(SentenceDetector::kMinSentenceSeconds * kFramesPerSecond);
constexpr int kMaxSentenceFrames = static_cast<int>(SentenceDetector::kMaxSentenceSeconds * kFramesPerSecond);
// A short piece further than this from both neighbours stands alone; one shorter than kClickFrames
// then is a click or a breath, not a word.
constexpr int kMaxJoinFrames = 80;
constexpr int kClickFrames = 15;
// A long sentence is not cut closer than this to either of its ends.
constexpr int kMinPartFrames = kFramesPerSecond;
// The width over which a cut point's depth is measured: a gap between words, not a stop consonant.
constexpr int kDepthFrames = 20;
// How far a sentence reaches into the pauses around it: onsets and fading ends lie under the threshold. A
// final consonant's release (the "t" of "locked") fades for well over 100 ms.
constexpr int kPadBeforeFrames = 4;
constexpr int kPadAfterFrames = 16;

float Percentile(std::vector<float>& values, int percent) {
    const auto at = values.begin() + static_cast<std::ptrdiff_t>((values.size() - 1) * percent / 100);
    std::nth_element(values.begin(), at, values.end());
    return *at;
}

float Db(double power) {
    return power > 1e-10 ? static_cast<float>(10 * std::log10(power)) : kSilenceDb;
}

// Each level as the mean power of the kSmoothFrames either side of it.
std::vector<float> Smoothed(const std::vector<float>& levelsDb) {
    const int frames = static_cast<int>(levelsDb.size());
    std::vector<double> sums(levelsDb.size() + 1, 0.0);
    for (int i = 0; i < frames; ++i)
        sums[i + 1] = sums[i] + std::pow(10.0, levelsDb[i] / 10.0);
    std::vector<float> smooth(levelsDb.size());
    for (int i = 0; i < frames; ++i) {
        const int from = std::max(0, i - kSmoothFrames);
        const int to = std::min(frames, i + kSmoothFrames + 1);
        smooth[i] = Db((sums[to] - sums[from]) / (to - from));
    }
    return smooth;
}

// Each level's highest over the kTailWindowFrames before it and itself.
std::vector<float> RecentPeaks(const std::vector<float>& levelsDb) {
    std::vector<float> peaks(levelsDb.size());
    std::deque<int> falling;  // frames of the window whose levels fall from front to back
    for (int i = 0; i < static_cast<int>(levelsDb.size()); ++i) {
        while (!falling.empty() && levelsDb[falling.back()] <= levelsDb[i])
            falling.pop_back();
        falling.push_back(i);
        if (falling.front() < i - kTailWindowFrames) falling.pop_front();
        peaks[i] = levelsDb[falling.front()];
    }
    return peaks;
}

}  // namespace

SentenceDetector::SentenceDetector(int sampleRate)
    : sampleRate_(std::max(1, sampleRate)),
      frameLength_(std::max(1, (sampleRate_ + 50) / kFramesPerSecond)) {}

void SentenceDetector::Feed(const float* mono, std::size_t count) {
    const auto a = static_cast<float>(std::exp(-2 * std::numbers::pi * kHighPassHz / sampleRate_));
    for (std::size_t i = 0; i < count; ++i) {
        const float in = std::isfinite(mono[i]) ? mono[i] : 0.0f;
        previousOut_ = a * (previousOut_ + in - previousIn_);
        previousIn_ = in;
        sum_ += static_cast<double>(previousOut_) * previousOut_;
        if (++inFrame_ == frameLength_) EndFrame();
    }
    fed_ += count;
}

void SentenceDetector::EndFrame() {
    const double power = sum_ / frameLength_;
    levelsDb_.push_back(Db(power));
    sum_ = 0;
    inFrame_ = 0;
}

double SentenceDetector::FedSeconds() const {
    return static_cast<double>(fed_) / sampleRate_;
}

std::vector<float> SentenceDetector::PercentileLine(int percent) const {
    const int frames = static_cast<int>(levelsDb_.size());
    std::vector<float> points;
    std::vector<float> window;
    for (int centre = 0; centre < frames + kBlockFrames; centre += kBlockFrames) {
        const int from = std::max(0, centre - kWindowFrames);
        const int to = std::min(frames, centre + kWindowFrames);
        window.assign(levelsDb_.begin() + from, levelsDb_.begin() + to);
        points.push_back(window.empty() ? kSilenceDb : Percentile(window, percent));
    }
    std::vector<float> line(frames);
    for (int i = 0; i < frames; ++i) {
        const int block = i / kBlockFrames;
        const float t = static_cast<float>(i % kBlockFrames) / kBlockFrames;
        line[i] = points[block] + t * (points[block + 1] - points[block]);
    }
    return line;
}

bool SentenceDetector::DiesAway(int from, int to) const {
    if (to - from >= kMinTailFrames + kFadeFrames) to -= kFadeFrames;
    const int n = to - from;
    if (n < kMinShortTailFrames) return false;
    // The least-squares slope of the levels, in dB per frame.
    double sumX = 0;
    double sumY = 0;
    double sumXX = 0;
    double sumXY = 0;
    for (int f = from; f < to; ++f) {
        const double x = f - from;
        sumX += x;
        sumY += levelsDb_[f];
        sumXX += x * x;
        sumXY += x * levelsDb_[f];
    }
    const double slope = (n * sumXY - sumX * sumY) / (n * sumXX - sumX * sumX);
    return slope * kFramesPerSecond <= -kTailDbPerSecond;
}

std::vector<SentenceDetector::Region> SentenceDetector::SpeechRegions() const {
    const std::vector<float> floor = PercentileLine(kFloorPercent);
    const std::vector<float> loud = PercentileLine(kLoudPercent);
    const std::vector<float> smooth = Smoothed(levelsDb_);
    const std::vector<float> peaks = RecentPeaks(smooth);
    const int frames = static_cast<int>(levelsDb_.size());
    auto audible = [&](int f) {
        return levelsDb_[f] > std::max(floor[f] + kStayDb, loud[f] - kStayBelowLoudDb);
    };
    auto voice = [&](int f) { return audible(f) && smooth[f] > peaks[f] - kTailDb; };
    auto enters = [&](int f) {
        return levelsDb_[f] > std::max(floor[f] + kEnterDb, loud[f] - kEnterBelowLoudDb);
    };
    std::vector<Region> regions;
    int i = 0;
    while (i < frames) {
        if (!voice(i)) {
            ++i;
            continue;
        }
        const int from = i;
        bool entered = false;
        for (;;) {
            for (; i < frames && voice(i); ++i)
                entered = entered || enters(i);
            int quiet = i;
            while (quiet < frames && audible(quiet) && !voice(quiet))
                ++quiet;
            if (quiet == i || DiesAway(i, quiet)) break;
            i = quiet;
        }
        if (!entered) continue;
        if (!regions.empty() && from - regions.back().to < kMinPauseFrames)
            regions.back().to = i;
        else
            regions.push_back({from, i});
    }
    return regions;
}

std::vector<SentenceDetector::Region> SentenceDetector::Joined(std::vector<Region> pieces) const {
    std::vector<Region> joined;
    for (std::size_t k = 0; k < pieces.size(); ++k) {
        const Region& piece = pieces[k];
        const int length = piece.to - piece.from;
        if (length >= kMinSentenceFrames) {
            joined.push_back(piece);
            continue;
        }
        const int before = joined.empty() ? kMaxJoinFrames + 1 : piece.from - joined.back().to;
        const int after = k + 1 < pieces.size() ? pieces[k + 1].from - piece.to : kMaxJoinFrames + 1;
        if (before <= kMaxJoinFrames && before <= after)
            joined.back().to = piece.to;
        else if (after <= kMaxJoinFrames)
            pieces[k + 1].from = piece.from;  // the next piece carries it, and is weighed in its turn
        else if (length >= kClickFrames)
            joined.push_back(piece);
    }
    return joined;
}

void SentenceDetector::SplitLong(std::vector<Region>& regions) const {
    // Power sums over the frames, for the depth of any stretch at once.
    std::vector<double> sums(levelsDb_.size() + 1, 0.0);
    for (std::size_t i = 0; i < levelsDb_.size(); ++i)
        sums[i + 1] = sums[i] + std::pow(10.0, levelsDb_[i] / 10.0);
    auto depth = [&](int centre) {
        const int from = std::max(0, centre - kDepthFrames / 2);
        const int to = std::min(static_cast<int>(levelsDb_.size()), centre + kDepthFrames / 2);
        return (sums[to] - sums[from]) / std::max(1, to - from);
    };
    std::vector<Region> done;
    std::vector<Region> pending(regions.rbegin(), regions.rend());
    while (!pending.empty()) {
        const Region region = pending.back();
        pending.pop_back();
        if (region.to - region.from <= kMaxSentenceFrames) {
            done.push_back(region);
            continue;
        }
        const int middle = (region.from + region.to) / 2;
        int cut = middle;
        for (int f = region.from + kMinPartFrames; f < region.to - kMinPartFrames; ++f) {
            const double d = depth(f);
            const double best = depth(cut);
            if (d < best || (d == best && std::abs(f - middle) < std::abs(cut - middle))) cut = f;
        }
        // The cut leaves out the quiet frames around its point, so each part ends where voice does.
        const float quiet = levelsDb_[cut] + 3;
        int left = cut;
        int right = cut + 1;
        while (left > region.from + kMinPartFrames && levelsDb_[left - 1] <= quiet)
            --left;
        while (right < region.to - kMinPartFrames && levelsDb_[right] <= quiet)
            ++right;
        pending.push_back({right, region.to});
        pending.push_back({region.from, left});
    }
    regions = std::move(done);
}

std::vector<Sentence> SentenceDetector::Finish() const {
    std::vector<Region> regions = Joined(SpeechRegions());
    SplitLong(regions);
    const double frameSeconds = static_cast<double>(frameLength_) / sampleRate_;
    const double fedSeconds = FedSeconds();
    std::vector<Sentence> sentences;
    for (std::size_t k = 0; k < regions.size(); ++k) {
        const Region& r = regions[k];
        // Never past the middle of the pause to either neighbour.
        const int roomBefore = k == 0 ? r.from : (r.from - regions[k - 1].to) / 2;
        const int roomAfter = k + 1 == regions.size() ? kPadAfterFrames : (regions[k + 1].from - r.to) / 2;
        const int from = r.from - std::min(kPadBeforeFrames, roomBefore);
        const int to = r.to + std::min(kPadAfterFrames, roomAfter);
        sentences.push_back({from * frameSeconds, std::min(to * frameSeconds, fedSeconds)});
    }
    return sentences;
}

}  // namespace ostrelle
