#pragma once

#include "core/ports/duration_meter.h"
#include "core/ports/duration_probe.h"

#include <QObject>
#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace ostrelle {

// DurationMeter on one thread of its own, with a probe made on that thread (GstDurationProbe unless told
// otherwise). Results are queued to the thread that made the meter, which must run a Qt event loop (or
// call DeliverResults). Destroying the meter cancels a measurement under way and waits for it to give up.
class BackgroundDurationMeter final : public DurationMeter {
public:
    using ProbeFactory = std::function<std::unique_ptr<DurationProbe>()>;

    explicit BackgroundDurationMeter(ProbeFactory makeProbe = {});
    ~BackgroundDurationMeter() override;
    BackgroundDurationMeter(const BackgroundDurationMeter&) = delete;
    BackgroundDurationMeter& operator=(const BackgroundDurationMeter&) = delete;

    void SetHandler(Handler handler) override { handler_ = std::move(handler); }
    void Measure(const QString& path) override;
    void DeliverResults(int maxWaitMs) override;
    void CancelQueued() override;

private:
    using Measured = std::pair<QString, std::optional<double>>;
    void Work(ProbeFactory makeProbe);

    Handler handler_;
    QObject context_;  // on the meter's own thread: results are handed over there
    std::mutex mutex_;
    std::condition_variable queued_;
    std::condition_variable finished_;
    std::deque<QString> queue_;
    std::deque<Measured> results_;
    bool busy_ = false;  // a measurement is under way
    bool stopping_ = false;
    DurationProbe* probe_ = nullptr;  // the worker's, while it lives
    std::thread worker_;
};

}  // namespace ostrelle
