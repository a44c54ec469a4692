#pragma once

#include "base/result.h"

#include <QString>
#include <QtGlobal>

#include <optional>
#include <utility>
#include <vector>

namespace ostrelle {

// A file's measured length, with the size and modification time the file had when it was measured.
struct KeptLength {
    qint64 sizeBytes = 0;
    qint64 modifiedMs = 0;  // since the epoch, UTC
    double seconds = 0;
};

// Measured lengths kept between runs, one per path (letter case counts), beside the playlist.
class LengthStore {
public:
    virtual ~LengthStore() = default;
    // The length kept for path, or nothing (also when it cannot be read).
    virtual std::optional<KeptLength> KeptLengthOf(const QString& path) = 0;
    // Keeps each length for its path in place of any kept before, all in one write.
    virtual Result<void> KeepLengths(const std::vector<std::pair<QString, KeptLength>>& lengths) = 0;
};

}  // namespace ostrelle
