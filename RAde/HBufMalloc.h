// A byte buffer on the C heap. Empty (null, size 0) until allocated.
#pragma once

#include "RAde/HBuf.h"

class CHBufMalloc : public CHBuf
{
public:
    // Sizes of 4 GiB and more are refused: the buffers carry file contents and
    // images, never that much.
    static constexpr ULONGLONG MaxSize = 0xFFFFFFFFull;

    CHBufMalloc() = default;
    // Allocates nSize bytes; a failure is logged and leaves the buffer empty.
    explicit CHBufMalloc(ULONGLONG nSize);
    ~CHBufMalloc() override;

    void Alloc(ULONGLONG nSize) override;
    // Keeps the old block when the heap cannot give the new size; 0 frees it.
    void Realloc(ULONGLONG nSize) override;
    BYTE* GetBuf() override { return m_pData; }
    void Clear() override;
    ULONGLONG GetSize() override { return m_nSize; }

private:
    static void CheckSize(ULONGLONG nSize);

    BYTE* m_pData = nullptr;
    ULONGLONG m_nSize = 0;
};
