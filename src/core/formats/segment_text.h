#pragma once

#include "core/model/ab_pair.h"

#include <QString>

namespace ostrelle {

// One stored slot text ("A00:05.120B00:12.500") to its segment. The first character is the A tag whatever
// it is; the last "B" before the final two characters splits A from B. No such "B", or no A text: blank.
ABPair ParseAB(const QString& slotText);

// "A" + A text + "B" + B text, each mark written in its form.
QString SlotText(const ABPair& segment);

// A mark's time text: its whole seconds in the form it was read in, else to the millisecond.
QString WrittenMark(const MarkTime& mark);
// A mark's time as the window shows it: to tenths, or whole seconds as it was written.
QString ShownMark(const MarkTime& mark);
// A time text read as a mark: a text with a fraction to the millisecond, any other as whole seconds.
MarkTime ReadMark(const QString& text);

}  // namespace ostrelle
