#pragma once

#include "text/text_read_result.h"

#include <QByteArrayView>
#include <QString>

namespace ostrelle {

// What a document's bytes hold, told by their content alone. Word: a binary container the Word 97-2003
// reader either reads or names (OLE2, which also holds a password-protected .docx, and the Word for DOS and
// Word 2 signatures). Docx: a zip container, as in .docx.
enum class DocumentFormat { PlainText, Rtf, Word, Docx };
DocumentFormat DetectDocumentFormat(QByteArrayView bytes);

// The text the text pane shows for a companion document. .txt and .lrc (any case) are plain text whatever
// they hold, markup and time tags included. .rtf, .doc and .docx are read as DetectDocumentFormat says,
// whatever their name (Word opens an RTF or a .docx saved as .doc, and so do we); plain text is shown as
// such under an .rtf name, as a rich text box shows it, and is NotWordDocument under a Word name. Anything
// else is UnknownKind.
TextReadResult LoadDocumentText(const QString& path);

}  // namespace ostrelle
