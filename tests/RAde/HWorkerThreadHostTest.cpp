// The worker thread host: starting and stopping a worker, the cooperative stop
// (ContinueWorking), the error a worker leaves behind, and the end of a host
// destroyed while its worker runs.
#include <windows.h>

#include <objbase.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <iomanip>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "RAde/HException.h"
#include "RAde/HLogging.h"
#include "RAde/HUniqueHandle.h"
#include "RAde/HWorkerThreadHost.h"
#include "TestSupport.h"

namespace {

using CMilliseconds = std::chrono::duration<double, std::milli>;

// Runs fn and returns how long it took.
template <class Fn>
CMilliseconds Timed(Fn&& fn)
{
    auto start = std::chrono::steady_clock::now();
    fn();
    return std::chrono::steady_clock::now() - start;
}

// A host whose work is a callable the test gives it. Like every subclass whose
// work reads its members, it stops the worker in its own destructor.
class CTestWorker : public CHWorkerThreadHost
{
public:
    using Work = std::function<void(CTestWorker& host, DWORD dwParameter)>;

    explicit CTestWorker(Work work) : m_work(std::move(work)) {}
    ~CTestWorker() override
    {
        HTRY {
            StopWorkerThread();
        } HCATCH_LOG
    }

    std::atomic<int> m_nRounds{0};

protected:
    void WorkerProc(DWORD dwParameter) override { m_work(*this, dwParameter); }

private:
    Work m_work;
};

// Entries of a run in the order they happened, from any thread.
class CJournal
{
public:
    void Add(const std::wstring& strEntry)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_entries.push_back(strEntry);
    }
    std::vector<std::wstring> Entries() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_entries;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::wstring> m_entries;
};

