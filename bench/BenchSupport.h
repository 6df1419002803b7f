// What the benchmark programs share: the clock (the performance counter)
// and the folder they lie in.
#pragma once

#include <windows.h>

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
