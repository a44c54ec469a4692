#pragma once

#include "core/model/window_model.h"

#include <QImage>

namespace ostrelle {

// Both pictures are drawn for a device pixel ratio: the image is that many times larger and carries the
// ratio, so it shows at its size in the window without being scaled. At ratio 1 they are the pixels below.

// The 218 × 16 heading strip over the playlist: magenta, white "No", "MP3 NAME" and "LENGTH" in three
// fields split by white lines at x = 20 and x = 140.
QImage PlaylistHeadingStrip(qreal devicePixelRatio = 1.0);

// The 39 × 24 pointer flag of a mark: a full-width bar over rows 1 to 16 and a tip narrowing one pixel a
// row on each side down to column 18 in row 22; everything else transparent. index 0 is A (yellow, light
// outline), 1 is B (magenta). At a higher ratio the tip's sides are as fine as the device's pixels.
// A tip at the right or left end keeps its width but narrows from one side only, down to the end column.
QImage MarkFlag(int index, qreal devicePixelRatio = 1.0, FlagTip tip = FlagTip::Middle);

}  // namespace ostrelle
