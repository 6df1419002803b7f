// Waits of a thread that owns windows. A thread that waits without reading
// its messages blocks every sender until the wait ends: a program that
// broadcasts a setting change with SendMessage (as installers do after
// changing PATH) would wait for a launcher that waits for it. These waits
// dispatch what arrives (sent and posted messages) until the object is
// signalled or the time is up; a WM_QUIT taken meanwhile is posted again
// when the wait ends, for the loop that owns it.
#pragma once

#include <windows.h>

class CHMessageWait
{
public:
    // WAIT_OBJECT_0 once hObject is signalled, WAIT_TIMEOUT after dwTimeoutMs
    // (INFINITE: none); a failed wait throws.
    static DWORD WaitFor(HANDLE hObject, DWORD dwTimeoutMs);
    // Sleeps dwMilliseconds, answering messages meanwhile.
    static void Sleep(DWORD dwMilliseconds);

private:
    // Dispatches every message waiting; false when one of them was WM_QUIT.
    static bool DispatchWaiting(int& nQuitCode);
};
