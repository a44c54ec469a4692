#pragma once

#include "base/result.h"

#include <QString>

namespace ostrelle {

// Writes the part of a PCM WAV file from fromSeconds to toSeconds (clamped to the file) as a WAV file of its
// own, in the same format. A source that is not such a file, or holds nothing in the part, is
// NotAudio; a target that cannot be written, CannotWrite.
Result<void> WriteWavPart(const QString& source, double fromSeconds, double toSeconds, const QString& target);

}  // namespace ostrelle
