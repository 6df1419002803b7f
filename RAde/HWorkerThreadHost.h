// Base of an object that does one piece of work on a thread of its own while
// its owner goes on (runs a modal dialog, waits for a process).
//
// A subclass supplies the work as WorkerProc. The host starts the thread,
// lets the work ask cheaply whether to go on (ContinueWorking), keeps what
// the work throws, and lets the owner stop the thread and wait for its end.
// Stopping is cooperative: the worker ends when WorkerProc returns.
//
// A subclass whose WorkerProc reads the subclass's own members must call
// StopWorkerThread in its own destructor: the host's destructor runs after
// those members are gone, while the worker may still be reading them.
#pragma once

#include <windows.h>

#include <atomic>

#include "RAde/HCOMLock.h"
#include "RAde/HException.h"
#include "RAde/HUniqueHandle.h"

class CHWorkerThreadHost
{
public:
    CHWorkerThreadHost() = default;
    CHWorkerThreadHost(const CHWorkerThreadHost&) = delete;
    CHWorkerThreadHost& operator=(const CHWorkerThreadHost&) = delete;
    virtual ~CHWorkerThreadHost();

    // Stops a worker still running, then starts WorkerProc(dwParameter) on a new thread.
    void StartWorkerThread(DWORD dwParameter);
    // Asks the worker to stop and waits, without limit, for its thread to end.
    void StopWorkerThread();
    // Waits, without limit and answering the calling thread's messages, for
    // a worker to end by itself (no stop is asked for).
    void WaitUntilWorkerEnds();
    // For WorkerProc: waits up to dwTimeout ms for a stop request; false
    // once a stop was requested. Doubles as an interruptible sleep.
    bool ContinueWorking(DWORD dwTimeout);
    void SetWorkerError(const CHException& error);
    // Empties the stored error and clears the working flag.
    void Clear();

    bool IsStopRequested() const { return m_bStopRequested; }
    bool IsWorking() const { return m_bWorking; }
    HANDLE GetStopEvent() const { return m_hStopEvent.Get(); }
    HANDLE GetFinishedEvent() const { return m_hFinishedEvent.Get(); }
    void SignalStop();
    void ClearWorking() { m_bWorking = false; }
    // A copy of the last error the work raised (empty when none).
    CHException GetWorkerError();

protected:
    virtual void WorkerProc(DWORD dwParameter) = 0;

private:
    struct CStartContext
    {
        CHWorkerThreadHost* pHost;
        DWORD dwParameter;
    };
    static DWORD WINAPI WorkerThreadRunner(LPVOID pContext) noexcept;
    // The worker's outermost handler: logs the error and keeps it for the owner.
    void KeepWorkerError(const CHException& error) noexcept;
    static CHKernelHandle NewAutoResetEvent();

    CHCOMLock m_lock;
    std::atomic<bool> m_bStopRequested{false};
    std::atomic<bool> m_bWorking{false};
    CHKernelHandle m_hStopEvent;
    CHKernelHandle m_hFinishedEvent;
    CHKernelHandle m_hThread;
    CHException m_error;
    DWORD m_threadId = 0;
    int m_priority = THREAD_PRIORITY_NORMAL;
};
