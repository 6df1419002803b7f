// Holds a named global mutex lock on behalf of a test in another process.
//
//   HoldMutex <lock name> <held event> <release event>
//
// Initialises a CHMutexLock with the name (global), locks it, signals the
// "held" event and keeps the lock until the "release" event is signalled (at
// most 30 s), then unlocks and ends. Both events are created by the test.
// Exit codes: 0 done; 1 bad arguments; 2 events not found; 3 lock not taken;
// 4 never released; 5 a library failure.
#include <windows.h>

#include <string>

#include "RAde/HException.h"
#include "RAde/HMutexLock.h"
#include "RAde/HUniqueHandle.h"

namespace {

constexpr DWORD g_dwReleaseTimeoutMs = 30000;

int HoldUntilReleased(const std::wstring& strLockName, const wchar_t* pszHeldEvent, const wchar_t* pszReleaseEvent)
{
    CHKernelHandle hHeld(::OpenEventW(EVENT_MODIFY_STATE, FALSE, pszHeldEvent));
    CHKernelHandle hRelease(::OpenEventW(SYNCHRONIZE, FALSE, pszReleaseEvent));
    if (!hHeld || !hRelease)
        return 2;

    CHMutexLock lock;
    lock.Init(strLockName, true);
    if (!lock.Lock())
        return 3;
    ::SetEvent(hHeld.Get());
    const bool bReleased = ::WaitForSingleObject(hRelease.Get(), g_dwReleaseTimeoutMs) == WAIT_OBJECT_0;
    lock.Unlock();
    return bReleased ? 0 : 4;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 4)
        return 1;
    try {
        return HoldUntilReleased(argv[1], argv[2], argv[3]);
    } catch (CHException&) {
        return 5;
    }
}
