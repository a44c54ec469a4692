// ostrelle-sentences FILE: the sentences the automatic split finds in the whole file.
// Prints "<start>\t<end>" per sentence, in seconds with three decimals. A file that cannot be analysed is
// reported on stderr with exit code 1; a wrong call prints the usage with exit code 2.

#include "adapters/gst/gst_sentence_analyzer.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments().mid(1);
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (arguments.size() != 1) {
        err << "usage: ostrelle-sentences FILE\n";
        return 2;
    }

    ostrelle::GstSentenceAnalyzer analyzer;
    analyzer.SetUpdateHandler([&] {
        if (!analyzer.Running()) application.quit();
    });
    analyzer.Analyze(arguments.first(), 0);
    application.exec();

    if (const std::optional<ostrelle::Failure> problem = analyzer.Problem()) {
        err << "ostrelle-sentences: " << arguments.first() << ": "
            << ostrelle::FailureMessage(*problem).replace(u'\n', u' ') << '\n';
        return 1;
    }
    for (const ostrelle::Sentence& sentence : analyzer.Result())
        out << QString::number(sentence.start, 'f', 3) << '\t' << QString::number(sentence.end, 'f', 3)
            << '\n';
    return 0;
}