// Sees the COM uninitialisations of the thread that registered it. Lives on
// the test's stack, so reference counting is a no-op.
class CUninitializeSpy : public IInitializeSpy
{
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IUnknown || riid == IID_IInitializeSpy) {
            *ppv = static_cast<IInitializeSpy*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE PreInitialize(DWORD, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PostInitialize(HRESULT hrCoInit, DWORD, DWORD) override { return hrCoInit; }
    HRESULT STDMETHODCALLTYPE PreUninitialize(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PostUninitialize(DWORD dwNewThreadAptRefs) override
    {
        m_dwRefsLeft = dwNewThreadAptRefs;
        ++m_nUninitialisations;
        return S_OK;
    }

    std::atomic<int> m_nUninitialisations{0};
    std::atomic<DWORD> m_dwRefsLeft{~0u};
};

}  // namespace

TEST(CHWorkerThreadHost, RunsWorkerProcOnAThreadOfItsOwnWithTheParameter)
{
    CLogCapture capture;
    DWORD dwSeenParameter = 0;
    DWORD dwWorkerThreadId = 0;
    bool bWorkingInside = false;
    CTestWorker host([&](CTestWorker& self, DWORD dwParameter) {
        dwSeenParameter = dwParameter;
        dwWorkerThreadId = ::GetCurrentThreadId();
        bWorkingInside = self.IsWorking();
    });

    host.StartWorkerThread(0xC0FFEE42);
    ASSERT_TRUE(WaitSignalled(host.GetFinishedEvent())) << "the worker did not finish";

    EXPECT_EQ(dwSeenParameter, 0xC0FFEE42u);
    EXPECT_NE(dwWorkerThreadId, ::GetCurrentThreadId());
    EXPECT_TRUE(bWorkingInside);
    EXPECT_FALSE(host.IsWorking());
    EXPECT_TRUE(ErrorCodesOf(host.GetWorkerError()).empty()) << "a worker that returned left an error";

    std::wostringstream expected;
    expected << L"0x" << std::hex << std::setw(4) << std::setfill(L'0') << dwWorkerThreadId
             << L"\t\tCHWorkerThreadHost::WorkerThreadRunner() Entered\n";
    ASSERT_FALSE(capture.Messages().empty());
    EXPECT_EQ(capture.Messages()[0], expected.str());
    EXPECT_EQ(capture.Levels()[0], HLOG_DEBUG);
    EXPECT_EQ(capture.Messages().size(), 1u) << "a worker that returned logged more than its start";

    // The finished event was taken by the wait above; stopping must not wait
    // for it a second time.
    host.StopWorkerThread();
    EXPECT_EQ(host.GetStopEvent(), nullptr);
    EXPECT_EQ(host.GetFinishedEvent(), nullptr);
    EXPECT_FALSE(host.IsStopRequested());
}

TEST(CHWorkerThreadHost, AWorkerThatThrowsEndsLikeOneThatReturnsAndKeepsTheError)
{
    enum : DWORD
    {
        ThrowOwn,
        ThrowStd,
        ThrowInt,
        Return
    };
    CTestWorker host([](CTestWorker&, DWORD dwParameter) {
        switch (dwParameter) {
        case ThrowOwn:
            throw CHException(L"disk on fire", 4242, HSITE).AddValue(L"File", L"C:\\a.txt");
        case ThrowStd:
            throw std::runtime_error("bad thing");
        case ThrowInt:
            throw 42;
        default:
            return;
        }
    });

    CLogCapture capture;
    host.StartWorkerThread(ThrowOwn);
    ASSERT_TRUE(WaitSignalled(host.GetFinishedEvent())) << "the worker that threw did not signal its end";
    EXPECT_FALSE(host.IsWorking());

    CHException error = host.GetWorkerError();
    // The failure, then the entry of the handler around the work.
    EXPECT_EQ(ErrorCodesOf(error), (std::vector<int>{4242, 1005}));
    CHException expected(L"disk on fire", 4242, HSITE);
    expected.AddValue(L"File", L"C:\\a.txt");
    EXPECT_EQ(error.GetDescription(0), expected.GetDescription(0));
    EXPECT_NE(error.GetStackTrace().find(L"CHWorkerThreadHost::WorkerThreadRunner"), std::wstring::npos)
        << error.GetStackTrace();

    // Logged once, in full, as a warning.
    std::vector<std::wstring> messages = capture.Messages();
    std::vector<int> levels = capture.Levels();
    std::vector<std::wstring> warnings;
    for (size_t i = 0; i < messages.size(); ++i)
        if (levels[i] == HLOG_WARNING)
            warnings.push_back(messages[i]);
    EXPECT_EQ(warnings, (std::vector<std::wstring>{error.GetDescription(7) + L"\n"}));

    // The owner learns of the error after stopping, too.
    host.StopWorkerThread();
    EXPECT_EQ(ErrorCodesOf(host.GetWorkerError()), (std::vector<int>{4242, 1005}));

    // Other exceptions are kept in the library's form.
    host.StartWorkerThread(ThrowStd);
    ASSERT_TRUE(WaitSignalled(host.GetFinishedEvent()));
    EXPECT_EQ(ErrorCodesOf(host.GetWorkerError()), (std::vector<int>{1002}));
    host.StartWorkerThread(ThrowInt);
    ASSERT_TRUE(WaitSignalled(host.GetFinishedEvent()));
    EXPECT_EQ(ErrorCodesOf(host.GetWorkerError()), (std::vector<int>{1001}));
    EXPECT_FALSE(host.IsWorking());

    // A new start forgets the last error.
    host.StartWorkerThread(Return);
    ASSERT_TRUE(WaitSignalled(host.GetFinishedEvent()));
    EXPECT_TRUE(ErrorCodesOf(host.GetWorkerError()).empty());
}

TEST(CHWorkerThreadHost, StartingWhileAWorkerRunsStopsThatWorkerFirst)
{
    CJournal journal;
    CHKernelHandle hFirstEntered = NewEvent(), hSecondEntered = NewEvent();
    CTestWorker host([&](CTestWorker& self, DWORD dwParameter) {
        journal.Add(L"start " + std::to_wstring(dwParameter) + (self.IsStopRequested() ? L" (stop requested)" : L""));
        ::SetEvent(dwParameter == 1 ? hFirstEntered.Get() : hSecondEntered.Get());
        while (self.ContinueWorking(g_dwHandshakeMs))
            ;
        journal.Add(L"end " + std::to_wstring(dwParameter));
    });

    host.StartWorkerThread(1);
    ASSERT_TRUE(WaitSignalled(hFirstEntered.Get()));
    EXPECT_TRUE(host.IsWorking());

    host.StartWorkerThread(2);
    ASSERT_TRUE(WaitSignalled(hSecondEntered.Get()));
    EXPECT_TRUE(host.IsWorking());
    // The first worker had ended before the second began, and the stop request
    // that ended it was not passed on to the second.
    EXPECT_EQ(journal.Entries(), (std::vector<std::wstring>{L"start 1", L"end 1", L"start 2"}));

    host.StopWorkerThread();
    EXPECT_EQ(journal.Entries().back(), L"end 2");
    EXPECT_FALSE(host.IsWorking());
}

TEST(CHWorkerThreadHost, StopAndContinueWorkingOnAnIdleHost)
{
    CTestWorker host([](CTestWorker&, DWORD) {});

    EXPECT_NO_THROW(host.StopWorkerThread());
    EXPECT_FALSE(host.IsStopRequested());
    EXPECT_FALSE(host.IsWorking());
    EXPECT_EQ(host.GetStopEvent(), nullptr);
    EXPECT_EQ(host.GetFinishedEvent(), nullptr);
    // Without a stop event the wait fails, and a failed wait means "stop".
    EXPECT_FALSE(host.ContinueWorking(0));
}

TEST(CHWorkerThreadHost, ContinueWorkingSleepsUntilItsTimeOutOrASignal)
{
    CHKernelHandle hReady = NewEvent(), hGo = NewEvent();
    bool bAfterTimeOut = false, bAfterSignal = false;
    CMilliseconds timeOutWait{}, signalWait{};
    CTestWorker host([&](CTestWorker& self, DWORD) {
        timeOutWait = Timed([&] { bAfterTimeOut = self.ContinueWorking(200); });
        ::SetEvent(hReady.Get());
        if (!WaitSignalled(hGo.Get()))
            return;
        signalWait = Timed([&] { bAfterSignal = self.ContinueWorking(g_dwHandshakeMs); });
    });

    host.StartWorkerThread(0);
    ASSERT_TRUE(WaitSignalled(hReady.Get()));
    // A signal without the stop request only cuts the wait short.
    host.SignalStop();
    ::SetEvent(hGo.Get());
    ASSERT_TRUE(WaitSignalled(host.GetFinishedEvent()));

    EXPECT_TRUE(bAfterTimeOut);
    EXPECT_GE(timeOutWait.count(), 150.0) << "ContinueWorking(200) returned before its time-out";
    EXPECT_TRUE(bAfterSignal);
    EXPECT_LT(signalWait.count(), g_dwHandshakeMs / 2.0) << "the signal did not end the wait";
}

TEST(CHWorkerThreadHost, ContinueWorkingSaysStopOnceStoppingHasBegun)
{
    // A worker waiting in ContinueWorking is woken by the stop.
    {
        CHKernelHandle hWaiting = NewEvent();
        bool bContinue = true;
        CTestWorker host([&](CTestWorker& self, DWORD) {
            ::SetEvent(hWaiting.Get());
            bContinue = self.ContinueWorking(g_dwHandshakeMs);
        });
        host.StartWorkerThread(0);
        ASSERT_TRUE(WaitSignalled(hWaiting.Get()));
        CMilliseconds stopping = Timed([&] { host.StopWorkerThread(); });
        EXPECT_FALSE(bContinue);
        EXPECT_LT(stopping.count(), g_dwHandshakeMs / 2.0) << "the stop did not wake the waiting worker";
    }
    // A worker that calls ContinueWorking after the stop signal was spent
    // (here: taken by the worker itself) still hears the request.
    {
        bool bContinue = true;
        CMilliseconds waited{};
        CTestWorker host([&](CTestWorker& self, DWORD) {
            if (!WaitSignalled(self.GetStopEvent()))
                return;
            waited = Timed([&] { bContinue = self.ContinueWorking(g_dwHandshakeMs); });
        });
        host.StartWorkerThread(0);
        host.StopWorkerThread();
        EXPECT_FALSE(bContinue);
        EXPECT_LT(waited.count(), g_dwHandshakeMs / 2.0) << "ContinueWorking waited although a stop was requested";
    }
}

TEST(CHWorkerThreadHost, DestroyingASubclassMidWorkStopsTheWorkerAndOutlivesItsThread)
{
    CHKernelHandle hWorking = NewEvent();
    CHKernelHandle hWorkerThread;
    std::atomic<bool> bEndedOnRequest{false};
    auto host = std::make_unique<CTestWorker>([&](CTestWorker& self, DWORD) {
        hWorkerThread.Reset(::OpenThread(SYNCHRONIZE, FALSE, ::GetCurrentThreadId()));
        do {
            ++self.m_nRounds;  // the subclass's own member, read and written mid-work
            ::SetEvent(hWorking.Get());
        } while (self.ContinueWorking(1));
        bEndedOnRequest = self.IsStopRequested();
    });

    host->StartWorkerThread(0);
    ASSERT_TRUE(WaitSignalled(hWorking.Get()));
    ASSERT_TRUE(hWorkerThread);
    host.reset();

    EXPECT_TRUE(bEndedOnRequest);
    // The thread had left the host's code entirely before the destructor returned.
    EXPECT_TRUE(WaitSignalled(hWorkerThread.Get(), 0)) << "the worker thread was still running";
}

TEST(CHWorkerThreadHost, UninitialisesCOMOnTheWorkerThreadWhenTheWorkEnds)
{
    CUninitializeSpy spy;
    HRESULT hrInitialise = E_FAIL, hrRegister = E_FAIL;
    CTestWorker host([&](CTestWorker&, DWORD) {
        // Left open on purpose: the host closes it.
        hrInitialise = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        ULARGE_INTEGER cookie{};
        hrRegister = ::CoRegisterInitializeSpy(&spy, &cookie);
    });

    host.StartWorkerThread(0);
    ASSERT_TRUE(WaitSignalled(host.GetFinishedEvent()));
    ASSERT_EQ(hrInitialise, S_OK);
    ASSERT_EQ(hrRegister, S_OK);
    EXPECT_EQ(spy.m_nUninitialisations, 1);
    EXPECT_EQ(spy.m_dwRefsLeft, 0u) << "the worker thread was left in its apartment";
}
