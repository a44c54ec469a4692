#pragma once

#include <QByteArrayView>
#include <QString>

namespace ostrelle {

// True when bytes start as an RTF document does ("{\rtf", after a UTF-8 byte order mark and blank lines if
// any); a rich text box shows anything else as text.
bool LooksLikeRtf(QByteArrayView bytes);

// The plain text of an RTF document, as a rich text box shows it without formatting: \par, \line, \sect,
// \page and table rows end lines with CR LF; \tab and \cell give tabs; \'hh bytes are decoded in the code
// page of the current font's \fcharset (else \ansicpg); \uN with \ucN fallback skipping; font table,
// styles, pictures, headers, footers, footnotes, field instructions and \* destinations are left out.
// Never fails: malformed or truncated input gives the text read so far; nesting deeper than 1000 groups
// is skipped.
QString RtfToPlainText(QByteArrayView rtf);

}  // namespace ostrelle
