// The device copy: objects of a phone read through the portable-device
// interfaces and written into local files, one stream or a whole folder tree.
//
// Files are streamed from the device piece by piece, never held whole, and
// their sizes are 64-bit. The size a device reports is only a hint: what the
// stream delivers is what is written, and a difference is logged. A read that
// fails (the phone was pulled out) is no end of the file: it ends the copy
// with the device's error, the file it was written into goes, and the
// staging does not start the installer from a tree that lacks part of it.
// Names the device reports are checked before they become part of a local
// path.
//
// Every interface, id string and stream is owned by a CHComPtr or a
// CHCoTaskMemString and released as soon as its object is done with.
#include "InstallerShim/DeviceCopy.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "InstallerShim/DeviceCommon.h"
#include "InstallerShim/PortableDeviceApi.h"
#include "RAde/HException.h"
#include "RAde/HFileUtilities.h"
#include "RAde/HLogging.h"
#include "RAde/HUniqueHandle.h"

using namespace DeviceCommon;

namespace {

// A folder's children are fetched this many at a time.
constexpr ULONG kChildBatch = 10;
// Folders nested deeper are not copied: a device whose folders contained
// themselves would otherwise never be done.
constexpr int kMaxFolderDepth = 64;

constexpr DWORD kDefaultPieceSize = 1 << 20;
constexpr DWORD kMinPieceSize = 64 << 10;
constexpr DWORD kMaxPieceSize = 8 << 20;
// A name component longer than this is no file name on any Windows volume.
constexpr size_t kMaxNameLength = 255;

// ---------------------------------------------------------------------------
// Object ids and properties

// Fetches up to nCount more child ids into ids. False when the enumeration
// has ended (a fetch that delivers nothing) or failed; whatever a fetch
// delivered is added either way.
bool FetchChildIds(IEnumPortableDeviceObjectIDs* pEnumerator, ULONG nCount, std::vector<CHCoTaskMemString>& ids)
{
    std::vector<LPWSTR> batch(nCount, nullptr);
    ids.reserve(ids.size() + nCount);
    ULONG nFetched = 0;
    const HRESULT hr = pEnumerator->Next(nCount, batch.data(), &nFetched);
    // Whatever was handed out is ours to free, whatever the answer.
    for (LPWSTR pszId : batch)
        if (pszId)
            ids.emplace_back(pszId);
    // S_FALSE only says that fewer ids came than were asked for. A device
    // may deliver a short batch while more are left, so only an empty one
    // ends the enumeration.
    return SUCCEEDED(hr) && nFetched > 0;
}

}  // namespace

std::vector<CHCoTaskMemString> ChildObjectIds(IPortableDeviceContent* pContent, LPCWSTR pszParentId, ULONG nMax)
{
    std::vector<CHCoTaskMemString> ids;
    CHComPtr<IEnumPortableDeviceObjectIDs> enumerator;
    if (FAILED(pContent->EnumObjects(0, pszParentId, nullptr, enumerator.OutParam())) || !enumerator)
        return ids;
    while (ids.size() < nMax && FetchChildIds(enumerator.Get(), static_cast<ULONG>(nMax - ids.size()), ids)) {
    }
    return ids;
}

CHComPtr<IPortableDeviceKeyCollection> NameAndSizeKeys()
{
    CHComPtr<IPortableDeviceKeyCollection> keys;
    if (FAILED(CreateInProcess(Wpd::CLSID_KeyCollection, Wpd::IID_KeyCollection, keys)) || !keys ||
        FAILED(keys->Add(Wpd::ObjectOriginalFileName)) || FAILED(keys->Add(Wpd::ObjectSize)))
        return {};
    return keys;
}

