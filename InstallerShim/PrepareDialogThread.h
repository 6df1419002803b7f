// The thread of the device path's "Preparing installation" dialog: it shows
// the wait dialog (CHWaitDialogShim, HWaitDialogShim.h) while the install
// files are copied from the phone, and ends in order when asked.
#pragma once

#include <windows.h>

#include "RAde/HUniqueHandle.h"

// The wait dialog's thread (the parameter is not used). It ends when a
// WM_QUIT reaches its message queue.
DWORD WINAPI PrepareDialogThreadProc(LPVOID pParameter);

// The wait dialog on a thread of its own, from construction until End (or
// destruction). The end is orderly: WM_QUIT is posted to the thread, which
// then destroys its window and returns; the thread is never terminated.
class CPrepareDialogThread
{
public:
    // How long End waits for the thread; a thread that does not end by then
    // is left to the end of the process.
    static constexpr DWORD EndTimeoutMs = 10000;

    CPrepareDialogThread();
    ~CPrepareDialogThread();
    CPrepareDialogThread(const CPrepareDialogThread&) = delete;
    CPrepareDialogThread& operator=(const CPrepareDialogThread&) = delete;

    // True when the thread had ended (or never started) by the time it returned.
    bool End() noexcept;

    DWORD GetThreadId() const { return m_dwThreadId; }

private:
    CHKernelHandle m_hThread;
    DWORD m_dwThreadId = 0;
};
