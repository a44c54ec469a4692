#pragma once

#include "adapters/sqlcipher/anki_package_writer.h"
#include "core/ports/card_export.h"

namespace ostrelle {

// Decks as Anki packages, the collection written by SQLCipher without a key: a plain SQLite file.
class AnkiDeckWriter final : public DeckWriter {
public:
    Result<void> WriteDeck(const AnkiDeck& deck, const QString& outPath, qint64 nowMs) override {
        return WriteAnkiPackage(deck, outPath, nowMs);
    }
};

}  // namespace ostrelle
