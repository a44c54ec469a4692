#pragma once

#include <QString>

#include <cstdint>

namespace ostrelle {

// Whole seconds of a time text: "MM:SS" and "M:SS" by their fixed pieces, "H:MM:SS" and longer as a clock
// time; shorter texts and unreadable pieces give 0. Fractional pieces round half to even.
std::int32_t TimeTextToSeconds(const QString& text);

// "M:SS" below an hour, "H:MM:SS" from an hour on, of the seconds rounded half to even.
// Negative seconds are formatted as their magnitude with a leading "-".
QString FormatSeconds(double seconds);

// The position text the player shows: whole seconds, cut (not rounded), as "MM:SS" below an hour of
// media and "HH:MM:SS" from an hour on.
QString PositionText(double positionSeconds, double durationSeconds);

}  // namespace ostrelle
