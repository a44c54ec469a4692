// ostrelle-export --apkg OUT.apkg [--hard|--due] [--masked] [--mp3] [--deck NAME] [--database FILE] AUDIO...
// Writes the sentences of the lessons given as Anki cards: every marked segment of each, or only those in
// the book of hard sentences (--hard), or only those due today (--due; with no lesson given, those of
// every lesson). Each card's front is the sentence's clip (with --masked, its words with only each word's
// first letter), its back the words (from the lesson's .lrc or .srt, its text's kept alignment, or as the
// book keeps them) and the lesson's name. Exporting again updates the same notes. Prints "cards=<n>" and the
// lessons left out; exit code 1 when nothing could be written, 3 when there was nothing to export, 2 for a
// wrong call.

#include "adapters/gst/gst_clip_cutter.h"
#include "adapters/sqlcipher/anki_deck_writer.h"
#include "adapters/sqlcipher/sqlcipher_playlist_store.h"
#include "core/model/program_folder.h"
#include "core/operations/aligned_text.h"
#include "core/operations/anki_export.h"
#include "core/operations/review.h"
#include "core/operations/segment_store.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QTextStream>

namespace ostrelle {
namespace {

int Run(const QStringList& arguments) {
    QTextStream out(stdout);
    QTextStream err(stderr);
    const auto usage = [&err] {
        err << "usage: ostrelle-export --apkg OUT.apkg [--hard|--due] [--masked] [--mp3] [--deck NAME] "
               "[--database FILE] AUDIO...\n";
        return 2;
    };
    ExportRequest request;
    QString database;
    bool hard = false, due = false;
    QStringList lessons;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        const bool valued = a == u"--apkg" || a == u"--deck" || a == u"--database";
        if (valued && i + 1 >= arguments.size()) return usage();
        if (a == u"--apkg")
            request.outPath = arguments[++i];
        else if (a == u"--deck")
            request.deckName = arguments[++i];
        else if (a == u"--database")
            database = arguments[++i];
        else if (a == u"--hard")
            hard = true;
        else if (a == u"--due")
            due = true;
        else if (a == u"--masked")
            request.maskedFront = true;
        else if (a == u"--mp3")
            request.clipSuffix = QStringLiteral("mp3");
        else if (a.startsWith(u"--"))
            return usage();
        else
            lessons << QFileInfo(a).absoluteFilePath();
    }
    if (request.outPath.isEmpty() || (hard && due) || (lessons.isEmpty() && !hard && !due)) return usage();

    if (database.isEmpty())
        database = ResolveThisProgramsFolder(QStringLiteral(OSTRELLE_SHARED_FROM_BIN)).DatabaseFile();
    // The aligned texts are kept beside the database, as the program keeps them.
    const QString alignments = QFileInfo(database).absolutePath() + QStringLiteral("/alignments");
    const auto lessonText = [&alignments](const QString& lesson) {
        return LessonTimedText(lesson, alignments);
    };
    OpenResult opened = OpenPlaylistStore(database);
    if (!opened.ok()) {
        err << "ostrelle-export: " << FailureMessage(opened.failure()).replace(u'\n', u' ') << '\n';
        return 1;
    }
    SqlCipherPlaylistStore& store = *opened.value();
    const qint64 now = QDateTime::currentMSecsSinceEpoch();

    if (hard || due) {
        const Result<std::vector<HardSentence>> book = store.HardSentences();
        if (!book.ok()) {
            err << "ostrelle-export: " << FailureMessage(book.failure()).replace(u'\n', u' ') << '\n';
            return 1;
        }
        for (const HardSentence& sentence : book.value()) {
            if (!lessons.isEmpty() && !lessons.contains(sentence.path)) continue;
            if (due && sentence.memory.dueMs > EndOfToday(now)) continue;
            QString text = sentence.text;
            if (text.isEmpty())
                text = lessonText(sentence.path).SpokenBetween(sentence.aMs / 1000.0, sentence.bMs / 1000.0);
            request.sentences.push_back({sentence.path, sentence.aMs, sentence.bMs, text, true});
        }
    } else {
        const SegmentStore segments(&store);
        for (const QString& lesson : lessons) {
            const Result<LoadedSegments> loaded = segments.LoadABList(lesson);
            if (!loaded.ok()) continue;
            const TimedText timed = lessonText(lesson);
            for (const ABPair& pair : loaded.value().list) {
                if (pair.blank || pair.b.ms <= pair.a.ms) continue;
                request.sentences.push_back({lesson, pair.a.ms, pair.b.ms,
                                             timed.SpokenBetween(pair.a.Seconds(), pair.b.Seconds()), false});
            }
        }
    }
    if (request.sentences.empty()) {
        err << "ostrelle-export: no sentences to export\n";
        return 3;
    }
    if (request.deckName.isEmpty())
        request.deckName = !hard && !due && lessons.size() == 1
                               ? QStringLiteral("Ostrelle::") + QFileInfo(lessons.front()).completeBaseName()
                               : QString::fromUtf8("Ostrelle::难句本");
    GstClipCutter cutter;
    AnkiDeckWriter writer;
    const Result<ExportReport> done = ExportSentences(request, cutter, writer, now, {});
    if (!done.ok()) {
        err << "ostrelle-export: " << FailureMessage(done.failure()).replace(u'\n', u' ') << '\n';
        return 1;
    }
    out << "cards=" << done.value().cards << '\n';
    for (const QString& skipped : done.value().skipped)
        err << "ostrelle-export: left out (cannot be read): " << skipped << '\n';
    return 0;
}

}  // namespace
}  // namespace ostrelle

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    return ostrelle::Run(application.arguments().mid(1));
}
