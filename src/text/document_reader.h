#pragma once

#include "text/text_read_result.h"

#include <QByteArrayView>
#include <QString>

namespace ostrelle {

// What a document's bytes hold, told by their content alone. Word: any binary container the Word reader
// either reads or names (OLE2, zip as in .docx, Word for DOS and Word 2 signatures).
enum class DocumentFormat { PlainText, Rtf, Word };
DocumentFormat DetectDocumentFormat(QByteArrayView bytes);

// The text the text pane shows for a companion document. .txt and .lrc (any case) are plain text whatever
// they hold, markup and time tags included. .rtf, .doc and .docx are read as DetectDocumentFormat says,
// whatever their name (Word opens an RTF saved as .doc, and so do we); plain text is shown as such under
// an .rtf name, as a rich text box shows it, and is NotWordDocument under a Word name. Anything else is
// UnknownKind.
TextReadResult LoadDocumentText(const QString& path);

}  // namespace ostrelle
