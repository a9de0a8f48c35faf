// What every benchmark measures with: elapsed time and the process's peak memory.
#pragma once

#include <sys/resource.h>

#include <chrono>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

inline double milliseconds(Clock::time_point since) { return seconds(since) * 1000.0; }

inline long peakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

}  // namespace bench
