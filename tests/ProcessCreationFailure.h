// Makes CHProcess's process creation fail, as a locked-down machine or a
// program that needs elevation makes it fail: the next nFailures creations
// fail with dwError, later ones create for real. Put back when it goes.
#pragma once

#include <windows.h>

#include "RAde/HProcess.h"

class CProcessCreationFailure
{
public:
    CProcessCreationFailure(DWORD dwError, int nFailures)
    {
        s_dwError = dwError;
        s_nFailuresLeft = nFailures;
        s_nCalls = 0;
        CHProcess::SetCreateProcessFunction(&Create);
    }
    ~CProcessCreationFailure() { CHProcess::SetCreateProcessFunction(nullptr); }
    CProcessCreationFailure(const CProcessCreationFailure&) = delete;
    CProcessCreationFailure& operator=(const CProcessCreationFailure&) = delete;

    // How many creations were asked for.
    static int Calls() { return s_nCalls; }

private:
    static BOOL WINAPI Create(LPCWSTR pszApplication, LPWSTR pszCommandLine, LPSECURITY_ATTRIBUTES pProcess,
                              LPSECURITY_ATTRIBUTES pThread, BOOL bInherit, DWORD dwFlags, LPVOID pEnvironment,
                              LPCWSTR pszDirectory, LPSTARTUPINFOW pStartup, LPPROCESS_INFORMATION pInfo)
    {
        ++s_nCalls;
        if (s_nFailuresLeft > 0) {
            --s_nFailuresLeft;
            ::SetLastError(s_dwError);
            return FALSE;
        }
        return ::CreateProcessW(pszApplication, pszCommandLine, pProcess, pThread, bInherit, dwFlags, pEnvironment,
                                pszDirectory, pStartup, pInfo);
    }

    static inline DWORD s_dwError = 0;
    static inline int s_nFailuresLeft = 0;
    static inline int s_nCalls = 0;
};
