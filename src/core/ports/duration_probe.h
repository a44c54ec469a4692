#pragma once

#include <QString>

#include <optional>

namespace ostrelle {

// Measures an audio file's playing time without playing it.
class DurationProbe {
public:
    virtual ~DurationProbe() = default;
    // Seconds, or nothing when the file cannot be read as audio.
    virtual std::optional<double> ProbeSeconds(const QString& path) = 0;
    // From another thread: a measurement under way gives up soon, with nothing, and so does every later
    // one. For a program that is quitting.
    virtual void Cancel() {}
};

}  // namespace ostrelle
