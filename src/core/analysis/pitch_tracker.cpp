#include "core/analysis/pitch_tracker.h"

#include "core/analysis/speech_features.h"

#include <algorithm>
#include <cmath>

namespace ostrelle {
namespace {

constexpr int kRate = SpeechFeatures::kSampleRate;
constexpr int kHop = kRate / 100;
// Working at half the rate: a voice's pitch lies far under 4 kHz, and the difference function costs a
// quarter as much.
constexpr int kDecimation = 2;
constexpr int kWorkRate = kRate / kDecimation;
constexpr int kShortestPeriod = kWorkRate / 500;
constexpr int kLongestPeriod = kWorkRate / 60;
// The window holds two of the longest periods.
constexpr int kWindow = 2 * kLongestPeriod;
// Under this share of the mean difference, a period is the voice's; over kUnvoiced at best, none is.
constexpr float kThreshold = 0.15f;
constexpr float kUnvoiced = 0.35f;
// A frame this far under the loudest is breath or room, not voice.
constexpr float kQuietDb = 35;

}  // namespace

std::vector<float> TrackPitch(const std::vector<float>& samples) {
    // Two-sample means: a plain low-pass before halving the rate.
    std::vector<float> work(samples.size() / kDecimation);
    for (std::size_t i = 0; i < work.size(); ++i)
        work[i] = 0.5f * (samples[kDecimation * i] + samples[kDecimation * i + 1]);
    const int frames = static_cast<int>(samples.size() / kHop);
    std::vector<float> pitch(static_cast<std::size_t>(frames), 0.0f);
    std::vector<float> levels(static_cast<std::size_t>(frames), -200.0f);
    std::vector<float> difference(kLongestPeriod + 2);
    for (int frame = 0; frame < frames; ++frame) {
        const int start = frame * kHop / kDecimation;
        if (start + kWindow + kLongestPeriod + 1 > static_cast<int>(work.size())) break;
        double power = 0;
        for (int i = 0; i < kWindow; ++i)
            power += static_cast<double>(work[start + i]) * work[start + i];
        levels[frame] = static_cast<float>(10 * std::log10(power / kWindow + 1e-12));
        // The difference function, each lag's value against the mean of those before it.
        double running = 0;
        int found = 0;
        float best = 1e9f;
        int bestLag = 0;
        for (int lag = 1; lag <= kLongestPeriod + 1; ++lag) {
            double sum = 0;
            for (int i = 0; i < kWindow; ++i) {
                const double d = static_cast<double>(work[start + i]) - work[start + i + lag];
                sum += d * d;
            }
            running += sum;
            difference[lag] = running > 0 ? static_cast<float>(sum * lag / running) : 1.0f;
            if (lag < kShortestPeriod) continue;
            if (difference[lag] < best) best = difference[lag], bestLag = lag;
            // The first dip under the threshold, followed to its bottom.
            if (!found && lag > kShortestPeriod && difference[lag - 1] < kThreshold &&
                difference[lag] >= difference[lag - 1]) {
                found = lag - 1;
                break;
            }
        }
        const int lag = found ? found : (best < kUnvoiced ? bestLag : 0);
        if (lag <= kShortestPeriod || lag > kLongestPeriod) continue;
        // The dip's bottom between lags, by a parabola through it and its neighbours.
        const float a = difference[lag - 1], b = difference[lag], c = difference[lag + 1];
        const float bend = a - 2 * b + c;
        const float shift = bend > 0 ? 0.5f * (a - c) / bend : 0.0f;
        pitch[frame] =
            static_cast<float>(kWorkRate) / (static_cast<float>(lag) + std::clamp(shift, -0.5f, 0.5f));
    }
    const float loudest = frames > 0 ? *std::max_element(levels.begin(), levels.end()) : 0.0f;
    for (int frame = 0; frame < frames; ++frame)
        if (levels[frame] < loudest - kQuietDb) pitch[frame] = 0;
    return pitch;
}

std::vector<float> Semitones(const std::vector<float>& pitchHz, std::vector<bool>& voiced) {
    voiced.assign(pitchHz.size(), false);
    std::vector<float> heard;
    for (std::size_t i = 0; i < pitchHz.size(); ++i)
        if (pitchHz[i] > 0) heard.push_back(pitchHz[i]), voiced[i] = true;
    std::vector<float> semitones(pitchHz.size(), 0.0f);
    if (heard.empty()) return semitones;
    std::nth_element(heard.begin(), heard.begin() + static_cast<std::ptrdiff_t>(heard.size() / 2),
                     heard.end());
    const float median = heard[heard.size() / 2];
    for (std::size_t i = 0; i < pitchHz.size(); ++i)
        if (voiced[i]) semitones[i] = 12.0f * std::log2(pitchHz[i] / median);
    return semitones;
}

}  // namespace ostrelle
