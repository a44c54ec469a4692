#pragma once

#include "text/text_read_result.h"

#include <QString>

namespace ostrelle {

// The text the text pane shows for a companion document, chosen by its extension (any case): .txt and
// .lrc as plain text, .rtf through the RTF reader (plain text when the file is not RTF inside, as a rich
// text box shows it), .doc through the Word reader (an RTF saved as .doc reads as RTF); a .docx gives
// NotWordDocument. Anything else is UnknownKind.
TextReadResult LoadDocumentText(const QString& path);

}  // namespace ostrelle
