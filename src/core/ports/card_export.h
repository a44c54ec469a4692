#pragma once

#include "base/result.h"
#include "core/formats/anki_package.h"

#include <QString>

#include <atomic>

namespace ostrelle {

// Cuts a sentence of a lesson into a clip file for a flashcard. Synchronous; several clips may be cut at
// once on threads of their own.
class ClipCutter {
public:
    virtual ~ClipCutter() = default;
    // The span of the lesson, padded a little, at one loudness, into outPath (its suffix names the format).
    virtual Result<void> CutClip(const QString& lessonPath, double fromSeconds, double toSeconds,
                                 const QString& outPath, const std::atomic<bool>* stop) = 0;
};

// Writes a deck with its clips as a package Anki imports. Synchronous.
class DeckWriter {
public:
    virtual ~DeckWriter() = default;
    virtual Result<void> WriteDeck(const AnkiDeck& deck, const QString& outPath, qint64 nowMs) = 0;
};

}  // namespace ostrelle
