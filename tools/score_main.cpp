// ostrelle-score ORIGINAL TAKE: how close a learner's take comes to the original it repeats. Prints
// "content=<0-100> timing=<0-100> intonation=<0-100>" on its first line, then "flag\t<start>\t<end>" for
// each stretch of the original where the take differs most (seconds in the original, three decimals),
// worst first. A file that cannot be read is an error (exit code 1), a take that gives no score (silent,
// cut off, noise) is told why (exit code 3), both on stderr; a wrong call prints the usage (exit code 2).

#include "adapters/gst/audio_file_decoding.h"
#include "core/analysis/take_score.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments().mid(1);
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (arguments.size() != 2) {
        err << "usage: ostrelle-score ORIGINAL TAKE\n";
        return 2;
    }
    std::vector<float> audio[2];
    for (int i = 0; i < 2; ++i) {
        std::vector<float>& samples = audio[i];
        const ostrelle::Result<void> decoded =
            ostrelle::DecodeSpeech(arguments[i], [&samples](const float* piece, std::size_t count) {
                samples.insert(samples.end(), piece, piece + count);
            });
        if (!decoded.ok()) {
            err << "ostrelle-score: " << arguments[i] << ": "
                << ostrelle::FailureMessage(decoded.failure()).replace(u'\n', u' ') << '\n';
            return 1;
        }
    }
    const ostrelle::TakeScore score = ostrelle::ScoreTake(audio[0], audio[1]);
    if (score.problem) {
        err << "ostrelle-score: " << arguments[1] << ": "
            << QString::fromUtf8(ostrelle::TakeProblemMessage(*score.problem)) << '\n';
        return 3;
    }
    out << "content=" << score.content << " timing=" << score.timing << " intonation=" << score.intonation
        << '\n';
    for (const ostrelle::TakeSpan& flag : score.flags)
        out << "flag\t" << QString::number(flag.start, 'f', 3) << '\t' << QString::number(flag.end, 'f', 3)
            << '\n';
    return 0;
}
