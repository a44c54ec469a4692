#pragma once

#include "base/result.h"

#include <QString>
#include <QtGlobal>

#include <map>

namespace ostrelle {

// Dictation scores kept between runs per audio file (letter case counts) and line, beside the playlist.
class DictationScores {
public:
    virtual ~DictationScores() = default;
    // Keeps percent (0 to 100) for the line starting at lineMs (0 or later) in place of any kept before;
    // a value out of range is refused.
    virtual Result<void> KeepScore(const QString& path, qint64 lineMs, int percent) = 0;
    // The scores kept for path by the lines' start in milliseconds; empty when none are.
    virtual Result<std::map<qint64, int>> ScoresOf(const QString& path) = 0;
};

}  // namespace ostrelle
