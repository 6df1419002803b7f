// Byte buffers: the interface shared by the C-heap buffer (CHBufMalloc) and
// the movable global-memory buffer (CHBufHGlobal).
#pragma once

#include <windows.h>

class CHBuf
{
public:
    CHBuf() = default;
    CHBuf(const CHBuf&) = delete;
    CHBuf& operator=(const CHBuf&) = delete;

    // Makes the bytes addressable; returns whether this call locked, in which
    // case the caller must Unlock.
    virtual bool Lock() { return true; }
    virtual void Unlock() {}
    virtual ~CHBuf() = default;
    // Discards the content and allocates nSize bytes.
    virtual void Alloc(ULONGLONG nSize) = 0;
    // Changes the size, keeping the content.
    virtual void Realloc(ULONGLONG nSize) = 0;
    virtual BYTE* GetBuf() = 0;
    virtual void Clear() = 0;
    virtual ULONGLONG GetSize() = 0;

    // Replaces the content with a copy of nCount bytes.
    void Copy(const void* pData, ULONGLONG nCount);
};

// Holds a buffer locked for the length of a scope.
class CHBufLock
{
public:
    explicit CHBufLock(CHBuf& buffer) : m_buffer(buffer), m_bLocked(buffer.Lock()) {}
    CHBufLock(const CHBufLock&) = delete;
    CHBufLock& operator=(const CHBufLock&) = delete;
    ~CHBufLock();

    // Ends the lock now, letting an unlock failure throw (the destructor can only log it).
    void Unlock();

private:
    CHBuf& m_buffer;
    bool m_bLocked;
};
