#pragma once

#include <QString>

namespace ostrelle::testing {

// Runs a gst-launch description that ends in "filesink name=out" into path, to its end.
// Returns an empty string on success, else what went wrong.
QString WriteAudioFile(const QString& description, const QString& path);

// A sine tone of the given length, 44.1 kHz stereo, through encoder (e.g. "lamemp3enc ! xingmux").
QString WriteTone(const QString& encoder, double seconds, const QString& path);

}  // namespace ostrelle::testing