std::optional<CObjectInfo> ReadObjectInfo(IPortableDeviceProperties* pProperties, IPortableDeviceKeyCollection* pKeys,
                                          LPCWSTR pszObjectId)
{
    CHComPtr<IPortableDeviceValues> values;
    if (!pKeys || FAILED(pProperties->GetValues(pszObjectId, pKeys, values.OutParam())) || !values)
        return std::nullopt;
    CObjectInfo info;
    LPWSTR pszName = nullptr;
    const HRESULT hrName = values->GetStringValue(Wpd::ObjectOriginalFileName, &pszName);
    const CHCoTaskMemString name(pszName);
    if (SUCCEEDED(hrName) && name)
        info.strName = name.Get();
    // Sizes are 64-bit; a device that reports a 32-bit value is understood too.
    ULONGLONG nSize = 0;
    ULONG nSize32 = 0;
    if (SUCCEEDED(values->GetUnsignedLargeIntegerValue(Wpd::ObjectSize, &nSize)))
        info.nSize = nSize;
    else if (SUCCEEDED(values->GetUnsignedIntegerValue(Wpd::ObjectSize, &nSize32)))
        info.nSize = nSize32;
    return info;
}

namespace {

bool IsReservedDeviceName(const std::wstring& strName)
{
    // The name before its first dot, without trailing blanks: "nul .txt" is NUL too.
    std::wstring strBase = strName.substr(0, strName.find(L'.'));
    while (!strBase.empty() && strBase.back() == L' ')
        strBase.pop_back();
    for (const wchar_t* pszReserved : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"})
        if (EqualsNoCase(strBase, pszReserved))
            return true;
    if (strBase.size() != 4)
        return false;
    const std::wstring strStem = strBase.substr(0, 3);
    const wchar_t chDigit = strBase[3];
    const bool bDigit =
        (chDigit >= L'0' && chDigit <= L'9') || chDigit == L'\u00B9' || chDigit == L'\u00B2' || chDigit == L'\u00B3';
    return bDigit && (EqualsNoCase(strStem, L"COM") || EqualsNoCase(strStem, L"LPT"));
}

// ---------------------------------------------------------------------------
// Streams into files

void WriteWhole(HANDLE hFile, const BYTE* pData, DWORD cbData)
{
    while (cbData > 0) {
        DWORD cbWritten = 0;
        HCHECK_WIN32(::WriteFile(hFile, pData, cbData, &cbWritten, nullptr));
        if (cbWritten == 0)
            throw CHException::FromWin32Error(ERROR_WRITE_FAULT, HSITE);
        pData += cbWritten;
        cbData -= cbWritten;
    }
}

// Reads until a read delivers nothing; a read that delivers less than asked
// is no end. A read that fails, or claims more bytes than fit its piece,
// throws. Only one piece is ever held. Returns the bytes written.
ULONGLONG StreamIntoFile(IStream* pStream, HANDLE hFile, DWORD cbPiece)
{
    ULONGLONG nBytes = 0;
    const auto piece = std::make_unique_for_overwrite<BYTE[]>(cbPiece);
    for (;;) {
        ULONG cbRead = 0;
        const HRESULT hr = pStream->Read(piece.get(), cbPiece, &cbRead);
        if (FAILED(hr) || cbRead > cbPiece)
            throw CHException::FromHResult(FAILED(hr) ? hr : E_UNEXPECTED, HSITE)
                .AddValue(L"Bytes received", Number(nBytes));
        if (cbRead == 0)
            return nBytes;
        WriteWhole(hFile, piece.get(), cbRead);
        nBytes += cbRead;
    }
}

void WarnAboutDeliveredLength(const std::wstring& strFile, ULONGLONG nReportedSize, ULONGLONG nBytes)
{
    if (nReportedSize != 0 && nBytes < nReportedSize)
        CHLogging::LogWarning(
            L"The device's stream for %s ended after %s of the %s bytes it reported; the file holds only "
            L"the bytes received.\n",
            strFile.c_str(), Number(nBytes).c_str(), Number(nReportedSize).c_str());
    else if (nReportedSize != 0 && nBytes > nReportedSize)
        CHLogging::LogWarning(
            L"The device's stream for %s delivered %s bytes, more than the %s it reported; all of them "
            L"were written.\n",
            strFile.c_str(), Number(nBytes).c_str(), Number(nReportedSize).c_str());
}

// A file being copied into, deleted when the guard goes unless it was kept.
// The deletion goes through the copy's own handle, which shares nothing: it
// removes the file this copy created (or overwrote), never one that another
// process put under the same name, and takes effect when the handle closes.
// The guard must therefore go before the handle does.
class CUnfinishedFile
{
public:
    CUnfinishedFile(HANDLE hFile, const std::wstring& strFile) : m_hFile(hFile), m_strFile(strFile) {}
    ~CUnfinishedFile()
    {
        HTRY {
            if (m_bKept)
                return;
            FILE_DISPOSITION_INFO disposition = {TRUE};
            if (!::SetFileInformationByHandle(m_hFile, FileDispositionInfo, &disposition, sizeof(disposition))) {
                const DWORD dwError = ::GetLastError();
                CHLogging::LogWarning(L"The unfinished copy %s could not be removed (error %d).\n", m_strFile.c_str(),
                                      static_cast<int>(dwError));
            }
        } HCATCH_LOG
    }
    CUnfinishedFile(const CUnfinishedFile&) = delete;
    CUnfinishedFile& operator=(const CUnfinishedFile&) = delete;

    void Keep() { m_bKept = true; }

private:
    HANDLE m_hFile;
    const std::wstring m_strFile;
    bool m_bKept = false;
};

// ---------------------------------------------------------------------------
// Folders

// Copies device folders with the device's content and properties, reading
// every object's name and size with one key collection.
class CDeviceFolderCopier
{
public:
    CDeviceFolderCopier(IPortableDeviceContent* pContent, IPortableDeviceProperties* pProperties)
        : m_pContent(pContent), m_pProperties(pProperties), m_keys(NameAndSizeKeys())
    {
    }

    void CopyFolder(LPCWSTR pszObjectId, std::wstring strDestination, int nDepth)
    {
        HTRY {
            CHFileUtilities::EnsurePathSeparatorAtEnd(strDestination, L"\\");
            CHFileUtilities::BuildDirectory(strDestination);
            CHComPtr<IEnumPortableDeviceObjectIDs> enumerator;
            const HRESULT hr = m_pContent->EnumObjects(0, pszObjectId, nullptr, enumerator.OutParam());
            if (hr != S_OK || !enumerator) {
                CHLogging::LogWarning(L"The device folder %s could not be listed (%s); %s stays empty.\n", pszObjectId,
                                      HResultText(hr).c_str(), strDestination.c_str());
                return;
            }
            for (bool bMore = true; bMore;) {
                std::vector<CHCoTaskMemString> batch;
                bMore = FetchChildIds(enumerator.Get(), kChildBatch, batch);
                for (const CHCoTaskMemString& child : batch)
                    CopyChild(child.Get(), strDestination, nDepth);
            }
        } HCATCH
    }

private:
    void CopyChild(LPCWSTR pszChildId, const std::wstring& strDestination, int nDepth)
    {
        HTRY {
            const std::optional<CObjectInfo> info = ReadObjectInfo(m_pProperties, m_keys.Get(), pszChildId);
            if (!info) {
                CHLogging::LogWarning(L"The device object %s was skipped: its name and size could not be read.\n",
                                      pszChildId);
                return;
            }
            if (!IsSafeDeviceFileName(info->strName)) {
                CHLogging::LogWarning(
                    L"The device object %s was skipped: its name \"%s\" cannot be a local file name.\n", pszChildId,
                    info->strName.c_str());
                return;
            }
            const std::wstring strPath = CHFileUtilities::ConcatPathname(strDestination, info->strName);
            // Only the dot tells a file from a folder: a folder named "data.old" is taken for a file.
            if (!CHFileUtilities::GetFileExtension(info->strName).empty())
                CopyFile(pszChildId, *info, strPath);
            else if (nDepth + 1 < kMaxFolderDepth)
                CopyFolder(pszChildId, strPath, nDepth + 1);
            else
                CHLogging::LogWarning(L"The device folder %s was skipped: it lies deeper than %d folders.\n",
                                      strPath.c_str(), kMaxFolderDepth);
        } HCATCH
    }

    void CopyFile(LPCWSTR pszObjectId, const CObjectInfo& info, const std::wstring& strFile)
    {
        HTRY {
            HRESULT hr = S_OK;
            if (!m_resources)
                hr = m_pContent->Transfer(m_resources.OutParam());
            CHComPtr<IStream> stream;
            DWORD dwOptimalTransferSize = 0;
            if (SUCCEEDED(hr) && m_resources)
                hr = m_resources->GetStream(pszObjectId, Wpd::ResourceDefault, STGM_READ, &dwOptimalTransferSize,
                                            stream.OutParam());
            if (FAILED(hr) || !stream) {
                CHLogging::LogWarning(
                    L"The device object %s was skipped: the content of %s could not be opened (%s).\n", pszObjectId,
                    strFile.c_str(), HResultText(hr).c_str());
                return;
            }
            CopyDeviceStreamToFile(stream.Get(), strFile, CREATE_ALWAYS, dwOptimalTransferSize, info.nSize);
        } HCATCH
    }

    IPortableDeviceContent* m_pContent;
    IPortableDeviceProperties* m_pProperties;
    CHComPtr<IPortableDeviceKeyCollection> m_keys;
    CHComPtr<IPortableDeviceResources> m_resources;
};

}  // namespace

// ---------------------------------------------------------------------------

bool IsSafeDeviceFileName(const std::wstring& strName)
{
    HTRY {
        if (strName.empty() || strName.size() > kMaxNameLength || strName.find(L"..") != std::wstring::npos)
            return false;
        for (wchar_t ch : strName)
            if (ch < L' ' || std::wstring_view(L"\\/:*?\"<>|").find(ch) != std::wstring_view::npos)
                return false;
        if (strName.back() == L'.' || strName.back() == L' ')
            return false;
        return !IsReservedDeviceName(strName);
    } HCATCH
}

DWORD DeviceTransferPieceSize(DWORD dwOptimalTransferSize)
{
    if (dwOptimalTransferSize == 0)
        return kDefaultPieceSize;
    return std::clamp(dwOptimalTransferSize, kMinPieceSize, kMaxPieceSize);
}

bool CopyDeviceStreamToFile(IStream* pStream, const std::wstring& strFile, DWORD dwCreationDisposition,
                            DWORD dwOptimalTransferSize, ULONGLONG nReportedSize)
{
    HTRY {
        HTRY {
            if (!pStream)
                throw CHException(HError::InvalidParameter, HSITE);
            const std::wstring strLongPath = CHFileUtilities::GetUnicodePath(strFile);
            CHFileHandle file(::CreateFileW(strLongPath.c_str(), GENERIC_WRITE | DELETE, 0, nullptr,
                                            dwCreationDisposition, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!file) {
                const DWORD dwError = ::GetLastError();
                if (dwCreationDisposition == CREATE_NEW && dwError == ERROR_FILE_EXISTS)
                    return false;
                throw CHException::FromWin32Error(dwError, HSITE);
            }
            CUnfinishedFile unfinished(file.Get(), strFile);
            const ULONGLONG nBytes =
                StreamIntoFile(pStream, file.Get(), DeviceTransferPieceSize(dwOptimalTransferSize));
            unfinished.Keep();
            WarnAboutDeliveredLength(strFile, nReportedSize, nBytes);
            return true;
        } HCATCH
    } HCATCH_ATTACH([&](CHException& e) { e.AddValue(L"File", strFile); })
}

void CopyDeviceFolder(LPCWSTR pszObjectId, IPortableDeviceContent* pContent, IPortableDeviceProperties* pProperties,
                      std::wstring strDestination)
{
    HTRY {
        HTRY {
            if (!pszObjectId || !pContent || !pProperties)
                return;
            CDeviceFolderCopier(pContent, pProperties).CopyFolder(pszObjectId, strDestination, 0);
        } HCATCH
    } HCATCH_ATTACH([&](CHException& e) { e.AddValue(L"Directory", strDestination); })
}
