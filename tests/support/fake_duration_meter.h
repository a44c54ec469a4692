#pragma once

#include "core/ports/duration_meter.h"

#include <QHash>

#include <deque>

namespace ostrelle {

// Lengths by path, measured only when the test says so: Measure() queues, DeliverNext() measures the
// oldest queued path (an unknown path cannot be measured). A wait in DeliverResults() delivers the oldest,
// as the measuring thread would meanwhile.
class FakeDurationMeter : public DurationMeter {
public:
    void SetHandler(Handler handler) override { handler_ = std::move(handler); }
    void Measure(const QString& path) override { queued.push_back(path); }
    void DeliverResults(int /*maxWaitMs*/) override { DeliverNext(); }
    void CancelQueued() override { queued.clear(); }

    // False when nothing is queued.
    bool DeliverNext() {
        if (queued.empty()) return false;
        const QString path = queued.front();
        queued.pop_front();
        ++calls;
        const auto it = seconds.constFind(path);
        if (handler_) handler_(path, it == seconds.constEnd() ? std::nullopt : std::optional<double>(*it));
        return true;
    }
    void DeliverAll() {
        while (DeliverNext()) {
        }
    }

    QHash<QString, double> seconds;
    std::deque<QString> queued;
    int calls = 0;  // files measured

private:
    Handler handler_;
};

}  // namespace ostrelle
