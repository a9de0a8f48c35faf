// What every benchmark measures with: elapsed time and the process's peak memory.
#pragma once

#include <sys/resource.h>

#include <chrono>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

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

// Reads `--name value` pairs from argv[first..] into the strings `options` names; false for a
// name it does not know or a name without a value.
inline bool readOptions(int argc, char** argv, int first,
                        const std::vector<std::pair<const char*, std::string*>>& options) {
    for (int i = first; i < argc; ++i) {
        std::string* value = nullptr;
        for (const auto& [name, target] : options) {
            if (std::strcmp(argv[i], name) == 0) value = target;
        }
        if (value == nullptr || i + 1 >= argc) return false;
        *value = argv[++i];
    }
    return true;
}

}  // namespace bench
