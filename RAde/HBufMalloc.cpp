#include "RAde/HBufMalloc.h"

#include <cstdlib>

#include "RAde/HException.h"
#include "RAde/HStringHelper.h"

CHBufMalloc::CHBufMalloc(ULONGLONG nSize)
{
    HTRY {
        Alloc(nSize);
    } HCATCH_LOG
}

CHBufMalloc::~CHBufMalloc()
{
    HTRY {
        Clear();
    } HCATCH_LOG
}

void CHBufMalloc::CheckSize(ULONGLONG nSize)
{
    HTRY {
        if (nSize > MaxSize)
            throw CHException(HError::InvalidParameter, HSITE)
                .AddValue(L"Requested size", CHStringHelper::Format(L"%I64u", nSize));
    } HCATCH
}

void CHBufMalloc::Alloc(ULONGLONG nSize)
{
    HTRY {
        Clear();
        CheckSize(nSize);
        if (nSize == 0)
            return;
        m_pData = static_cast<BYTE*>(std::malloc(static_cast<size_t>(nSize)));
        if (!m_pData)
            throw CHException::FromWin32Error(ERROR_OUTOFMEMORY, HSITE);
        m_nSize = nSize;
    } HCATCH
}

void CHBufMalloc::Realloc(ULONGLONG nSize)
{
    HTRY {
        if (nSize == 0) {
            Clear();
            return;
        }
        CheckSize(nSize);
        auto pResized = static_cast<BYTE*>(std::realloc(m_pData, static_cast<size_t>(nSize)));
        if (!pResized)
            throw CHException::FromWin32Error(ERROR_OUTOFMEMORY, HSITE);
        m_pData = pResized;
        m_nSize = nSize;
    } HCATCH
}

void CHBufMalloc::Clear()
{
    std::free(m_pData);
    m_pData = nullptr;
    m_nSize = 0;
}
