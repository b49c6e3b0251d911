// Timing and medians shared by the benchmarks.
#pragma once

#include <algorithm>
#include <chrono>
#include <vector>

namespace benchfig {

// Seconds since `since`.
inline double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// The median of `v` (0 when empty).
inline double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

} // namespace benchfig
