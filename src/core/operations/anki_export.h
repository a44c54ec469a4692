#pragma once

#include "base/result.h"
#include "core/formats/anki_package.h"
#include "core/ports/card_export.h"

#include <QString>

#include <functional>
#include <vector>

namespace ostrelle {

// A sentence to be a card: a span of a lesson with its words where a text gave them.
struct ExportSentence {
    QString lessonPath;
    qint64 aMs = 0;
    qint64 bMs = 0;
    QString text;
    bool hard = false;
};

struct ExportRequest {
    QString outPath;
    QString deckName;
    std::vector<ExportSentence> sentences;
    bool maskedFront = false;  // the words on the front with only each word's first letter shown
    QString clipSuffix = QStringLiteral("ogg");
};

struct ExportReport {
    int cards = 0;
    QStringList skipped;  // lessons whose sentences could not be cut, each once
};

// The words with every letter but each word's first hidden; a CJK character is hidden whole.
QString MaskedWords(const QString& text);
// The deck for the sentences, with clip names and ids that stay the same from one export to the next.
AnkiDeck MakeDeck(const ExportRequest& request, const QString& clipFolder);

// Cuts the clips into a temporary folder, a few at once, and writes the package. A sentence whose lesson
// cannot be cut is left out and its lesson named in the report; with none left, the first failure.
// progress(done, total), called on the caller's thread while the clips are cut, returns false to stop, which
// is a failure (CannotWrite, "已取消") with nothing written.
Result<ExportReport> ExportSentences(const ExportRequest& request, ClipCutter& cutter, DeckWriter& writer,
                                     qint64 nowMs, const std::function<bool(int done, int total)>& progress);

}  // namespace ostrelle
