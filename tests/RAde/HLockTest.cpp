// The locks: the scoped holder, the critical-section lock, and the mutex lock
// between threads and between processes.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "RAde/HCOMLock.h"
#include "RAde/HException.h"
#include "RAde/HLock.h"
#include "RAde/HMutexLock.h"
#include "RAde/HSystem.h"
#include "RAde/HUniqueHandle.h"
#include "TestSupport.h"

namespace {

// How long a thread is given to get into a lock that must keep it out. The
// checks never depend on it being long enough; it only makes a fault likely
// to show.
constexpr DWORD g_dwGraceMs = 50;

// Object names of this process only: process id plus a counter.
std::wstring UniqueName(const wchar_t* pszStem)
{
    static LONG s_nCounter = 0;
    return std::wstring(L"hs_") + pszStem + L"_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
           std::to_wstring(::InterlockedIncrement(&s_nCounter));
}

// Whether a lock of this name, in a thread of its own, is free right now.
bool OtherThreadCanLock(const std::wstring& strName, bool bGlobal = true)
{
    bool bLocked = false;
    std::thread([&] {
        try {
            CHMutexLock lock;
            lock.Init(strName, bGlobal);
            lock.SetTimeout(0);
            bLocked = lock.Lock();
        } catch (CHException&) {
        }
    }).join();
    return bLocked;
}

// A thread that takes a mutex lock of the given name and keeps it until Release.
class CHoldingThread
{
public:
    explicit CHoldingThread(const std::wstring& strName) : m_thread([this, strName] { Run(strName); })
    {
        m_bHeld = WaitSignalled(m_hHeld);
    }
    ~CHoldingThread() { Release(); }

    bool IsHolding() const { return m_bHeld; }
    void Release()
    {
        ::SetEvent(m_hRelease.Get());
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    void Run(const std::wstring& strName)
    {
        try {
            CHMutexLock lock;
            lock.Init(strName, true);
            if (!lock.Lock())
                return;
            ::SetEvent(m_hHeld.Get());
            WaitSignalled(m_hRelease);
        } catch (CHException&) {
        }
    }

    CHKernelHandle m_hHeld = NewEvent();
    CHKernelHandle m_hRelease = NewEvent();
    bool m_bHeld = false;
    std::thread m_thread;
};

// Counts what a holder does with its lock.
class CCountingLock : public CHLock
{
public:
    explicit CCountingLock(bool bAcquires, bool bUnlockThrows = false)
        : m_bAcquires(bAcquires), m_bUnlockThrows(bUnlockThrows)
    {
    }
    bool Lock() override
    {
        ++m_nLocks;
        return m_bAcquires;
    }
    void Unlock() override
    {
        ++m_nUnlocks;
        if (m_bUnlockThrows)
            throw CHException(HError::InvalidParameter, HSITE);
    }

