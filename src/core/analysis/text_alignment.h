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
// sentences, end to end with pauses between, are warped onto the lesson (roughly over the whole lesson,
// then finely near the rough warp), pauses onto pauses; the warp may pass over a sentence the lesson does
// not speak, and a pause may take speech the text does not have. Near where the warp put them, the
// sentences are then placed on whole runs of voice between pauses, in order, as their lengths at the
// speaker's pace and their sounds fit best. A sentence squeezed or spread far from the speaker's pace is
// left unplaced. Sentences marked as headings (TextHeading) are passed over more readily.
std::vector<std::optional<PlacedSentence>> AlignSentences(const SpeechFeatures::Track& lesson,
                                                          const std::vector<SpeechFeatures::Track>& sentences,
                                                          const std::vector<bool>& headings = {});

}  // namespace ostrelle
