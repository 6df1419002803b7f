// The one clock of the benchmark programs: the performance counter.
#pragma once

#include <windows.h>

inline LONGLONG Now()
{
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return now.QuadPart;
}

inline double Seconds(LONGLONG nTicks)
{
    static const LONGLONG s_nFrequency = [] {
        LARGE_INTEGER frequency;
        ::QueryPerformanceFrequency(&frequency);
        return frequency.QuadPart;
    }();
    return static_cast<double>(nTicks) / static_cast<double>(s_nFrequency);
}