    int m_nLocks = 0;
    int m_nUnlocks = 0;

private:
    bool m_bAcquires;
    bool m_bUnlockThrows;
};

}  // namespace

TEST(CHLockHolder, UnlocksOnlyALockItAcquired)
{
    CCountingLock acquiring(true);
    {
        CHLockHolder holder(acquiring);
        EXPECT_TRUE(holder.IsAcquired());
        EXPECT_EQ(acquiring.m_nUnlocks, 0);
    }
    EXPECT_EQ(acquiring.m_nLocks, 1);
    EXPECT_EQ(acquiring.m_nUnlocks, 1);

    CCountingLock refusing(false);
    {
        CHLockHolder holder(refusing);
        EXPECT_FALSE(holder.IsAcquired());
    }
    EXPECT_EQ(refusing.m_nLocks, 1);
    EXPECT_EQ(refusing.m_nUnlocks, 0);
}

TEST(CHLockHolder, AnUnlockThatThrowsIsLoggedAndSwallowed)
{
    CLogCapture capture;
    CCountingLock throwing(true, true);
    EXPECT_NO_THROW({ CHLockHolder holder(throwing); });

    EXPECT_EQ(throwing.m_nUnlocks, 1);
    ASSERT_EQ(capture.Messages().size(), 2u);
    EXPECT_EQ(capture.Levels(), (std::vector<int>{HLOG_WARNING, HLOG_WARNING}));
    EXPECT_NE(capture.Messages()[0].find(L"CHLockHolder::~CHLockHolder"), std::wstring::npos) << capture.Messages()[0];
    EXPECT_NE(capture.Messages()[1].find(L"Invalid function parameter."), std::wstring::npos);
}

TEST(CHCOMLock, KeepsASecondThreadOutUntilUnlocked)
{
    CHCOMLock lock;
    ASSERT_TRUE(lock.Lock());

    std::atomic<bool> bReleased{false};
    bool bSawRelease = false;
    CHKernelHandle hTrying = NewEvent(), hEntered = NewEvent();
    std::thread other([&] {
        ::SetEvent(hTrying.Get());
        lock.Lock();
        bSawRelease = bReleased.load();
        ::SetEvent(hEntered.Get());
        lock.Unlock();
    });

    ASSERT_TRUE(WaitSignalled(hTrying));
    EXPECT_FALSE(WaitSignalled(hEntered, g_dwGraceMs)) << "the second thread entered a held lock";
    bReleased = true;
    lock.Unlock();
    other.join();
    // The second thread got in only after the first had let go.
    EXPECT_TRUE(bSawRelease);
}

TEST(CHMutexLock, LockTimesOutWhileAnotherThreadHoldsTheMutex)
{
    const std::wstring strName = UniqueName(L"timeout");
    CHoldingThread holding(strName);
    ASSERT_TRUE(holding.IsHolding());

    CLogCapture capture;
    CHMutexLock lock;
    lock.Init(strName, true);
    lock.SetTimeout(g_dwGraceMs);
    EXPECT_EQ(lock.GetTimeout(), g_dwGraceMs);
    EXPECT_FALSE(lock.Lock());
    EXPECT_FALSE(lock.IsOwned());
    {
        CHLockHolder holder(lock);
        EXPECT_FALSE(holder.IsAcquired());
    }
    // An Unlock by the holder would have tried to release a mutex this thread
    // does not own, which logs a warning.
    EXPECT_TRUE(capture.Messages().empty());
    EXPECT_FALSE(OtherThreadCanLock(strName)) << "the holding thread lost the mutex";

    holding.Release();
    EXPECT_TRUE(lock.Lock());
    EXPECT_TRUE(lock.IsOwned());
    lock.Unlock();
    EXPECT_FALSE(lock.IsOwned());
    EXPECT_TRUE(capture.Messages().empty());
}

TEST(CHMutexLock, AnAbandonedMutexIsAcquiredAndOwned)
{
    const std::wstring strName = UniqueName(L"abandoned");
    CHMutexLock lock;
    lock.Init(strName, true);
    lock.SetTimeout(0);

    // The owner takes the mutex with the plain API and ends without releasing it.
    bool bOwnerTookIt = false;
    std::thread([&] {
        HANDLE hMutex = ::CreateMutexW(nullptr, FALSE, CHSystem::MakeKernelObjectName(strName, true).c_str());
        bOwnerTookIt = hMutex && ::WaitForSingleObject(hMutex, 0) == WAIT_OBJECT_0;
        ::CloseHandle(hMutex);
    }).join();
    ASSERT_TRUE(bOwnerTookIt);

    EXPECT_TRUE(lock.Lock());
    EXPECT_TRUE(lock.IsOwned());
    EXPECT_FALSE(OtherThreadCanLock(strName));
}

TEST(CHMutexLock, UnlockFromAThreadThatDoesNotOwnTheMutexIsLoggedAsWarning)
{
    CHMutexLock lock;
    ASSERT_TRUE(lock.Lock());  // an unnamed mutex, created on first use

    CLogCapture capture;
    std::thread([&] { EXPECT_NO_THROW(lock.Unlock()); }).join();

    EXPECT_FALSE(lock.IsOwned());
    ASSERT_EQ(capture.Levels(), (std::vector<int>{HLOG_WARNING}));
    const std::wstring strMessage = capture.Messages().front();
    EXPECT_NE(strMessage.find(GetErrorMessageText(ERROR_NOT_OWNER)), std::wstring::npos) << strMessage;
    EXPECT_NE(strMessage.find(std::to_wstring(static_cast<int>(HResultFromWin32(ERROR_NOT_OWNER)))), std::wstring::npos)
        << strMessage;
    EXPECT_NE(strMessage.find(L"CHMutexLock::Unlock"), std::wstring::npos) << strMessage;

    // This thread still owns the mutex and can release it.
    lock.Unlock();
    EXPECT_EQ(capture.Messages().size(), 1u);
}

TEST(CHMutexLock, ClearInitAndDestructorReleaseAnOwnedMutex)
{
    const std::wstring strName = UniqueName(L"clear");
    {
        CHMutexLock lock;
        lock.Init(strName, false);
        ASSERT_TRUE(lock.Lock());
        EXPECT_FALSE(OtherThreadCanLock(strName, false));
    }
    EXPECT_TRUE(OtherThreadCanLock(strName, false));

    CHMutexLock lock;
    lock.Init(strName, true);
    ASSERT_TRUE(lock.Lock());
    lock.Init(strName + L"_next", true);
    EXPECT_FALSE(lock.IsOwned());
    EXPECT_TRUE(OtherThreadCanLock(strName));

    ASSERT_TRUE(lock.Lock());
    lock.Clear();
    EXPECT_FALSE(lock.IsOwned());
    EXPECT_TRUE(OtherThreadCanLock(strName + L"_next"));
}

TEST(CHMutexLock, InitFailsWithTheWin32ErrorWhenTheNameBelongsToAnotherKind)
{
    const std::wstring strName = UniqueName(L"taken");
    CHKernelHandle hEvent = NewEvent(CHSystem::MakeKernelObjectName(strName, true));
    ASSERT_TRUE(hEvent);

    CHMutexLock lock;
    CHException e = CatchThrown([&] { lock.Init(strName, true); });
    ASSERT_FALSE(ErrorCodesOf(e).empty());
    EXPECT_EQ(ErrorCodesOf(e).front(), static_cast<int>(HResultFromWin32(ERROR_INVALID_HANDLE)));
    EXPECT_NE(e.GetDescription(0).find(CHSystem::MakeKernelObjectName(strName, true)), std::wstring::npos);
}

TEST(CHMutexLock, LocksOfTheSamePathExcludeEachOtherAcrossProcesses)
{
    const std::wstring strPath = L"C:\\Logs\\" + UniqueName(L"shared") + L".log";
    const std::wstring strHeld = UniqueName(L"held"), strRelease = UniqueName(L"release");
    CHKernelHandle hHeld = NewEvent(strHeld), hRelease = NewEvent(strRelease);
    ASSERT_TRUE(hHeld && hRelease);

    CHKernelHandle hProcess =
        StartHelperProgram(L"HoldMutex.exe", L"\"" + strPath + L"\" " + strHeld + L" " + strRelease);
    ASSERT_TRUE(hProcess);
    // Whatever happens below, the helper must not outlive the test.
    struct CReleaseHelper
    {
        const CHKernelHandle& hRelease;
        const CHKernelHandle& hProcess;
        ~CReleaseHelper()
        {
            ::SetEvent(hRelease.Get());
            if (::WaitForSingleObject(hProcess.Get(), g_dwHandshakeMs) != WAIT_OBJECT_0)
                ::TerminateProcess(hProcess.Get(), 99);
        }
    } releaseHelper{hRelease, hProcess};

    HANDLE waits[] = {hHeld.Get(), hProcess.Get()};
    ASSERT_EQ(::WaitForMultipleObjects(2, waits, FALSE, g_dwHandshakeMs), WAIT_OBJECT_0)
        << "the helper ended or did not take the lock";

    CHMutexLock lock;
    lock.Init(strPath, true);
    lock.SetTimeout(g_dwGraceMs);
    EXPECT_FALSE(lock.Lock());
    EXPECT_FALSE(lock.IsOwned());

    ::SetEvent(hRelease.Get());
    ASSERT_EQ(::WaitForSingleObject(hProcess.Get(), g_dwHandshakeMs), WAIT_OBJECT_0);
    DWORD dwExitCode = 99;
    ::GetExitCodeProcess(hProcess.Get(), &dwExitCode);
    EXPECT_EQ(dwExitCode, 0u);

    lock.SetTimeout(0);
    EXPECT_TRUE(lock.Lock());
    EXPECT_TRUE(lock.IsOwned());
}
