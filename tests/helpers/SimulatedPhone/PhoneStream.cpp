#include "PhoneStream.h"

#include <algorithm>

#include "SimulatedPhoneConfig.h"

namespace SimulatedPhone {

CPhoneStream::CPhoneStream(CHFileHandle file, ULONGLONG nLength, const CPhoneOptions& options, std::wstring strName)
    : m_file(std::move(file)), m_nLength(nLength), m_options(options), m_strName(std::move(strName))
{
}

HRESULT CPhoneStream::Open(const CPhoneObject& object, const CPhoneOptions& options, IStream** ppStream)
{
    CHFileHandle file;
    if (object.kind == CPhoneObject::EKind::File) {
        file.Reset(::CreateFileW(object.strDiskPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file)
            return HRESULT_FROM_WIN32(::GetLastError());
    }
    // The length is taken once: a stream delivers what the object held when it was opened.
    ULONGLONG nLength = 0;
    const HRESULT hr = CPhoneStorage::ContentLength(object, nLength);
    if (FAILED(hr))
        return hr;
    return HandOut(MakeObject<CPhoneStream>(std::move(file), nLength, options, object.strName), __uuidof(IStream),
                   reinterpret_cast<void**>(ppStream));
}

STDMETHODIMP CPhoneStream::Read(void* pv, ULONG cb, ULONG* pcbRead)
{
    if (pcbRead)
        *pcbRead = 0;
    if (!pv)
        return STG_E_INVALIDPOINTER;
    ::Sleep(m_options.dwReadDelayMs);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_nPosition >= m_options.nFailReadAt)
        return HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED);  // the phone was pulled out
    ULONG cbWanted = cb;
    if (m_options.dwReadLimit != 0)
        cbWanted = std::min<ULONG>(cbWanted, m_options.dwReadLimit);
    if (m_nPosition >= m_nLength)
        cbWanted = 0;
    else
        cbWanted = static_cast<ULONG>(std::min<ULONGLONG>(cbWanted, m_nLength - m_nPosition));

    DWORD cbDelivered = cbWanted;
    if (m_file) {
        OVERLAPPED at = {};
        at.Offset = static_cast<DWORD>(m_nPosition);
        at.OffsetHigh = static_cast<DWORD>(m_nPosition >> 32);
        if (cbWanted > 0 && !::ReadFile(m_file.Get(), pv, cbWanted, &cbDelivered, &at))
            return HRESULT_FROM_WIN32(::GetLastError());
    } else {
        FillGenerated(m_nPosition, static_cast<BYTE*>(pv), cbWanted);
    }
    m_nPosition += cbDelivered;
    if (pcbRead)
        *pcbRead = cbDelivered;
    return S_OK;
}

STDMETHODIMP CPhoneStream::Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    LONGLONG nBase = 0;
    switch (dwOrigin) {
    case STREAM_SEEK_SET:
        nBase = 0;
        break;
    case STREAM_SEEK_CUR:
        nBase = static_cast<LONGLONG>(m_nPosition);
        break;
    case STREAM_SEEK_END:
        nBase = static_cast<LONGLONG>(m_nLength);
        break;
    default:
        return STG_E_INVALIDFUNCTION;
    }
    const LONGLONG nTarget = nBase + dlibMove.QuadPart;
    if (nTarget < 0)
        return STG_E_INVALIDFUNCTION;
    m_nPosition = static_cast<ULONGLONG>(nTarget);
    if (plibNewPosition)
        plibNewPosition->QuadPart = m_nPosition;
    return S_OK;
}

STDMETHODIMP CPhoneStream::Stat(STATSTG* pstatstg, DWORD grfStatFlag)
{
    if (!pstatstg)
        return STG_E_INVALIDPOINTER;
    *pstatstg = {};
    pstatstg->type = STGTY_STREAM;
    pstatstg->cbSize.QuadPart = m_nLength;
    pstatstg->grfMode = STGM_READ;
    if (grfStatFlag & STATFLAG_NONAME)
        return S_OK;
    return Guarded([&] { return CopyToTaskMemory(m_strName, &pstatstg->pwcsName); });
}

// The phone's content is read-only, and nobody needs more than reading.
STDMETHODIMP CPhoneStream::Write(const void*, ULONG, ULONG* pcbWritten)
{
    if (pcbWritten)
        *pcbWritten = 0;
    return STG_E_ACCESSDENIED;
}
STDMETHODIMP CPhoneStream::SetSize(ULARGE_INTEGER)
{
    return STG_E_ACCESSDENIED;
}
STDMETHODIMP CPhoneStream::CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*)
{
    return E_NOTIMPL;
}
STDMETHODIMP CPhoneStream::Commit(DWORD)
{
    return S_OK;
}
STDMETHODIMP CPhoneStream::Revert()
{
    return S_OK;
}
STDMETHODIMP CPhoneStream::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD)
{
    return STG_E_INVALIDFUNCTION;
}
STDMETHODIMP CPhoneStream::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD)
{
    return STG_E_INVALIDFUNCTION;
}
STDMETHODIMP CPhoneStream::Clone(IStream** ppstm)
{
    if (ppstm)
        *ppstm = nullptr;
    return E_NOTIMPL;
}

}  // namespace SimulatedPhone
