// review_export: a lesson of about ten minutes of speech (espeak-ng, as MP3) has 200 sentences of three
// seconds marked; all of them are exported to an Anki package: each clip cut, padded, brought to one
// loudness and encoded as Ogg Vorbis, then the collection written and zipped. apkg_ms is the whole export,
// wall clock; the package is then opened again and must hold the collection, the media map and a clip
// per card. schedule_ok: the review scheduler gives what the reference scheduler's worked examples do.
#include "adapters/gst/gst_clip_cutter.h"
#include "adapters/sqlcipher/anki_deck_writer.h"
#include "core/operations/anki_export.h"
#include "support/fsrs_reference_cases.h"
#include "support/generated_audio.h"
#include "support/timing.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <string>

#include <zip.h>

namespace {

constexpr int kCards = 200;
constexpr int kSentenceMs = 3000;

const char* kParagraph =
    "The museum opens at nine in the morning every day. Please leave your heavy bags in the cloakroom "
    "downstairs. My brother bought a new bicycle for his long trip. We waited for the train for almost an "
    "hour. The children were playing in the garden after school. ";

int PackageEntries(const QString& path) {
    zip_t* zip = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, nullptr);
    if (!zip) return -1;
    const auto entries = static_cast<int>(zip_get_num_entries(zip, 0));
    zip_close(zip);
    return entries;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    QTemporaryDir dir;
    const QString wav = dir.filePath(QStringLiteral("lesson.wav"));
    const QString lesson = dir.filePath(QStringLiteral("第1课 lesson.mp3"));
    QString text;
    for (int i = 0; i < 45; ++i)
        text += QString::fromLatin1(kParagraph);
    QString problem = ostrelle::testing::WriteSpeechWav(text, wav);
    if (problem.isEmpty())
        problem = ostrelle::testing::EncodeWav(wav, 44100, QStringLiteral("lamemp3enc ! xingmux"), lesson);
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "review_export: cannot make the lesson: %s\n", qPrintable(problem));
        return 1;
    }

    ostrelle::ExportRequest request;
    request.outPath = dir.filePath(QStringLiteral("deck.apkg"));
    request.deckName = QStringLiteral("Ostrelle::bench");
    for (int i = 0; i < kCards; ++i)
        request.sentences.push_back({lesson, qint64{i} * kSentenceMs, qint64{i + 1} * kSentenceMs - 200,
                                     QStringLiteral("Sentence %1 of the lesson.").arg(i + 1), i % 3 == 0});
    ostrelle::GstClipCutter cutter;
    ostrelle::AnkiDeckWriter writer;
    int cards = 0;
    QString failure;
    const double ms = ostrelle::bench::TimeMs([&] {
        const ostrelle::Result<ostrelle::ExportReport> done =
            ostrelle::ExportSentences(request, cutter, writer, QDateTime::currentMSecsSinceEpoch(), {});
        if (done.ok())
            cards = done.value().cards;
        else
            failure = ostrelle::FailureMessage(done.failure());
    });
    if (!failure.isEmpty()) std::fprintf(stderr, "review_export: %s\n", qPrintable(failure));
    const int entries = PackageEntries(request.outPath);
    std::printf("package: %d entries, %lld bytes, %.1f ms a card\n", entries,
                static_cast<long long>(QFile(request.outPath).size()), cards > 0 ? ms / cards : 0.0);
    if (entries != cards + 2) cards = 0;  // a package without its clips counts for nothing

    std::string mismatch;
    const bool scheduleOk = ostrelle::FsrsMatchesReference(&mismatch);
    if (!scheduleOk) std::fprintf(stderr, "review_export: schedule differs: %s\n", mismatch.c_str());
    std::printf("review-export cards=%d apkg_ms=%.0f schedule_ok=%d\n", cards, ms, scheduleOk ? 1 : 0);
    return cards == kCards && scheduleOk ? 0 : 1;
}
