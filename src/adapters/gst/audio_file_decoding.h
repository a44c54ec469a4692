#pragma once

#include "base/result.h"

#include <QString>

#include <atomic>
#include <cstddef>
#include <functional>

// GStreamer's own typedef; repeating it keeps <gst/gst.h> out of this header.
typedef struct _GstElement GstElement;

namespace ostrelle {

// What the adapters that decode a whole file in the background share: how a file is handed to
// uridecodebin, and the learner's words for a file that gives no audio.

// Whether GStreamer has an element factory of this name.
bool HaveElement(const char* name);

// Points the uridecodebin named "decoder" in pipeline at the file, audio streams only, MP3 through mpg123
// where it is installed. False when there is no such element or the path makes no URI.
bool SetDecoderFile(GstElement* pipeline, const QString& absolutePath);

// No decoder, a decoding error, or no progress for a long time.
inline Failure CannotDecode() {
    return {FailureCode::NotAudio, {}};
}
// A whole file decoded to no samples.
inline Failure NoSound() {
    return {FailureCode::NoSound, {}};
}

// Mono samples in -1..1, count of them, handed over as a file is decoded.
using SampleSink = std::function<void(const float* samples, std::size_t count)>;

// The whole file decoded to mono samples at 16 kHz, as speech is compared, handed to take piece by piece
// (an hour is not held at once); a failure when it cannot be identified or decoded, or holds no sound.
// Gives up soon after stop becomes true.
Result<void> DecodeSpeech(const QString& path, const SampleSink& take,
                          const std::atomic<bool>* stop = nullptr);
// The same for the part of the file from fromSeconds to toSeconds (0: its end).
Result<void> DecodeSpeechPart(const QString& path, double fromSeconds, double toSeconds,
                              const SampleSink& take, const std::atomic<bool>* stop = nullptr);
// The same part as it is heard: mono at rateHz, resampled with care, for a clip that is listened to.
Result<void> DecodeSoundPart(const QString& path, double fromSeconds, double toSeconds, int rateHz,
                             const SampleSink& take, const std::atomic<bool>* stop = nullptr);

}  // namespace ostrelle
