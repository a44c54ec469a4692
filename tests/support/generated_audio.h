#pragma once

#include <QString>

namespace ostrelle::testing {

// Runs a gst-launch description that ends in "filesink name=out" into path, to its end or for at most
// timeoutSeconds. Returns an empty string on success, else what went wrong.
QString WriteAudioFile(const QString& description, const QString& path, int timeoutSeconds = 60);

// A sine tone of the given length (exact to the sample) at rate Hz, through encoder (a gst-launch fragment
// such as "lamemp3enc ! xingmux") into path. Returns what went wrong, or nothing.
QString WriteTone(double seconds, int rate, int channels, const QString& encoder, const QString& path);

// The same at 44.1 kHz stereo.
inline QString WriteTone(const QString& encoder, double seconds, const QString& path) {
    return WriteTone(seconds, 44100, 2, encoder, path);
}

// A 16-bit 44.1 kHz stereo WAV file of silence with a 440 Hz tone of amplitude 0.5 from burstStart for
// burstSeconds. Returns what went wrong, or nothing.
QString WriteToneBurstWav(double seconds, double burstStart, double burstSeconds, const QString& path);

// Speech: espeak-ng reading text, as a 16-bit mono WAV at 22.05 kHz. Returns what went wrong, or nothing.
QString WriteSpeechWav(const QString& text, const QString& path);

// The WAV file wav, resampled to rate Hz stereo, through encoder (a gst-launch fragment) into path.
QString EncodeWav(const QString& wav, int rate, const QString& encoder, const QString& path);

// The WAV file wav as AAC in MP4 the way most lessons are made (ffmpeg, with an edit list for the
// encoder's priming): 44.1 kHz mono at 128 kbit/s. Returns what went wrong, or nothing.
QString EncodeM4aWithFfmpeg(const QString& wav, const QString& path);

}  // namespace ostrelle::testing
