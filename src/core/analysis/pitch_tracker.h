#pragma once

#include <vector>

namespace ostrelle {

// The pitch of a voice every 10 ms, by the YIN method: for each frame the shortest period whose
// difference function falls under a threshold. 0 where the frame is unvoiced or too quiet. Samples are mono
// at SpeechFeatures::kSampleRate; a pitch between 60 and 500 Hz is found.
std::vector<float> TrackPitch(const std::vector<float>& samples);

// Each voiced frame's pitch in semitones over the median of the voiced frames, so that a low and a high
// voice saying the same melody draw the same line; unvoiced frames stay 0 and are marked in voiced.
std::vector<float> Semitones(const std::vector<float>& pitchHz, std::vector<bool>& voiced);

}  // namespace ostrelle
