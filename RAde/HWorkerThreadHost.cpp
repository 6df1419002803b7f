#include "RAde/HWorkerThreadHost.h"

#include <objbase.h>

#include <memory>

#include "RAde/HLock.h"
#include "RAde/HLogging.h"
#include "RAde/HMessageWait.h"

// The thread is created with CreateThread, not _beginthreadex. MinGW's C
// runtime is msvcrt.dll even in a static build: it allocates a thread's data
// when the thread first needs it and frees it on DLL_THREAD_DETACH, which
// every thread gets. The parts linked in statically (libstdc++'s exception
// state, winpthreads, emulated thread-locals) clean up in the executable's TLS
// callbacks, which also run for every thread. So nothing is left behind per
// thread, and the thread procedure keeps the Win32 signature.

CHWorkerThreadHost::~CHWorkerThreadHost()
{
    HTRY {
        StopWorkerThread();
    } HCATCH_LOG
}

void CHWorkerThreadHost::StartWorkerThread(DWORD dwParameter)
{
    HTRY {
        StopWorkerThread();
        Clear();
        m_hStopEvent = NewAutoResetEvent();
        m_hFinishedEvent = NewAutoResetEvent();

        auto context = std::make_unique<CStartContext>(CStartContext{this, dwParameter});
        // Set before the thread exists, so an owner polling IsWorking right
        // after this call never sees an idle host that is about to work.
        m_bWorking = true;
        DWORD dwThreadId = 0;
        HANDLE hThread = ::CreateThread(nullptr, 0, &WorkerThreadRunner, context.get(), 0, &dwThreadId);
        if (!hThread) {
            CHException error = CHException::FromLastError(HSITE);
            m_bWorking = false;
            throw error;
        }
        context.release();  // the thread frees it
        m_hThread.Reset(hThread);
        m_threadId = dwThreadId;
        ::SetThreadPriority(hThread, m_priority);
    } HCATCH
}

void CHWorkerThreadHost::StopWorkerThread()
{
    HTRY {
        if (m_hThread) {
            m_bStopRequested = true;
            SignalStop();
            // The thread's end, not the finished event: the event is
            // auto-reset and handed out by GetFinishedEvent, so an owner that
            // waited on it has taken the signal and a second wait would never
            // return. The thread ends only after it has signalled the event,
            // and once it has ended it can no longer touch this object, which
            // its owner may destroy as soon as this returns.
            HCHECK_WIN32(::WaitForSingleObject(m_hThread.Get(), INFINITE) != WAIT_FAILED);
        }
        m_hStopEvent.Reset();
        m_hFinishedEvent.Reset();
        m_hThread.Reset();
        m_threadId = 0;
        m_bStopRequested = false;
    } HCATCH
}

void CHWorkerThreadHost::WaitUntilWorkerEnds()
{
    HTRY {
        if (m_hThread)
            CHMessageWait::WaitFor(m_hThread.Get(), INFINITE);
    } HCATCH
}

bool CHWorkerThreadHost::ContinueWorking(DWORD dwTimeout)
{
    HTRY {
        if (m_bStopRequested)
            return false;
        // The flag, not the event, is the request: a signal alone (SignalStop)
        // only cuts this wait short.
        DWORD dwResult = ::WaitForSingleObject(m_hStopEvent.Get(), dwTimeout);
        if (m_bStopRequested)
            return false;
        return dwResult == WAIT_OBJECT_0 || dwResult == WAIT_ABANDONED || dwResult == WAIT_TIMEOUT;
    } HCATCH
}

void CHWorkerThreadHost::SetWorkerError(const CHException& error)
{
    HTRY {
        CHLockHolder lock(m_lock);
        m_error = error;
    } HCATCH
}

void CHWorkerThreadHost::Clear()
{
    HTRY {
        {
            CHLockHolder lock(m_lock);
            m_error.Clear();
        }
        m_bWorking = false;
    } HCATCH
}

void CHWorkerThreadHost::SignalStop()
{
    HTRY {
        // A failure is not raised: the stop flag set before this call is the
        // request itself, which the worker sees at its next ContinueWorking;
        // the event only wakes it sooner.
        if (m_hStopEvent)
            ::SetEvent(m_hStopEvent.Get());
    } HCATCH
}

CHException CHWorkerThreadHost::GetWorkerError()
{
    HTRY {
        CHLockHolder lock(m_lock);
        return m_error;
    } HCATCH
}

DWORD WINAPI CHWorkerThreadHost::WorkerThreadRunner(LPVOID pContext) noexcept
{
    std::unique_ptr<CStartContext> context(static_cast<CStartContext*>(pContext));
    CHWorkerThreadHost& host = *context->pHost;
    CHLogging::LogDebug(L"0x%04x\t\tCHWorkerThreadHost::WorkerThreadRunner() Entered\n",
                        static_cast<unsigned>(::GetCurrentThreadId()));
    try {
        HTRY {
            host.WorkerProc(context->dwParameter);
        } HCATCH
    } catch (CHException& e) {
        host.KeepWorkerError(e);
    } catch (...) {
        // The idiom turns everything into a CHException; should building it
        // fail, the thread still ends in order below.
    }

    // Balances a CoInitialize(Ex) that the work left open. On a thread that
    // never initialised COM this is a no-op (Wine only notes a mismatch on
    // its debug channel): the thread ends here, so there is no apartment of
    // someone else's that it could tear down.
    ::CoUninitialize();
    host.m_bWorking = false;
    // The last use of the host: once the event is set, the owner may go on
    // to destroy it. Only the start context, which the thread owns, is freed
    // after this.
    ::SetEvent(host.m_hFinishedEvent.Get());
    return 0;
}

void CHWorkerThreadHost::KeepWorkerError(const CHException& error) noexcept
{
    HTRY {
        CHLogging::LogWarning(L"%s\n", error.GetDescription(CHException::DescribeEverything).c_str());
        SetWorkerError(error);
    } HCATCH_LOG
}

CHKernelHandle CHWorkerThreadHost::NewAutoResetEvent()
{
    CHKernelHandle hEvent(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    HCHECK_WIN32(hEvent);
    return hEvent;
}
