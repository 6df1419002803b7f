#include "RAde/HMessageWait.h"

#include "RAde/HException.h"

bool CHMessageWait::DispatchWaiting(int& nQuitCode)
{
    bool bQuit = false;
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            bQuit = true;
            nQuitCode = static_cast<int>(msg.wParam);
            continue;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return !bQuit;
}

DWORD CHMessageWait::WaitFor(HANDLE hObject, DWORD dwTimeoutMs)
{
    HTRY {
        const ULONGLONG nStart = ::GetTickCount64();
        bool bQuit = false;
        int nQuitCode = 0;
        DWORD dwResult = WAIT_TIMEOUT;
        for (;;) {
            bQuit = !DispatchWaiting(nQuitCode) || bQuit;
            const ULONGLONG nElapsed = ::GetTickCount64() - nStart;
            if (dwTimeoutMs != INFINITE && nElapsed >= dwTimeoutMs)
                break;
            const DWORD dwLeft = dwTimeoutMs == INFINITE ? INFINITE : static_cast<DWORD>(dwTimeoutMs - nElapsed);
            // MWMO_INPUTAVAILABLE: messages already seen by an earlier peek still wake the wait.
            const DWORD dwWait = ::MsgWaitForMultipleObjectsEx(hObject ? 1 : 0, hObject ? &hObject : nullptr, dwLeft,
                                                               QS_ALLINPUT, MWMO_INPUTAVAILABLE);
            HCHECK_WIN32(dwWait != WAIT_FAILED);
            if (hObject && dwWait == WAIT_OBJECT_0) {
                dwResult = WAIT_OBJECT_0;
                break;
            }
            if (dwWait == WAIT_TIMEOUT)
                break;
        }
        if (bQuit)
            ::PostQuitMessage(nQuitCode);
        return dwResult;
    } HCATCH
}

void CHMessageWait::Sleep(DWORD dwMilliseconds)
{
    HTRY {
        WaitFor(nullptr, dwMilliseconds);
    } HCATCH
}
