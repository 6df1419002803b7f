// Locks: the CHLock interface and CHLockHolder, which holds a lock for the
// length of a scope. CHCOMLock (a critical section) and CHMutexLock (a kernel
// mutex, optionally named and shared across processes) implement it.
#pragma once

class CHLock
{
public:
    CHLock() = default;
    CHLock(const CHLock&) = delete;
    CHLock& operator=(const CHLock&) = delete;
    virtual ~CHLock() = default;

    // True when the lock was acquired.
    virtual bool Lock() = 0;
    virtual void Unlock() = 0;
};

class CHLockHolder
{
public:
    explicit CHLockHolder(CHLock& lock);
    CHLockHolder(const CHLockHolder&) = delete;
    CHLockHolder& operator=(const CHLockHolder&) = delete;
    ~CHLockHolder();

    bool IsAcquired() const { return m_bAcquired; }

private:
    bool m_bAcquired;
    CHLock& m_lock;
};
