#include "RAde/HLock.h"

#include "RAde/HException.h"

CHLockHolder::CHLockHolder(CHLock& lock) : m_bAcquired(false), m_lock(lock)
{
    HTRY {
        m_bAcquired = m_lock.Lock();
    } HCATCH_LOG
}

CHLockHolder::~CHLockHolder()
{
    HTRY {
        // A lock that was not acquired (a mutex wait that timed out) belongs to
        // someone else: releasing it would be a fault.
        if (m_bAcquired)
            m_lock.Unlock();
    } HCATCH_LOG
}
