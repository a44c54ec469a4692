#include "adapters/gst/background_duration_meter.h"

#include "adapters/gst/gst_duration_probe.h"

#include <QMetaObject>

#include <chrono>

namespace ostrelle {

BackgroundDurationMeter::BackgroundDurationMeter(ProbeFactory makeProbe) {
    if (!makeProbe) makeProbe = [] { return std::make_unique<GstDurationProbe>(); };
    worker_ = std::thread([this, makeProbe = std::move(makeProbe)] { Work(makeProbe); });
}

BackgroundDurationMeter::~BackgroundDurationMeter() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        queue_.clear();
        // A program that quits does not wait for a whole file to be read.
        if (probe_) probe_->Cancel();
    }
    queued_.notify_all();
    worker_.join();
    // Results queued to context_ go with it.
}

void BackgroundDurationMeter::Measure(const QString& path) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(path);
    }
    queued_.notify_one();
}

void BackgroundDurationMeter::CancelQueued() {
    std::lock_guard lock(mutex_);
    queue_.clear();
}

void BackgroundDurationMeter::DeliverResults(int maxWaitMs) {
    std::deque<Measured> ready;
    {
        std::unique_lock lock(mutex_);
        if (results_.empty() && maxWaitMs > 0 && (busy_ || !queue_.empty()))
            finished_.wait_for(lock, std::chrono::milliseconds(maxWaitMs),
                               [this] { return !results_.empty(); });
        ready.swap(results_);
    }
    for (const auto& [path, seconds] : ready) {
        if (handler_) handler_(path, seconds);
    }
}

void BackgroundDurationMeter::Work(ProbeFactory makeProbe) {
    // Made here: a probe is used by one thread only.
    const std::unique_ptr<DurationProbe> probe = makeProbe();
    std::unique_lock lock(mutex_);
    probe_ = probe.get();
    for (;;) {
        queued_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (stopping_) {
            probe_ = nullptr;
            return;
        }
        const QString path = queue_.front();
        queue_.pop_front();
        busy_ = true;
        lock.unlock();
        const std::optional<double> seconds = probe->ProbeSeconds(path);
        lock.lock();
        busy_ = false;
        results_.emplace_back(path, seconds);
        finished_.notify_all();
        QMetaObject::invokeMethod(
            &context_, [this] { DeliverResults(0); }, Qt::QueuedConnection);
    }
}

}  // namespace ostrelle
