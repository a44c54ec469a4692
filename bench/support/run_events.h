#pragma once

#include <functional>

namespace ostrelle::bench {

// Runs the event loop until condition holds or timeoutMs pass; whether it holds.
bool RunEventsUntil(const std::function<bool()>& condition, int timeoutMs);

}  // namespace ostrelle::bench
