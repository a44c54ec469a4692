#include "support/run_events.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

namespace ostrelle::bench {

bool RunEventsUntil(const std::function<bool()>& condition, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (condition() || deadline.hasExpired()) loop.quit();
    });
    check.start(1);
    if (!condition()) loop.exec();
    return condition();
}

}  // namespace ostrelle::bench
