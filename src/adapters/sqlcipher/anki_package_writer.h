#pragma once

#include "base/result.h"
#include "core/formats/anki_package.h"

#include <QString>

namespace ostrelle {

// Writes deck as an Anki package (.apkg) every Anki 2.1 imports: a plain SQLite collection of schema 11
// with one note type of ours ("Ostrelle 句子": Audio, Front, Back, Lesson), one new card per note in the
// cards' order, and each card's clip. outPath is replaced only by a complete package; on a failure it is
// left as it was. A clip that is not there is Missing (its path the detail), one that cannot be read
// CannotRead; a folder or file that cannot be written, or a sound name Anki cannot take, is CannotWrite
// with the package's file name and the reason. A deck without cards gives a package of the empty deck.
// nowMs stamps the collection, the notes and the cards.
Result<void> WriteAnkiPackage(const AnkiDeck& deck, const QString& outPath, qint64 nowMs);

}  // namespace ostrelle
