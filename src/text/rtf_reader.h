#pragma once

#include "text/text_read_result.h"

#include <QByteArrayView>
#include <QString>

namespace ostrelle {

// True when bytes start as an RTF document does ("{\rtf"); a rich text box shows anything else as text.
bool LooksLikeRtf(QByteArrayView bytes);

// The plain text of an RTF document, as a rich text box shows it without formatting: \par, \line, \sect,
// \page and table rows end lines with CR LF; \tab and \cell give tabs; \'hh bytes are decoded in the code
// page of the current font's \fcharset (else \ansicpg); \uN with \ucN fallback skipping; font table,
// styles, pictures, headers, footers, footnotes, field instructions and \* destinations are left out.
// Never fails: malformed or truncated input gives the text read so far; nesting deeper than 1000 groups
// is skipped.
QString RtfToPlainText(QByteArrayView rtf);

// The text of an .rtf file; a file that does not start with "{\rtf" is decoded as plain text.
TextReadResult LoadRtfText(const QString& path);

}  // namespace ostrelle
