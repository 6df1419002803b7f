// What the benchmark programs share: the clock (the performance counter),
// the folder they lie in, and the measuring of painting code per frame.
#pragma once

#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>

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

// The folder of the running program, with a trailing "\".
inline std::wstring OwnFolder()
{
    wchar_t szPath[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, szPath, MAX_PATH);
    std::wstring strPath = szPath;
    return strPath.substr(0, strPath.find_last_of(L'\\') + 1);
}

// The average time of one call of fnFrame in microseconds, run for about
// dSeconds after a short warm-up. GDI's batch is flushed inside the timing.
inline double MicrosecondsPerFrame(const std::function<void()>& fnFrame, double dSeconds = 0.5)
{
    for (int i = 0; i < 20; ++i)
        fnFrame();
    ::GdiFlush();
    long long nFrames = 0;
    const LONGLONG nStart = Now();
    double dElapsed = 0;
    do {
        for (int i = 0; i < 50; ++i)
            fnFrame();
        ::GdiFlush();
        nFrames += 50;
        dElapsed = Seconds(Now() - nStart);
    } while (dElapsed < dSeconds);
    return dElapsed / static_cast<double>(nFrames) * 1e6;
}

// One line: a case's time per frame beside a plain BitBlt's, and their ratio.
inline void Report(const char* pszName, double dPaint, double dBitBlt)
{
    std::printf("%-44s %9.1f us/frame   BitBlt %7.1f us/frame   ratio %6.2f\n", pszName, dPaint, dBitBlt,
                dPaint / dBitBlt);
}
