#include "core/analysis/sentence_detector.h"

#include <algorithm>
#include <cmath>
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
// at least once, and lasts while it stays kStayDb and kStayBelowLoudDb so. The loud limit keeps the
// decaying tail of a reverberant room out of the sentence it follows.
constexpr float kEnterDb = 9;
constexpr float kStayDb = 5;
constexpr float kEnterBelowLoudDb = 32;
constexpr float kStayBelowLoudDb = 38;

constexpr int kMinPauseFrames = static_cast<int>(SentenceDetector::kMinPauseSeconds * kFramesPerSecond);
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
// How far a sentence reaches into the pauses around it: onsets and fading ends lie under the threshold.
constexpr int kPadBeforeFrames = 5;
constexpr int kPadAfterFrames = 6;

float Percentile(std::vector<float>& values, int percent) {
    const auto at = values.begin() + static_cast<std::ptrdiff_t>((values.size() - 1) * percent / 100);
    std::nth_element(values.begin(), at, values.end());
    return *at;
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
    levelsDb_.push_back(power > 1e-10 ? static_cast<float>(10 * std::log10(power)) : kSilenceDb);
    sum_ = 0;
    inFrame_ = 0;
}

double SentenceDetector::FedSeconds() const {
    return static_cast<double>(fed_) / sampleRate_;
}

std::vector<float> SentenceDetector::Floor(int percent) const {
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

std::vector<SentenceDetector::Region> SentenceDetector::SpeechRegions() const {
    const std::vector<float> floor = Floor(kFloorPercent);
    const std::vector<float> loud = Floor(kLoudPercent);
    const int frames = static_cast<int>(levelsDb_.size());
    std::vector<Region> regions;
    int i = 0;
    while (i < frames) {
        auto stays = [&](int f) {
            return levelsDb_[f] > std::max(floor[f] + kStayDb, loud[f] - kStayBelowLoudDb);
        };
        if (!stays(i)) {
            ++i;
            continue;
        }
        const int from = i;
        bool entered = false;
        for (; i < frames && stays(i); ++i)
            entered = entered || levelsDb_[i] > std::max(floor[i] + kEnterDb, loud[i] - kEnterBelowLoudDb);
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
