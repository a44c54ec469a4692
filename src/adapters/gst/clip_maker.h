#pragma once

#include "base/result.h"

#include <QString>

#include <atomic>

namespace ostrelle {

// Clips for flashcards: a sentence of a lesson cut out, brought to one loudness and encoded.

enum class ClipFormat { OggVorbis, Mp3 };

struct ClipRequest {
    QString lessonPath;
    double fromSeconds = 0, toSeconds = 0;  // the segment, before padding
    double padSeconds = 0.15;
    QString outPath;
    ClipFormat format = ClipFormat::OggVorbis;
};

// Writes the segment of the lesson, padded on each side as far as the file reaches, as a mono clip at
// 44.1 kHz: brought toward -18 LUFS (by at most +24 dB, and no further than keeps the decoded peaks under
// -1 dBFS) and faded in and out over 10 ms. outPath is replaced whole or not at all. Synchronous; for a
// worker thread, one clip after another.
// Failures: the lesson's own (Missing, NotAudio, NoSound...), TooLarge for a segment over 10 minutes,
// NoSound for an empty one, CannotWrite when the clip cannot be written or stop became true.
Result<void> MakeClip(const ClipRequest& request, const std::atomic<bool>* stop = nullptr);

}  // namespace ostrelle
