// QueryPerformanceCounter in milliseconds, and the one-line result format scripts/bench.sh
// reads: "<figure> <value>" per measurement.
#pragma once

#include <windows.h>

#include <cstdio>

namespace bench {

inline double NowMs() {
    LARGE_INTEGER f, c;
    ::QueryPerformanceFrequency(&f);
    ::QueryPerformanceCounter(&c);
    return 1000.0 * static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

inline void Report(const char* figure, double value) {
    std::printf("%s %.4f\n", figure, value);
    std::fflush(stdout);
}

}  // namespace bench
