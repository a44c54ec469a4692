#pragma once

#include <optional>
#include <vector>

namespace ostrelle {

// Why a take got no score: the fault is the recording's, not the learner's speech.
enum class TakeProblem {
    Silent,   // no voice heard
    Clipped,  // too loud: the recording is cut off at full scale
    Noisy,    // the voice hardly rises over the room's noise
};

// A stretch of the original in seconds.
struct TakeSpan {
    double start = 0;
    double end = 0;
};

// The original's and the take's pitch at one moment of the original, in semitones over each speaker's own
// median (nullopt where that voice is unvoiced there).
struct PitchPair {
    double at = 0;  // seconds in the original
    std::optional<float> original;
    std::optional<float> take;
};

struct TakeScore {
    std::optional<TakeProblem> problem;  // when set, nothing else is
    int content = 0;                     // 0-100: the same sounds, in the same order
    int timing = 0;                      // 0-100: the length, the pauses and the pace of each part
    int intonation = 0;                  // 0-100: the melody, against each speaker's own range
    std::vector<TakeSpan> flags;         // where the take differs most, worst first, at most three
    std::vector<PitchPair> pitch;        // every 10 ms of the original's voice, the take's aligned to it
    std::vector<int> takeFrameAt;  // for each 10 ms frame of the original, the take's frame warped to it
};

// Compares a learner's take with the original it repeats, both mono at SpeechFeatures::kSampleRate. The
// voice of each is found between the silences around it; the two are warped onto each other (mel
// cepstra, each made of mean 0 and deviation 1 so a voice's timbre and a microphone weigh little) and
// compared along the warp: the sounds' distance, the pace of each part and the pauses, and the pitch
// contours in semitones.
TakeScore ScoreTake(const std::vector<float>& original, const std::vector<float>& take);

// The plain sentence telling the learner what was wrong with the recording.
const char* TakeProblemMessage(TakeProblem problem);

// A word for a score: 很好, 不错, 一般, 需要练习.
const char* ScoreWord(int score);

}  // namespace ostrelle
