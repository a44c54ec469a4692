#pragma once

#include "base/result.h"

#include <QString>
#include <QtGlobal>

#include <optional>

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
    // Keeps length for path in place of any kept before.
    virtual Result<void> KeepLength(const QString& path, const KeptLength& length) = 0;
};

}  // namespace ostrelle
