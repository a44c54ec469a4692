#pragma once

#include "text/text_read_result.h"

#include <QByteArray>
#include <QString>

namespace ostrelle {

// The main text of a Word 97-2003 (.doc) document as plain text: paragraph ends, line, page, column and
// section breaks and table row ends as CR LF, table cells (nested ones too) separated by tabs, fields shown
// as their results without their codes, hidden text and text deleted with tracked changes left out,
// pictures, drawn objects, note references and optional hyphens dropped, non-breaking hyphens as '-'.
// Headers, footers, notes and text boxes are not part of the main text. Fails with NotWordDocument,
// UnsupportedVersion (Word 6/95 and older), Encrypted (a password-protected .doc or .docx) or Damaged,
// never with a partly read text.
TextReadResult WordToPlainText(const QByteArray& fileBytes);

}  // namespace ostrelle
