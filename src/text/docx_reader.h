#pragma once

#include "text/file_bytes.h"
#include "text/text_read_result.h"

#include <QByteArrayView>

namespace ostrelle {

// The main text of a Word 2007 and later (.docx) document held in bytes, a zip container, shaped as
// WordToPlainText shapes a .doc (see WordprocessingMlToPlainText). Headers, footers, notes, comments and
// text boxes are not part of the main text. Fails with NotWordDocument (no zip container, or no document
// part in it), Damaged (a zip or XML that cannot be read), Encrypted (an entry with zip's own password) or
// TooLarge (a document part that unpacks to more than maxPartBytes, however small the zip), never with a
// partly read text. A password-protected .docx is no zip but an OLE2 file: WordToPlainText reports it.
TextReadResult DocxToPlainText(QByteArrayView bytes, qint64 maxPartBytes = kMaxDocumentBytes);

}  // namespace ostrelle
