// A lock on a kernel mutex. Unnamed, it serialises the threads of one process;
// named, every process that initialises a lock with the same name shares it
// (with bGlobal across logon sessions too). A mutex belongs to the thread
// that locked it: Unlock must come from that thread.
#pragma once

#include <windows.h>

#include <string>

#include "RAde/HLock.h"
#include "RAde/HUniqueHandle.h"

class CHMutexLock : public CHLock
{
public:
    CHMutexLock() = default;
    ~CHMutexLock() override;

    // Creates the mutex, or opens it when another lock created it first. A
    // name is turned into a kernel object name (CHSystem::MakeKernelObjectName)
    // and the mutex gets a null access list, so that processes of other users
    // can open it; an empty name gives an unnamed mutex. Releases and closes
    // any mutex held before.
    void Init(const std::wstring& strName, bool bGlobal);

    // Waits up to the time-out; an unnamed mutex is created on first use. True
    // when acquired, also when its previous owner ended without releasing it
    // (abandoned). False on time-out or failure.
    bool Lock() override;
    // Releases the mutex. A failed release (not the owning thread) is logged
    // as a warning, never thrown.
    void Unlock() override;
    // Unlocks when owned and closes the mutex.
    void Clear();

    // How long Lock waits, in milliseconds (INFINITE by default).
    void SetTimeout(DWORD dwTimeout) { m_dwTimeout = dwTimeout; }
    DWORD GetTimeout() const { return m_dwTimeout; }
    // Whether the last Lock acquired the mutex and no Unlock followed.
    bool IsOwned() const { return m_bOwned; }

private:
    DWORD m_dwTimeout = INFINITE;
    CHKernelHandle m_hMutex;
    bool m_bOwned = false;
};
