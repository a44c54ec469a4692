#pragma once

#include "text/text_read_result.h"

#include <QByteArray>
#include <QString>

namespace ostrelle {

// No companion document of a lesson comes near this; anything bigger is refused before it is read.
inline constexpr qint64 kMaxDocumentBytes = 64 * 1024 * 1024;

// The whole content of a regular file of at most maxBytes. A folder, FIFO or device is refused without
// blocking; a file over maxBytes (sparse ones included) is refused without reading it.
Result<QByteArray> ReadFileBytes(const QString& path, qint64 maxBytes = kMaxDocumentBytes);

}  // namespace ostrelle
