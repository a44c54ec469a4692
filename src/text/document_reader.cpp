#include "text/document_reader.h"

#include "text/docx_reader.h"
#include "text/file_bytes.h"
#include "text/ole_container.h"
#include "text/plain_text_reader.h"
#include "text/rtf_reader.h"
#include "text/text_decoding.h"
#include "text/word_reader.h"

#include <QFileInfo>

namespace ostrelle {

DocumentFormat DetectDocumentFormat(QByteArrayView bytes) {
    if (LooksLikeRtf(bytes)) return DocumentFormat::Rtf;
    if (bytes.startsWith("PK\x03\x04")) return DocumentFormat::Docx;
    if (OleContainer::HasSignature(bytes) || bytes.startsWith("\xDB\xA5") ||
        bytes.startsWith(QByteArrayView("\x31\xBE\x00\x00", 4)))
        return DocumentFormat::Word;
    return DocumentFormat::PlainText;
}

TextReadResult LoadDocumentText(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == u"txt" || suffix == u"lrc") return LoadPlainText(path);
    const bool rtfName = suffix == u"rtf";
    if (!rtfName && suffix != u"doc" && suffix != u"docx")
        return Failure{FailureCode::UnknownKind,
                       QStringLiteral("%1 is not a text, lyrics, RTF or Word document").arg(path)};
    const Result<QByteArray> file = ReadFileBytes(path);
    if (!file.ok()) return file.failure();
    const QByteArray& bytes = file.value();
    switch (DetectDocumentFormat(bytes)) {
        case DocumentFormat::Rtf:
            return RtfToPlainText(bytes);
        case DocumentFormat::Word:
            return WordToPlainText(bytes);
        case DocumentFormat::Docx:
            return DocxToPlainText(bytes);
        case DocumentFormat::PlainText:
            break;
    }
    // The Word reader names what the bytes are not.
    return rtfName ? TextReadResult(DecodeTextFile(bytes)) : WordToPlainText(bytes);
}

}  // namespace ostrelle
