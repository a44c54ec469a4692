#pragma once

#include "text/text_read_result.h"

#include <QString>

namespace ostrelle {

// The text of a .txt or .lrc file as the pane shows it: decoded (see DecodeTextFile), line ends and LRC
// time tags kept as they are in the file.
TextReadResult LoadPlainText(const QString& path);

}  // namespace ostrelle
