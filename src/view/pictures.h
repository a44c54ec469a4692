#pragma once

#include <QImage>

namespace ostrelle {

// The 218 × 16 heading strip over the playlist: magenta, white "No", "MP3 NAME" and "LENGTH" in three
// fields split by white lines at x = 20 and x = 140.
QImage PlaylistHeadingStrip();

// The 39 × 24 pointer flag of a mark: a full-width bar over rows 1 to 16 and a tip narrowing one pixel a
// row on each side down to column 18 in row 22; everything else transparent. index 0 is A (yellow, light
// outline), 1 is B (magenta).
QImage MarkFlag(int index);

}  // namespace ostrelle
