#include "core/formats/path_names.h"

namespace ostrelle {

std::optional<QString> FileNameOfPath(const QString& path) {
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0) return std::nullopt;
    return path.mid(slash + 1);
}

}  // namespace ostrelle
