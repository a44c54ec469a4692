#pragma once

#include "base/result.h"

#include <QString>

namespace ostrelle {

// The plain text of a document, or why it gave none: CannotRead, NotAFile, TooLarge, UnknownKind,
// NotWordDocument, UnsupportedVersion, Encrypted or Damaged, with a detail naming the particular cause.
using TextReadResult = Result<QString>;

}  // namespace ostrelle
