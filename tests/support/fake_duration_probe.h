#pragma once

#include "core/ports/duration_probe.h"

#include <QHash>

namespace ostrelle {

// Durations by path; unknown paths cannot be measured.
class FakeDurationProbe : public DurationProbe {
public:
    std::optional<double> ProbeSeconds(const QString& path) override {
        ++calls;
        const auto it = seconds.constFind(path);
        return it == seconds.constEnd() ? std::nullopt : std::optional<double>(*it);
    }

    QHash<QString, double> seconds;
    int calls = 0;
};

}  // namespace ostrelle
