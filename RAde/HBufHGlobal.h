// A byte buffer on movable global memory, which can be handed over as a COM
// stream (DetachStream). The bytes are addressable only while locked.
#pragma once

#include <objidl.h>

#include "RAde/HBuf.h"

class CHBufHGlobal : public CHBuf
{
public:
    CHBufHGlobal() = default;
    ~CHBufHGlobal() override;

    // Throws "Object not initialized." (1013) before Alloc.
    bool Lock() override;
    // Throws "GlobalMem locking failed, Lock/Unlock mismatch." (2011) when the
    // memory stays locked (more Lock than Unlock calls).
    void Unlock() override;
    // Size 0 holds no memory (GetSize 0, Lock throws 1013).
    void Alloc(ULONGLONG nSize) override;
    // Not supported: always fails.
    void Realloc(ULONGLONG nSize) override;
    // Throws "Array not locked." (2007) when not locked.
    BYTE* GetBuf() override;
    void Clear() override;
    ULONGLONG GetSize() override;

    // Hands the memory over to a new stream that frees it when released; the
    // buffer is empty afterwards.
    void DetachStream(IStream** ppStream);

    HGLOBAL GetHandle() const { return m_hGlobal; }

private:
    // Undoes every Lock still in force.
    void ReleaseLocks();

    HGLOBAL m_hGlobal = nullptr;
    BYTE* m_pLocked = nullptr;
};
