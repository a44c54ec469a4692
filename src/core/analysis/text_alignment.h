#pragma once

#include "core/analysis/speech_features.h"

#include <optional>
#include <vector>

namespace ostrelle {

// Where a sentence of a text is spoken in its lesson, in seconds.
struct PlacedSentence {
    double start = 0;
    double end = 0;
};

// Places the sentences of a text in the lesson that speaks them. Each sentence comes as the features of
// the same sentence synthesised (none for one that cannot be read), the lesson as its own. The synthesised
// sentences, end to end, are warped onto the lesson (coarsely over the whole lesson, within a band, then edge
// by edge), and each edge is moved to where voice sets in or falls quiet near it. A sentence the lesson does
// not seem to speak (squeezed to a fraction of its length, or far from its synthesis) is left unplaced.
std::vector<std::optional<PlacedSentence>> AlignSentences(
    const SpeechFeatures::Track& lesson, const std::vector<SpeechFeatures::Track>& sentences);

}  // namespace ostrelle
