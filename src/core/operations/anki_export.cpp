#include "core/operations/anki_export.h"

#include "core/analysis/dictation_check.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

namespace ostrelle {
namespace {

constexpr int kClipThreads = 4;
constexpr int kProgressEveryMs = 20;

QString Tag(const QString& text) {
    QString tag = text.simplified();
    tag.replace(u' ', u'_');
    return tag;
}

}  // namespace

QString MaskedWords(const QString& text) {
    QString masked;
    bool inWord = false;
    for (const char32_t c : text.toUcs4()) {
        const QString one = QString::fromUcs4(&c, 1);
        // A character of a script written without spaces is a word of its own, hidden whole.
        if (IsCharacterScript(c) && QChar::isLetterOrNumber(c)) {
            masked += QString::fromUtf8("＿");
            inWord = false;
        } else if (QChar::isLetterOrNumber(c)) {
            masked += inWord ? QStringLiteral("_") : one;
            inWord = true;
        } else {
            // An apostrophe inside a word keeps the word going: "don't" is one word.
            inWord = inWord && (c == u'\'' || c == u'’');
            masked += one;
        }
    }
    return masked;
}

AnkiDeck MakeDeck(const ExportRequest& request, const QString& clipFolder) {
    AnkiDeck deck;
    deck.name = request.deckName;
    deck.deckId = StableAnkiId(QStringLiteral("deck|") + request.deckName);
    for (const ExportSentence& sentence : request.sentences) {
        // The lesson's full path and the times to the millisecond name the sentence, as the book does.
        const QString key = QStringLiteral("%1|%2|%3")
                                .arg(QFileInfo(sentence.lessonPath).absoluteFilePath())
                                .arg(sentence.aMs)
                                .arg(sentence.bMs);
        AnkiCard card;
        card.guid = StableAnkiGuid(key);
        card.noteId = StableAnkiId(key);
        card.sound =
            QStringLiteral("ostrelle-%1.%2").arg(QString::number(card.noteId, 16), request.clipSuffix);
        card.clipPath = clipFolder + u'/' + card.sound;
        card.frontText = request.maskedFront ? MaskedWords(sentence.text) : QString();
        card.backText = sentence.text;
        card.lesson = QFileInfo(sentence.lessonPath).completeBaseName();
        card.tags = {QStringLiteral("ostrelle"), Tag(card.lesson)};
        if (sentence.hard) card.tags << QStringLiteral("难句");
        deck.cards.push_back(std::move(card));
    }
    return deck;
}

Result<ExportReport> ExportSentences(const ExportRequest& request, ClipCutter& cutter, DeckWriter& writer,
                                     qint64 nowMs, const std::function<bool(int done, int total)>& progress) {
    QTemporaryDir clips;
    if (!clips.isValid()) return Failure{FailureCode::CannotWrite, QDir::tempPath()};
    AnkiDeck deck = MakeDeck(request, clips.path());
    const int total = static_cast<int>(request.sentences.size());
    // Clips are cut on a few threads at once: each is a pipeline of its own, and most of a clip's time
    // is spent opening and seeking the lesson, not in work the other clips wait for.
    std::vector<std::optional<Failure>> failures(static_cast<std::size_t>(total));
    std::atomic<int> next{0};
    std::atomic<int> done{0};
    std::atomic<bool> stop{false};
    const auto work = [&] {
        for (int i = next++; i < total && !stop; i = next++) {
            const ExportSentence& sentence = request.sentences[i];
            const Result<void> cut = cutter.CutClip(sentence.lessonPath, sentence.aMs / 1000.0,
                                                    sentence.bMs / 1000.0, deck.cards[i].clipPath, &stop);
            if (!cut.ok()) failures[i] = cut.failure();
            ++done;
        }
    };
    const int threads = std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, kClipThreads);
    std::vector<std::thread> workers;
    for (int t = 0; t < std::min(threads, total); ++t)
        workers.emplace_back(work);
    bool cancelled = false;
    while (done < total && !cancelled) {
        if (progress && !progress(done, total)) cancelled = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(kProgressEveryMs));
    }
    stop = cancelled;
    for (std::thread& worker : workers)
        worker.join();
    if (cancelled) return Failure{FailureCode::CannotWrite, QString::fromUtf8("已取消")};

    std::vector<AnkiCard> kept;
    ExportReport report;
    std::optional<Failure> firstFailure;
    for (int i = 0; i < total; ++i) {
        if (!failures[i]) {
            kept.push_back(std::move(deck.cards[i]));
            continue;
        }
        if (!firstFailure) firstFailure = failures[i];
        const QString name = QFileInfo(request.sentences[i].lessonPath).fileName();
        if (!report.skipped.contains(name)) report.skipped << name;
    }
    if (kept.empty() && firstFailure) return *firstFailure;
    deck.cards = std::move(kept);
    report.cards = static_cast<int>(deck.cards.size());
    if (progress && !progress(total, total))
        return Failure{FailureCode::CannotWrite, QString::fromUtf8("已取消")};
    if (Result<void> written = writer.WriteDeck(deck, request.outPath, nowMs); !written.ok())
        return written.failure();
    return report;
}

}  // namespace ostrelle
