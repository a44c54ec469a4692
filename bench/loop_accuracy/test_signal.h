#pragma once

#include "loop_analysis.h"

#include <QString>

#include <optional>

namespace ostrelle::bench {

// The test signal's steady section: one pitch held, away from where passes are placed by their content.
constexpr double kSteadyFromSeconds = 2.0;
constexpr double kSteadyToSeconds = 2.6;
constexpr double kSteadyHz = 440.0;

// Writes the test signal through encoder (e.g. "lamemp3enc ! xingmux") into path: 44.1 kHz stereo,
// a tone whose pitch changes every 10 ms, so any few milliseconds of it tell where they come from, but
// for the steady section.
// Returns an empty string on success, else what went wrong.
QString WriteTestSignal(const QString& encoder, double seconds, const QString& path);

// Decodes the whole file from its start: the reference timeline.
std::optional<Timeline> DecodeWholeFile(const QString& path, QString* error);

}  // namespace ostrelle::bench
