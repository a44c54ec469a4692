#pragma once

#include <QString>

#include <cstdint>

namespace ostrelle {

// Whole seconds of a time text: "MM:SS" and "M:SS" by their fixed pieces, "H:MM:SS" and longer as a clock
// time; shorter texts and unreadable pieces give 0. Fractional pieces round half to even.
std::int32_t TimeTextToSeconds(const QString& text);

// Seconds of a mark's time text, to the millisecond: a text with a fraction on its last field
// ("00:01.234", "1:02:03.456") reads exactly; any other reads as TimeTextToSeconds does.
double MarkTextToSeconds(const QString& text);

// A mark's time text at the millisecond: "MM:SS.mmm" below an hour, "H:MM:SS.mmm" from an hour on.
QString MarkText(double seconds);

// A time text as the window shows it: a text with a fraction to tenths ("00:01.2"), any other as it is.
QString ShownTime(const QString& text);

// The playing position to tenths, "MM:SS.t" below an hour of media and "HH:MM:SS.t" from an hour on.
QString PositionTextTenths(double positionSeconds, double durationSeconds);

// "M:SS" below an hour, "H:MM:SS" from an hour on, of the seconds rounded half to even.
// Negative seconds are formatted as their magnitude with a leading "-".
QString FormatSeconds(double seconds);

// The position text the player shows: whole seconds, cut (not rounded), as "MM:SS" below an hour of
// media and "HH:MM:SS" from an hour on.
QString PositionText(double positionSeconds, double durationSeconds);

}  // namespace ostrelle
