#pragma once

#include "core/model/window_model.h"

#include <QFont>
#include <QRect>
#include <QString>

namespace ostrelle {

// The window model's twips on the screen: 15 to a pixel, as at 96 dpi.
int Px(int twips);
QRect Px(const TwipsRect& r);

// A font of the window's: the family it names where installed, else one that has the Chinese texts.
QFont WindowFont(const char* family, int points, bool bold);

// Time texts as shown: an hour part of "00" says nothing and costs room.
QString WithoutZeroHours(QString text);

}  // namespace ostrelle
