#include "RAde/HMutexLock.h"

#include "RAde/HException.h"
#include "RAde/HLogging.h"
#include "RAde/HSystem.h"

CHMutexLock::~CHMutexLock()
{
    HTRY {
        Clear();
    } HCATCH_LOG
}

void CHMutexLock::Init(const std::wstring& strName, bool bGlobal)
{
    HTRY {
        Clear();

        HANDLE hMutex = nullptr;
        std::wstring strObjectName;
        if (strName.empty()) {
            hMutex = ::CreateMutexW(nullptr, FALSE, nullptr);
        } else {
            SECURITY_ATTRIBUTES attributes;
            SECURITY_DESCRIPTOR descriptor;
            CHSystem::InitOpenSecurityAttributes(&attributes, &descriptor);
            strObjectName = CHSystem::MakeKernelObjectName(strName, bGlobal);
            // Opens the mutex instead when it exists already (ERROR_ALREADY_EXISTS).
            hMutex = ::CreateMutexW(&attributes, FALSE, strObjectName.c_str());
        }
        if (!hMutex || hMutex == INVALID_HANDLE_VALUE) {
            CHException e = CHException::FromLastError(HSITE);
            if (!strObjectName.empty())
                e.AddValue(L"Mutex", strObjectName);
            throw e;
        }
        m_hMutex.Reset(hMutex);
    } HCATCH
}

bool CHMutexLock::Lock()
{
    HTRY {
        if (!m_hMutex)
            Init(L"", true);

        switch (::WaitForSingleObject(m_hMutex.Get(), m_dwTimeout)) {
        case WAIT_OBJECT_0:
        case WAIT_ABANDONED:
            // An abandoned mutex is ours now; whatever it protected may be
            // half-written, which the callers (log appends) can live with.
            m_bOwned = true;
            return true;
        default:
            return false;
        }
    } HCATCH
}

void CHMutexLock::Unlock()
{
    HTRY {
        if (!m_hMutex)
            return;
        const BOOL bReleased = ::ReleaseMutex(m_hMutex.Get());
        const DWORD dwError = ::GetLastError();
        m_bOwned = false;
        if (!bReleased) {
            // Unlock runs from destructors and scope ends: a release from the
            // wrong thread is reported, not raised.
            CHException e = CHException::FromWin32Error(dwError, HSITE);
            CHLogging::LogWarning(L"%s\n", e.GetDescription(CHException::DescribeEverything).c_str());
        }
    } HCATCH
}

void CHMutexLock::Clear()
{
    HTRY {
        if (m_bOwned)
            Unlock();
        m_hMutex.Reset();
    } HCATCH
}
