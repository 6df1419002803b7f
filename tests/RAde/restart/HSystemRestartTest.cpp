// Asking Windows to restart.
//
// This program runs only under Wine, in a prefix of its own
// (build/wineprefix-restart), where a restart request does not restart the
// machine. What Wine 8 does with ExitWindowsEx(EWX_REBOOT), found by trying:
// - it returns TRUE at once and starts "wineboot --end-session", which
//   enumerates every top-level window of the prefix, hidden ones included,
//   process by process (the desktop process excepted);
// - each such process gets WM_QUERYENDSESSION and, when all its windows
//   agreed, WM_ENDSESSION with wParam TRUE; the caller's own windows too;
// - a process still alive after answering WM_ENDSESSION is then terminated
//   with exit code 0, the caller included when it has a top-level window;
//   processes without top-level windows are left running.
// A test that owned the recording window would therefore be killed in the
// middle, and its exit code 0 would read as a pass. So the window lives in a
// helper process (EndSessionWindow.exe) that reports through named events
// from inside its handlers, and this process owns no top-level window.
#include <windows.h>

#include <gtest/gtest.h>

#include <iostream>
#include <string>

#include "RAde/HSystem.h"
#include "RAde/HUniqueHandle.h"
#include "TestSupport.h"

namespace {

// Generous: the messages come from a process Wine starts for the request.
constexpr DWORD g_dwMessageWaitMs = 20000;

// The events through which EndSessionWindow.exe reports, named after a stem
// of this process's own.
struct CEndSessionEvents
{
    explicit CEndSessionEvents(const std::wstring& strStem)
        : hReady(Create(strStem, L"_ready")), hQuery(Create(strStem, L"_query")),
          hEndTrue(Create(strStem, L"_end_true")), hEndFalse(Create(strStem, L"_end_false"))
    {
    }
    static CHKernelHandle Create(const std::wstring& strStem, const wchar_t* pszSuffix)
    {
        return NewEvent(strStem + pszSuffix);
    }

    CHKernelHandle hReady, hQuery, hEndTrue, hEndFalse;
};

bool IsSignalled(const CHKernelHandle& hEvent, DWORD dwTimeoutMs)
{
    return ::WaitForSingleObject(hEvent.Get(), dwTimeoutMs) == WAIT_OBJECT_0;
}

// Ends the helper if Wine has not (a failed request).
struct CHelperProcess
{
    CHKernelHandle hProcess;
    ~CHelperProcess()
    {
        if (hProcess && ::WaitForSingleObject(hProcess.Get(), 0) == WAIT_TIMEOUT)
            ::TerminateProcess(hProcess.Get(), 99);
    }
};

}  // namespace

TEST(CHSystem, RestartRequestIsAcceptedAndEndsTheSessionOfTopLevelWindows)
{
    if (!IsRunningUnderWine())
        GTEST_SKIP() << "would restart this machine";

    const std::wstring strStem = L"hs_end_session_" + std::to_wstring(::GetCurrentProcessId());
    CEndSessionEvents events(strStem);
    ASSERT_TRUE(events.hReady && events.hQuery && events.hEndTrue && events.hEndFalse);

    CHelperProcess helper{StartHelperProgram(L"EndSessionWindow.exe", strStem)};
    ASSERT_TRUE(helper.hProcess);
    HANDLE waits[] = {events.hReady.Get(), helper.hProcess.Get()};
    if (::WaitForMultipleObjects(2, waits, FALSE, g_dwMessageWaitMs) != WAIT_OBJECT_0) {
        DWORD dwExitCode = 0;
        ::GetExitCodeProcess(helper.hProcess.Get(), &dwExitCode);
        FAIL() << "the window helper did not start; exit code " << dwExitCode;
    }

    // Wine answers the request by starting wineboot; on a busy machine that
    // start fails now and then (see scripts/wine-run), and the request with
    // it. Such a request is made once more, and says so.
    bool bAccepted = CHSystem::ExitWindows(EWX_REBOOT);
    if (!bAccepted) {
        std::cout << "the restart request failed with error " << ::GetLastError() << "; asking once more" << std::endl;
        bAccepted = CHSystem::ExitWindows(EWX_REBOOT);
    }
    EXPECT_TRUE(bAccepted) << "error " << ::GetLastError();

    EXPECT_TRUE(IsSignalled(events.hQuery, g_dwMessageWaitMs)) << "no WM_QUERYENDSESSION";
    EXPECT_TRUE(IsSignalled(events.hEndTrue, g_dwMessageWaitMs)) << "no WM_ENDSESSION with wParam TRUE";
    EXPECT_FALSE(IsSignalled(events.hEndFalse, 0)) << "WM_ENDSESSION said the session goes on";
}
