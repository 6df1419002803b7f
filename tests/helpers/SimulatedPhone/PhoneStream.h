// The read-only stream of one object's content: a file's bytes read at the
// stream's position, or a generated file's bytes computed for it, so no
// content is ever held as a whole. Each Read delivers at most the read limit,
// after the read delay, and fails from the failing position on.
#pragma once

#include <windows.h>

#include <objidl.h>

#include <mutex>
#include <string>

#include "PhoneComObject.h"
#include "PhoneStorage.h"
#include "RAde/HUniqueHandle.h"

namespace SimulatedPhone {

class CPhoneStream : public CPhoneComObject<IStream>
{
public:
    // file: the open file to read (none: generated content); nLength: bytes the
    // stream delivers; options: the read limit, delay and failing position.
    CPhoneStream(CHFileHandle file, ULONGLONG nLength, const CPhoneOptions& options, std::wstring strName);

    // Opens the content of a file object.
    static HRESULT Open(const CPhoneObject& object, const CPhoneOptions& options, IStream** ppStream);

    STDMETHODIMP Read(void* pv, ULONG cb, ULONG* pcbRead) override;
    STDMETHODIMP Write(const void* pv, ULONG cb, ULONG* pcbWritten) override;
    STDMETHODIMP Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition) override;
    STDMETHODIMP SetSize(ULARGE_INTEGER libNewSize) override;
    STDMETHODIMP CopyTo(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead, ULARGE_INTEGER* pcbWritten) override;
    STDMETHODIMP Commit(DWORD grfCommitFlags) override;
    STDMETHODIMP Revert() override;
    STDMETHODIMP LockRegion(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType) override;
    STDMETHODIMP UnlockRegion(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType) override;
    STDMETHODIMP Stat(STATSTG* pstatstg, DWORD grfStatFlag) override;
    STDMETHODIMP Clone(IStream** ppstm) override;

private:
    CHFileHandle m_file;
    const ULONGLONG m_nLength;
    const CPhoneOptions m_options;
    const std::wstring m_strName;
    std::mutex m_mutex;
    ULONGLONG m_nPosition = 0;
};

}  // namespace SimulatedPhone
