#pragma once

#include <QString>

#include <optional>

namespace ostrelle {

// The text after the path's last "/" (empty when the path ends in one); nothing for a path without any.
std::optional<QString> FileNameOfPath(const QString& path);

}  // namespace ostrelle
