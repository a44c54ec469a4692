#pragma once

#include <QByteArray>
#include <QString>

namespace ostrelle {

// Replaces the file at path with bytes, or leaves it exactly as it was. The bytes go to a temporary file
// in the same folder that is flushed to disk and then renamed over the old one. Returns an empty text on
// success, else a reason the learner can read.
QString WriteFileAtomically(const QString& path, const QByteArray& bytes);

// Copies source over target the same way: target is replaced whole or left as it was.
QString CopyFileAtomically(const QString& source, const QString& target);

}  // namespace ostrelle
