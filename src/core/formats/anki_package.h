#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace ostrelle {

// One marked sentence as an Anki note with one card.
struct AnkiCard {
    QString guid;       // stable: the same sentence exported again updates the note, not duplicates it
    qint64 noteId = 0;  // stable as well, positive, < 2^53
    QString sound;      // the clip's file name as Anki will know it (e.g. "ostrelle-3f2a…-12.ogg")
    QString clipPath;   // where the clip is on disk now; copied into the package as its number
    QString frontText;  // optional (masked text), may be empty
    QString backText;   // the sentence
    QString lesson;     // the lesson's name
    QStringList tags;
};

// The deck a package brings, with its cards in the order the learner will meet them.
struct AnkiDeck {
    QString name;       // e.g. "Ostrelle::lesson name"
    qint64 deckId = 0;  // stable per name
    std::vector<AnkiCard> cards;
};

// Stable ids and guid from a text key (e.g. lesson path + segment times); deterministic across runs and
// machines. The id is a millisecond time between 2001 and 2017, as Anki reads ids, so it is never
// mistaken for one made in the future nor meets an id Anki makes today.
qint64 StableAnkiId(const QString& key);
// Up to 11 letters and digits, never empty.
QString StableAnkiGuid(const QString& key);

}  // namespace ostrelle
