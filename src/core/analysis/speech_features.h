#pragma once

#include <array>
#include <cstddef>
#include <vector>

namespace ostrelle {

// Mel-frequency cepstral coefficients of speech, every 10 ms over a 25 ms window: what a voice says,
// largely apart from who says it and how loud. Used to compare a lesson with speech synthesised from its
// text.
class SpeechFeatures {
public:
    static constexpr int kSampleRate = 16000;
    static constexpr int kCoefficients = 13;  // c1..c13: c0, the loudness, is left out
    using Frame = std::array<float, kCoefficients>;

    SpeechFeatures();

    // Mono samples at kSampleRate, in pieces of any size.
    void Feed(const float* samples, std::size_t count);
    // A frame for every 10 ms fed whose window is complete.
    const std::vector<Frame>& Frames() const { return frames_; }
    // The level of each frame's window in dB (of full scale): where the pauses are.
    const std::vector<float>& LevelsDb() const { return levelsDb_; }

    // Each coefficient made of mean 0 and deviation 1 over the frames: a recording's channel (its room, its
    // microphone) weighs no more than a synthetic voice's.
    static void Normalise(std::vector<Frame>& frames);

    struct Track;
    // The frames and levels so far.
    Track Taken() const;

private:
    void AddFrame();

    std::vector<float> window_;            // the Hamming window
    std::vector<std::vector<float>> mel_;  // filter weights over the spectrum's bins, per filter
    std::vector<float> pending_;           // pre-emphasised samples not yet framed
    float lastSample_ = 0;
    std::vector<Frame> frames_;
    std::vector<float> levelsDb_;
};

// A stretch of speech as it is compared: a frame and its level for every 10 ms.
struct SpeechFeatures::Track {
    std::vector<Frame> frames;
    std::vector<float> levelsDb;
};

}  // namespace ostrelle
