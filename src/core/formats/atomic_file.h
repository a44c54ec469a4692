#pragma once

#include <QByteArray>
#include <QString>

namespace ostrelle {

// Replaces the file at path with bytes, or leaves it exactly as it was. The bytes go to a temporary file
// in the same folder that is flushed to disk and then renamed over the old one. Returns an empty text on
// success, else a reason the learner can read.
QString WriteFileAtomically(const QString& path, const QByteArray& bytes);

// Removes temporary files that a write of path cut short by a crash left beside it. Only files older than a
// minute go, so that another running copy of the program keeps the one it is writing.
void RemoveStaleTemporaries(const QString& path);

// Copies source over target the same way: target is replaced whole or left as it was.
QString CopyFileAtomically(const QString& source, const QString& target);

}  // namespace ostrelle
