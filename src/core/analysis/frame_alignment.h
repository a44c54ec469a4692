#pragma once

#include "core/analysis/speech_features.h"

#include <vector>

namespace ostrelle {

// The Euclidean distance of two frames.
float FrameDistance(const SpeechFeatures::Frame& x, const SpeechFeatures::Frame& y);

// Dynamic time warping of two feature sequences: the in-order pairing of their frames of least summed
// distance, first with first and last with last. Only cells within band frames of the straight line
// between the two ends are weighed, so time and memory grow with length × band, never length².
// For each frame of a, the frame of b it is paired with (the first, where it meets several); empty when
// either is empty.
std::vector<int> AlignFrames(const std::vector<SpeechFeatures::Frame>& a,
                             const std::vector<SpeechFeatures::Frame>& b, int band);

// The mean distance of paired frames along the best warp of a[aFirst..aLast] onto b[bFirst..bLast] that
// keeps within half and twice the straight line's slope: how alike two stretches sound, however differently
// paced. Infinite where the stretches differ more than twice in length.
float WarpDistance(const std::vector<SpeechFeatures::Frame>& a, int aFirst, int aLast,
                   const std::vector<SpeechFeatures::Frame>& b, int bFirst, int bLast);

// A stretch of a's frames, [first, last], that b may not have at all.
struct SkippablePart {
    int first = 0;
    int last = 0;
    float skipShare = 1;  // of PartCosts::skipCost, for one that b may well not have
};

struct PartWarp {
    std::vector<int> paired;    // as AlignFrames gives it
    std::vector<bool> skipped;  // per part: b has it not, and the warp passed over it
};

struct PartCosts {
    float skipCost = 0;     // for each frame of a part passed over
    float gapCost = 0;      // at most, for a frame of b facing a gap
    float bendCost = 0;     // added to a step within a part that is not diagonal
    float edgeGapCost = 0;  // the same before the first part and after the last
};

// The frames of b, [first, last], that a frame of a may be paired with.
struct FrameWindow {
    int first = 0;
    int last = 0;
};

// For each frame of a, the frames of b within band of the straight line between the two ends.
std::vector<FrameWindow> StraightWindows(int aFrames, int bFrames, int band);
// For each frame of a, the frames of b within margin of where a rough warp (of a and b each taken factor
// frames to one) paired it: the path it took from one rough frame to the next, and margin around it.
std::vector<FrameWindow> WindowsAround(const std::vector<int>& roughWarp, int roughBFrames, int factor,
                                       int aFrames, int bFrames, int margin);

// AlignFrames for an a made of parts with gaps between them (sentences and the pauses around them), when b
// may leave a part out or say something a lacks. The warp may pass over a whole part; where a is in a gap,
// a frame of b costs at most gapCost, so what b says beyond a is taken there rather than by the parts
// around it, whose stretching costs bendCost a step. Parts must be in order, apart, and not at a's ends.
// Each frame of a is paired within its window only (one for each frame, each starting and ending no
// earlier than the one before and reaching at least to where the next starts): time and memory grow with
// the windows' summed widths.
PartWarp AlignParts(const std::vector<SpeechFeatures::Frame>& a, const std::vector<SpeechFeatures::Frame>& b,
                    const std::vector<FrameWindow>& windows, const std::vector<SkippablePart>& parts,
                    const PartCosts& costs);

}  // namespace ostrelle
