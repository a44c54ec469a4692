#include "core/analysis/speech_features.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace ostrelle {
namespace {

constexpr int kWindow = SpeechFeatures::kSampleRate * 25 / 1000;  // 400 samples
constexpr int kHop = SpeechFeatures::kSampleRate / 100;           // 160 samples
constexpr int kFft = 512;
constexpr int kBins = kFft / 2 + 1;
constexpr int kFilters = 26;
constexpr float kPreEmphasis = 0.97f;
// Speech carries what it says between these.
constexpr double kLowHz = 100;
constexpr double kHighHz = 7600;

double Mel(double hz) {
    return 2595 * std::log10(1 + hz / 700);
}

double Hz(double mel) {
    return 700 * (std::pow(10, mel / 2595) - 1);
}

// In place, radix 2; size a power of two.
void Fft(std::vector<std::complex<float>>& x) {
    const std::size_t n = x.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j) std::swap(x[i], x[j]);
    }
    for (std::size_t length = 2; length <= n; length <<= 1) {
        const double angle = -2 * std::numbers::pi / static_cast<double>(length);
        const std::complex<float> step(static_cast<float>(std::cos(angle)),
                                       static_cast<float>(std::sin(angle)));
        for (std::size_t i = 0; i < n; i += length) {
            std::complex<float> w(1);
            for (std::size_t k = 0; k < length / 2; ++k) {
                const std::complex<float> u = x[i + k];
                const std::complex<float> v = x[i + k + length / 2] * w;
                x[i + k] = u + v;
                x[i + k + length / 2] = u - v;
                w *= step;
            }
        }
    }
}

}  // namespace

SpeechFeatures::SpeechFeatures() : window_(kWindow), mel_(kFilters, std::vector<float>(kBins, 0.0f)) {
    for (int i = 0; i < kWindow; ++i)
        window_[i] = static_cast<float>(0.54 - 0.46 * std::cos(2 * std::numbers::pi * i / (kWindow - 1)));
    // Triangles evenly spaced on the mel scale, each rising from the centre before it to its own and
    // falling to the next.
    std::array<double, kFilters + 2> edges{};
    for (int i = 0; i < kFilters + 2; ++i)
        edges[i] = Hz(Mel(kLowHz) + (Mel(kHighHz) - Mel(kLowHz)) * i / (kFilters + 1));
    for (int f = 0; f < kFilters; ++f) {
        for (int bin = 0; bin < kBins; ++bin) {
            const double hz = static_cast<double>(bin) * kSampleRate / kFft;
            const double rise = (hz - edges[f]) / (edges[f + 1] - edges[f]);
            const double fall = (edges[f + 2] - hz) / (edges[f + 2] - edges[f + 1]);
            mel_[f][bin] = static_cast<float>(std::max(0.0, std::min(rise, fall)));
        }
    }
}

void SpeechFeatures::Feed(const float* samples, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        pending_.push_back(samples[i] - kPreEmphasis * lastSample_);
        lastSample_ = samples[i];
        if (static_cast<int>(pending_.size()) == kWindow) {
            AddFrame();
            pending_.erase(pending_.begin(), pending_.begin() + kHop);
        }
    }
}

void SpeechFeatures::AddFrame() {
    std::vector<std::complex<float>> spectrum(kFft);
    double power = 0;
    for (int i = 0; i < kWindow; ++i) {
        spectrum[i] = pending_[i] * window_[i];
        power += static_cast<double>(pending_[i]) * pending_[i];
    }
    levelsDb_.push_back(static_cast<float>(10 * std::log10(power / kWindow + 1e-10)));
    Fft(spectrum);
    std::array<double, kFilters> energies{};
    for (int f = 0; f < kFilters; ++f) {
        double sum = 0;
        for (int bin = 0; bin < kBins; ++bin)
            sum += mel_[f][bin] * std::norm(spectrum[bin]);
        // A floor keeps silence finite and keeps digital silence from outweighing quiet rooms.
        energies[f] = std::log(sum + 1e-8);
    }
    Frame frame{};
    for (int c = 1; c <= kCoefficients; ++c) {
        double sum = 0;
        for (int f = 0; f < kFilters; ++f)
            sum += energies[f] * std::cos(std::numbers::pi * c * (f + 0.5) / kFilters);
        frame[c - 1] = static_cast<float>(sum);
    }
    frames_.push_back(frame);
}

SpeechFeatures::Track SpeechFeatures::Taken() const {
    return {frames_, levelsDb_};
}

void SpeechFeatures::Normalise(std::vector<Frame>& frames) {
    if (frames.empty()) return;
    for (int c = 0; c < kCoefficients; ++c) {
        double sum = 0, squares = 0;
        for (const Frame& frame : frames) {
            sum += frame[c];
            squares += static_cast<double>(frame[c]) * frame[c];
        }
        const double mean = sum / static_cast<double>(frames.size());
        const double deviation =
            std::sqrt(std::max(1e-12, squares / static_cast<double>(frames.size()) - mean * mean));
        for (Frame& frame : frames)
            frame[c] = static_cast<float>((frame[c] - mean) / deviation);
    }
}

}  // namespace ostrelle
