#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

namespace ostrelle::bench {

inline double Ms(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// Wall-clock milliseconds one call of work takes.
inline double TimeMs(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return Ms(std::chrono::steady_clock::now() - start);
}

inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace ostrelle::bench
