#pragma once

#include <QByteArrayView>
#include <QString>

namespace ostrelle {

// True when bytes start as an RTF document does ("{\rtf", after a UTF-8 byte order mark and blank lines if
// any); a rich text box shows anything else as text.
bool LooksLikeRtf(QByteArrayView bytes);

// The plain text of an RTF document, as a rich text box shows it without formatting: \par, \line, \sect,
// \page and table rows (nested ones too) end lines with CR LF; \tab, \cell and \nestcell give tabs; \'hh
// bytes are decoded in the code page of their font's \fcharset (else \ansicpg), the font being the one
// \loch, \hich or \dbch with \af names for their range, else \f; symbol fonts (Symbol, Wingdings) give
// their glyphs' Unicode meaning; \uN with \ucN fallback skipping; hidden text (\v), font table, styles,
// pictures, headers, footers, footnotes, field instructions, \nonesttables and \* destinations are left
// out. After a UTF-8 byte order mark, 8-bit bytes written as they are (not as \'hh) are UTF-8.
// Never fails: malformed or truncated input gives the text read so far; nesting deeper than 1000 groups
// is skipped.
QString RtfToPlainText(QByteArrayView rtf);

}  // namespace ostrelle
