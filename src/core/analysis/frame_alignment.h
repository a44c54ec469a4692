#pragma once

#include "core/analysis/speech_features.h"

#include <vector>

namespace ostrelle {

// Dynamic time warping of two feature sequences: the in-order pairing of their frames of least summed
// distance, first with first and last with last. Only cells within band frames of the straight line
// between the two ends are weighed, so time and memory grow with length × band, never length².
// For each frame of a, the frame of b it is paired with (the first, where it meets several); empty when
// either is empty.
std::vector<int> AlignFrames(const std::vector<SpeechFeatures::Frame>& a,
                             const std::vector<SpeechFeatures::Frame>& b, int band);

}  // namespace ostrelle
