#include "RAde/HBufHGlobal.h"

#include "RAde/HException.h"

CHBufHGlobal::~CHBufHGlobal()
{
    HTRY {
        Clear();
    } HCATCH_LOG
}

bool CHBufHGlobal::Lock()
{
    HTRY {
        if (!m_hGlobal)
            throw CHException(HError::NotInitialized, HSITE);
        auto pLocked = static_cast<BYTE*>(::GlobalLock(m_hGlobal));
        HCHECK_WIN32(pLocked);
        m_pLocked = pLocked;
        return true;
    } HCATCH
}

void CHBufHGlobal::Unlock()
{
    HTRY {
        ::SetLastError(NO_ERROR);
        BOOL bStillLocked = ::GlobalUnlock(m_hGlobal);
        DWORD dwError = ::GetLastError();
        if (dwError != NO_ERROR)
            throw CHException::FromWin32Error(dwError, HSITE);
        // Still locked: the pointer stays valid, and Clear will unlock again.
        if (bStillLocked)
            throw CHException(HError::GlobalMemLockMismatch, HSITE);
        m_pLocked = nullptr;
    } HCATCH
}

void CHBufHGlobal::ReleaseLocks()
{
    if (!m_pLocked)
        return;
    while (::GlobalUnlock(m_hGlobal)) {
    }
    m_pLocked = nullptr;
}

void CHBufHGlobal::Alloc(ULONGLONG nSize)
{
    HTRY {
        Clear();
        // Movable memory of size 0 is a discarded block: it has no size and
        // cannot be locked. Like the heap buffer, size 0 holds no memory.
        if (nSize == 0)
            return;
        m_hGlobal = ::GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(nSize));
        HCHECK_WIN32(m_hGlobal);
    } HCATCH
}

void CHBufHGlobal::Realloc(ULONGLONG)
{
    HTRY {
        throw CHFrameworkError(E_NOTIMPL);
    } HCATCH
}

BYTE* CHBufHGlobal::GetBuf()
{
    HTRY {
        if (!m_pLocked)
            throw CHException(HError::ArrayNotLocked, HSITE);
        return m_pLocked;
    } HCATCH
}

void CHBufHGlobal::Clear()
{
    HTRY {
        ReleaseLocks();
        if (m_hGlobal) {
            ::GlobalFree(m_hGlobal);
            m_hGlobal = nullptr;
        }
    } HCATCH
}

ULONGLONG CHBufHGlobal::GetSize()
{
    HTRY {
        if (!m_hGlobal)
            return 0;
        const SIZE_T nSize = ::GlobalSize(m_hGlobal);
        HCHECK_WIN32(nSize != 0);
        return nSize;
    } HCATCH
}

void CHBufHGlobal::DetachStream(IStream** ppStream)
{
    HTRY {
        if (!ppStream)
            throw CHException(HError::InvalidParameter, HSITE);
        *ppStream = nullptr;
        ReleaseLocks();
        HRESULT hr = ::CreateStreamOnHGlobal(m_hGlobal, TRUE, ppStream);
        if (FAILED(hr))
            throw CHException::FromHResult(hr, HSITE);
        m_hGlobal = nullptr;
    } HCATCH
}
