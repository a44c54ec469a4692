#pragma once

#include <QString>

#include <functional>
#include <optional>

namespace ostrelle {

// Measures audio files' playing times away from the UI thread, one after another in the order asked.
class DurationMeter {
public:
    // A file's length in seconds, or nothing when it cannot be read as audio.
    using Handler = std::function<void(const QString& path, std::optional<double> seconds)>;

    virtual ~DurationMeter() = default;

    // Where results go: always on the UI thread, never from inside Measure(). An empty handler drops them.
    virtual void SetHandler(Handler handler) = 0;
    // Queues path behind those queued before.
    virtual void Measure(const QString& path) = 0;
    // Hands the results finished so far to the handler; when there are none and a measurement is queued
    // or under way, first waits up to maxWaitMs for one.
    virtual void DeliverResults(int maxWaitMs) = 0;
    // Forgets the queued paths not yet started; one under way still reports.
    virtual void CancelQueued() = 0;
};

}  // namespace ostrelle
