// The entry point of a benchmark that measures library code: a failure of the
// library is printed (with its description) instead of the figures.
#pragma once

#include <cstdio>

#include "RAde/HException.h"

inline int RunBenchmark(void (*fnRun)())
{
    try {
        fnRun();
    } catch (CHException& e) {
        std::printf("failed: %ls\n", e.GetDescription(1).c_str());
        return 1;
    }
    return 0;
}
