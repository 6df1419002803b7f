// Helpers of the window-layer tests: running the thread's messages for a while.
#pragma once

#include <windows.h>

// Dispatches the thread's messages until done() holds or nTimeoutMs have
// passed; returns done()'s last answer.
template <class Done>
bool PumpMessagesUntil(Done&& done, DWORD nTimeoutMs = 5000)
{
    const ULONGLONG nEnd = ::GetTickCount64() + nTimeoutMs;
    for (;;) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
            // Checked after every message: a test may count the steps it sees.
            if (done())
                return true;
        }
        if (done())
            return true;
        const ULONGLONG nNow = ::GetTickCount64();
        if (nNow >= nEnd)
            return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(nEnd - nNow < 10 ? nEnd - nNow : 10),
                                    QS_ALLINPUT);
    }
}

// Dispatches the thread's messages for nMs milliseconds.
inline void PumpMessagesFor(DWORD nMs)
{
    PumpMessagesUntil([] { return false; }, nMs);
}
