#pragma once

#include "core/model/ab_pair.h"

#include <QString>

namespace ostrelle {

// One stored slot text ("A00:05B00:12") to its two time texts. The first character is the A tag whatever
// it is; the last "B" before the final two characters splits A from B. No such "B": two empty texts.
ABPair ParseAB(const QString& slotText);

// "A" + A text + "B" + B text.
QString SlotText(const QString& aText, const QString& bText);

}  // namespace ostrelle
