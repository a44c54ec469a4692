#pragma once

#include "base/result.h"

#include <QByteArray>
#include <QString>

namespace ostrelle {

// Replaces the file at path with bytes, or leaves it exactly as it was. The bytes go to a temporary file
// in the same folder that is flushed to disk and then renamed over the old one. A failure is CannotWrite,
// with the file's name and the system's reason as its detail.
Result<void> WriteFileAtomically(const QString& path, const QByteArray& bytes);

// Removes temporary files that a write of path cut short by a crash left beside it. Only files older than a
// minute go, so that another running copy of the program keeps the one it is writing.
void RemoveStaleTemporaries(const QString& path);

// Copies source over target the same way: target is replaced whole or left as it was. A source that
// cannot be read is CannotRead.
Result<void> CopyFileAtomically(const QString& source, const QString& target);

}  // namespace ostrelle
