#pragma once

#include "text/text_read_result.h"

#include <QByteArray>

namespace ostrelle {

// The main text of a .docx's document part (WordprocessingML) as plain text, shaped as WordToPlainText
// shapes the same document saved as .doc: paragraph ends and breaks as CR LF, table cells (nested ones too)
// separated by tabs and rows ended by CR LF, fields shown as their results, text deleted with tracked
// changes and hidden text left out, inserted text kept. Text boxes and the reading above ruby text are not
// main text. Fails with Damaged (XML that is not well-formed, or that declares a DTD) or NotWordDocument
// (a root element other than w:document), never with a partly read text.
TextReadResult WordprocessingMlToPlainText(const QByteArray& xml);

}  // namespace ostrelle
