#include "text/document_reader.h"

#include "text/file_bytes.h"
#include "text/plain_text_reader.h"
#include "text/rtf_reader.h"
#include "text/word_reader.h"

#include <QFileInfo>

namespace ostrelle {

TextReadResult LoadDocumentText(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == u"txt" || suffix == u"lrc") return LoadPlainText(path);
    if (suffix == u"rtf") return LoadRtfText(path);
    // A .docx is not read; the Word reader says so for any zip container.
    if (suffix == u"doc" || suffix == u"docx") {
        const Result<QByteArray> file = ReadFileBytes(path);
        if (!file.ok()) return file.failure();
        // Word opens an RTF named .doc as RTF, and so do we.
        if (LooksLikeRtf(file.value())) return RtfToPlainText(file.value());
        return WordToPlainText(file.value());
    }
    return Failure{FailureCode::UnknownKind,
                   QStringLiteral("%1 is not a text, lyrics, RTF or Word document").arg(path)};
}

}  // namespace ostrelle
