#pragma once

#include <cstddef>
#include <vector>

namespace ostrelle {

// One spoken sentence, in seconds from the start of the audio the detector was fed.
struct Sentence {
    double start = 0;
    double end = 0;
};

// Finds the sentences of a recording of speech: stretches of voice set apart by pauses of at least
// kMinPauseSeconds. Audio is fed in pieces and only 10 ms frame measures are kept, so an hour of audio
// takes a few megabytes. The floor and the threshold follow the recording (a quiet room, hiss, a music
// bed, the tail of a reverberant room), measured around each moment rather than once for the file.
class SentenceDetector {
public:
    static constexpr double kMinPauseSeconds = 0.25;
    static constexpr double kMinSentenceSeconds = 0.4;  // a shorter piece joins a neighbour
    static constexpr double kMaxSentenceSeconds = 12;   // a longer one splits at its deepest inner pause

    explicit SentenceDetector(int sampleRate);

    // Mono samples in -1..1, the next count of them.
    void Feed(const float* mono, std::size_t count);
    // The sentences in time order, not overlapping, each within the audio fed; empty for silence.
    std::vector<Sentence> Finish() const;

    double FedSeconds() const;

private:
    struct Region {
        int from = 0;  // frames [from, to)
        int to = 0;
    };

    void EndFrame();
    // Per frame: the percentile of the levels around it (see kWindowFrames).
    std::vector<float> PercentileLine(int percent) const;
    std::vector<Region> SpeechRegions() const;
    bool DiesAway(int from, int to) const;
    void SplitLong(std::vector<Region>& regions) const;
    std::vector<Region> Joined(std::vector<Region> pieces) const;

    const int sampleRate_;
    const int frameLength_;        // samples in one frame, about 10 ms
    std::vector<float> levelsDb_;  // per frame: the power of the high-passed signal
    double sum_ = 0;
    int inFrame_ = 0;
    float previousIn_ = 0;
    float previousOut_ = 0;
    std::size_t fed_ = 0;
};

}  // namespace ostrelle
