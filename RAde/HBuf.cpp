#include "RAde/HBuf.h"

#include <cstring>

#include "RAde/HException.h"

void CHBuf::Copy(const void* pData, ULONGLONG nCount)
{
    HTRY {
        Clear();
        Alloc(nCount);
        if (nCount == 0)
            return;
        CHBufLock lock(*this);
        std::memcpy(GetBuf(), pData, static_cast<size_t>(nCount));
        lock.Unlock();
    } HCATCH
}

CHBufLock::~CHBufLock()
{
    HTRY {
        Unlock();
    } HCATCH_LOG
}

void CHBufLock::Unlock()
{
    HTRY {
        if (m_bLocked) {
            m_bLocked = false;
            m_buffer.Unlock();
        }
    } HCATCH
}
