// ostrelle-text FILE: prints in UTF-8 the text the text pane would show for FILE, or the reason on stderr
// with exit code 1.
#include "text/document_reader.h"

#include <QFile>
#include <QString>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: ostrelle-text FILE\n", stderr);
        return 1;
    }
    const ostrelle::TextReadResult result = ostrelle::LoadDocumentText(QFile::decodeName(argv[1]));
    if (!result.ok()) {
        std::fprintf(stderr, "ostrelle-text: %s\n", result.failure().detail.toUtf8().constData());
        return 1;
    }
    const QByteArray utf8 = result.value().toUtf8();
    if (std::fwrite(utf8.constData(), 1, static_cast<size_t>(utf8.size()), stdout) !=
            static_cast<size_t>(utf8.size()) ||
        std::fflush(stdout) != 0) {
        std::fputs("ostrelle-text: cannot write the text\n", stderr);
        return 1;
    }
    return 0;
}
