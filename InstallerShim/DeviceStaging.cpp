// The device path. The portable-device shell started the launcher from a
// phone's memory; the phone's first storage should hold "autorun.inf" and
// the folder "Halvik_Ulvo_Suite_install_files" among the first 100 objects
// of its root. Every connected device is looked at in turn; from each that
// has both they are copied into %TEMP%, and once the wait dialog has gone
// the installer inside the copied folder is started.
//
// Files are streamed from the device piece by piece, never held whole, and
// their sizes are 64-bit. The size a device reports is only a hint: what the
// stream delivers is what is written, and a difference is logged. A read that
// fails (the phone was pulled out) is no end of the file: it ends the staging,
// the file it was written into goes, and the installer is not started from a
// tree that lacks part of it. Names the device reports are checked before they
// become part of a local path.
//
// Every interface, id string and stream is owned by a ComPtr or a
// CHCoTaskMemString and released as soon as its device or object is done
// with; COM itself is initialised only while the devices are read.
#include "InstallerShim/DeviceStaging.h"

#include <wrl/client.h>

#include <algorithm>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "InstallerShim/HWaitDialogShim.h"
#include "InstallerShim/PortableDeviceApi.h"
#include "RAde/HComApartment.h"
#include "RAde/HException.h"
#include "RAde/HFileUtilities.h"
#include "RAde/HLogging.h"
#include "RAde/HUniqueHandle.h"
#include "RAde/HProcess.h"
#include "RAde/HStringHelper.h"

using Microsoft::WRL::ComPtr;

namespace {

// The folder of %TEMP% into which the portable-device shell copies what it starts from a phone.
constexpr wchar_t kDeviceCacheFolder[] = L"WPDNSE";
constexpr wchar_t kAutorunInf[] = L"autorun.inf";
constexpr wchar_t kInstallFilesFolder[] = L"Halvik_Ulvo_Suite_install_files";
constexpr wchar_t kInstaller[] = L"HalvikInstaller.exe";

// The client information every device is opened with.
constexpr wchar_t kClientName[] = L"HUS";
constexpr DWORD kClientMajorVersion = 1;
constexpr DWORD kClientMinorVersion = 0;
constexpr DWORD kClientRevision = 1;

// Of a device's storages only the first is looked at.
constexpr ULONG kStoragesFetched = 2;
// The objects of the storage's root that are looked at.
constexpr ULONG kRootObjectsLooked = 100;
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

constexpr wchar_t kDialogTitle[] = L"Preparing installation";
constexpr wchar_t kDialogMessage[] = L"Copying installation files...";
// How often the end request is posted while the dialog's thread has no message queue yet.
constexpr DWORD kEndPostRetryMs = 10;

constexpr auto EqualsNoCase = &CHStringHelper::EqualsNoCase;

std::wstring Number(ULONGLONG nValue)
{
    return std::to_wstring(nValue);
}

std::wstring HResultText(HRESULT hr)
{
    return CHStringHelper::Format(L"0x%08X", static_cast<unsigned>(hr));
}

template <class Interface>
HRESULT CreateInProcess(const CLSID& clsid, const IID& iid, ComPtr<Interface>& object)
{
    return ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid,
                              reinterpret_cast<void**>(object.ReleaseAndGetAddressOf()));
}

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

// The ids of an object's first nMax children in the device's order; fewer
// when there are no more, none when they cannot be listed.
std::vector<CHCoTaskMemString> ChildObjectIds(IPortableDeviceContent* pContent, LPCWSTR pszParentId, ULONG nMax)
{
    std::vector<CHCoTaskMemString> ids;
    ComPtr<IEnumPortableDeviceObjectIDs> enumerator;
    if (FAILED(pContent->EnumObjects(0, pszParentId, nullptr, &enumerator)) || !enumerator)
        return ids;
    while (ids.size() < nMax && FetchChildIds(enumerator.Get(), static_cast<ULONG>(nMax - ids.size()), ids)) {
    }
    return ids;
}

// The keys the launcher reads of every object; none when the collection cannot be made.
ComPtr<IPortableDeviceKeyCollection> NameAndSizeKeys()
{
    ComPtr<IPortableDeviceKeyCollection> keys;
    if (FAILED(CreateInProcess(Wpd::CLSID_KeyCollection, Wpd::IID_KeyCollection, keys)) || !keys ||
        FAILED(keys->Add(Wpd::ObjectOriginalFileName)) || FAILED(keys->Add(Wpd::ObjectSize)))
        return nullptr;
    return keys;
}

struct CObjectInfo
{
    std::wstring strName;
    ULONGLONG nSize = 0;  // 0: the device reported none
};

// An object's file name and size; nothing when its values cannot be read.
std::optional<CObjectInfo> ReadObjectInfo(IPortableDeviceProperties* pProperties, IPortableDeviceKeyCollection* pKeys,
                                          LPCWSTR pszObjectId)
{
    ComPtr<IPortableDeviceValues> values;
    if (!pKeys || FAILED(pProperties->GetValues(pszObjectId, pKeys, &values)) || !values)
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
    const bool bDigit = (chDigit >= L'0' && chDigit <= L'9') || chDigit == L'\u00B9' || chDigit == L'\u00B2' ||
                        chDigit == L'\u00B3';
    return bDigit && (EqualsNoCase(strStem, L"COM") || EqualsNoCase(strStem, L"LPT"));
}

// ---------------------------------------------------------------------------
// Streams into files

void WriteWhole(HANDLE hFile, const BYTE* pData, DWORD cbData)
{
    while (cbData > 0) {
        DWORD cbWritten = 0;
        if (!::WriteFile(hFile, pData, cbData, &cbWritten, nullptr))
            throw CHException::FromLastError(HSITE);
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
        CHLogging::LogWarning(L"The device's stream for %s ended after %s of the %s bytes it reported; the file holds only "
                       L"the bytes received.\n",
                       strFile.c_str(), Number(nBytes).c_str(), Number(nReportedSize).c_str());
    else if (nReportedSize != 0 && nBytes > nReportedSize)
        CHLogging::LogWarning(L"The device's stream for %s delivered %s bytes, more than the %s it reported; all of them "
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
                CHLogging::LogWarning(L"The unfinished copy %s could not be removed (error %d).\n",
                               m_strFile.c_str(), static_cast<int>(dwError));
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
            ComPtr<IEnumPortableDeviceObjectIDs> enumerator;
            const HRESULT hr = m_pContent->EnumObjects(0, pszObjectId, nullptr, &enumerator);
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
                CHLogging::LogWarning(L"The device object %s was skipped: its name \"%s\" cannot be a local file name.\n",
                               pszChildId, info->strName.c_str());
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
                hr = m_pContent->Transfer(&m_resources);
            ComPtr<IStream> stream;
            DWORD dwOptimalTransferSize = 0;
            if (SUCCEEDED(hr) && m_resources)
                hr = m_resources->GetStream(pszObjectId, Wpd::ResourceDefault, STGM_READ, &dwOptimalTransferSize,
                                            &stream);
            if (FAILED(hr) || !stream) {
                CHLogging::LogWarning(L"The device object %s was skipped: the content of %s could not be opened (%s).\n",
                               pszObjectId, strFile.c_str(), HResultText(hr).c_str());
                return;
            }
            CopyDeviceStreamToFile(stream.Get(), strFile, CREATE_ALWAYS, dwOptimalTransferSize, info.nSize);
        } HCATCH
    }

    IPortableDeviceContent* m_pContent;
    IPortableDeviceProperties* m_pProperties;
    ComPtr<IPortableDeviceKeyCollection> m_keys;
    ComPtr<IPortableDeviceResources> m_resources;
};

// ---------------------------------------------------------------------------
// Devices

std::wstring InstallFilesFolder()
{
    std::wstring strFolder = CHFileUtilities::ConcatPathname(CHFileUtilities::GetTempDirectory(), kInstallFilesFolder);
    CHFileUtilities::EnsurePathSeparatorAtEnd(strFolder, L"\\");
    return strFolder;
}

std::wstring InstallerPath()
{
    return InstallFilesFolder() + kInstaller;
}

// The ids of the connected devices; none when there are none or they cannot be listed.
std::vector<CHCoTaskMemString> ConnectedDeviceIds(IPortableDeviceManager* pManager)
{
    std::vector<CHCoTaskMemString> ids;
    DWORD nCount = 0;
    if (FAILED(pManager->GetDevices(nullptr, &nCount)) || nCount == 0)
        return ids;
    std::vector<LPWSTR> rawIds;
    try {
        rawIds.assign(nCount, nullptr);
        ids.reserve(nCount);
    } catch (const std::bad_alloc&) {
        CHLogging::LogWarning(L"The ids of %s devices do not fit into memory.\n",
                       Number(nCount).c_str());
        return ids;
    }
    DWORD nFilled = nCount;
    const HRESULT hr = pManager->GetDevices(rawIds.data(), &nFilled);
    // Reserved above: taking them over cannot fail half-way.
    for (LPWSTR pszId : rawIds)
        if (pszId)
            ids.emplace_back(pszId);
    if (FAILED(hr))
        ids.clear();
    return ids;
}

// The client information a device is opened with; each value is set only
// while the ones before it could be. None when the value set cannot be made.
ComPtr<IPortableDeviceValues> ClientInformation()
{
    ComPtr<IPortableDeviceValues> values;
    if (FAILED(CreateInProcess(Wpd::CLSID_ValueSet, Wpd::IID_ValueSet, values)) || !values)
        return nullptr;
    HRESULT hr = values->SetStringValue(Wpd::ClientName, kClientName);
    if (SUCCEEDED(hr))
        hr = values->SetUnsignedIntegerValue(Wpd::ClientMajorVersion, kClientMajorVersion);
    if (SUCCEEDED(hr))
        hr = values->SetUnsignedIntegerValue(Wpd::ClientMinorVersion, kClientMinorVersion);
    if (SUCCEEDED(hr))
        values->SetUnsignedIntegerValue(Wpd::ClientRevision, kClientRevision);
    return values;
}

// What a storage's root offers: the opened "autorun.inf" and the install-files folder.
struct CInstallObjects
{
    ComPtr<IStream> autorunStream;
    DWORD dwAutorunTransferSize = 0;
    ULONGLONG nAutorunSize = 0;
    std::wstring strFolderId;

    bool IsComplete() const { return autorunStream && !strFolderId.empty(); }
};

// Looks through the first objects of the storage's root, names compared
// without regard to case, until both are known.
CInstallObjects FindInstallObjects(IPortableDeviceContent* pContent, IPortableDeviceProperties* pProperties,
                                   LPCWSTR pszStorageId)
{
    CInstallObjects found;
    const ComPtr<IPortableDeviceKeyCollection> keys = NameAndSizeKeys();
    ComPtr<IPortableDeviceResources> resources;
    for (const CHCoTaskMemString& id : ChildObjectIds(pContent, pszStorageId, kRootObjectsLooked)) {
        const std::optional<CObjectInfo> info = ReadObjectInfo(pProperties, keys.Get(), id.Get());
        if (!info)
            continue;
        if (!found.autorunStream && EqualsNoCase(info->strName, kAutorunInf)) {
            if (!resources)
                pContent->Transfer(&resources);
            if (resources)
                resources->GetStream(id.Get(), Wpd::ResourceDefault, STGM_READ, &found.dwAutorunTransferSize,
                                     &found.autorunStream);
            found.nAutorunSize = info->nSize;
        } else if (found.strFolderId.empty() && EqualsNoCase(info->strName, kInstallFilesFolder)) {
            found.strFolderId = id.Get();
        }
        if (found.IsComplete())
            break;
    }
    return found;
}

// "autorun.inf" into %TEMP%; one that is there already is left as it is.
void CopyAutorunInf(CInstallObjects& found)
{
    HTRY {
        const std::wstring strFile =
            CHFileUtilities::ConcatPathname(CHFileUtilities::GetTempDirectory(), kAutorunInf);
        if (!CopyDeviceStreamToFile(found.autorunStream.Get(), strFile, CREATE_NEW, found.dwAutorunTransferSize,
                                    found.nAutorunSize))
            CHLogging::LogInfo(L"%s exists already and is left as it is.\n", strFile.c_str());
        found.autorunStream.Reset();
    } HCATCH
}

bool SkipDevice(LPCWSTR pszDeviceId, const wchar_t* pszWhy, HRESULT hr)
{
    CHLogging::LogDebug(L"The device %s was skipped: %s (%s).\n", pszDeviceId, pszWhy,
                   HResultText(hr).c_str());
    return false;
}

// Copies the install files from one device; true when it had both and they were copied.
bool StageFromOneDevice(LPCWSTR pszDeviceId)
{
    HTRY {
        HTRY {
            ComPtr<IPortableDevice> device;
            HRESULT hr = CreateInProcess(Wpd::CLSID_Device, Wpd::IID_Device, device);
            if (FAILED(hr) || !device)
                return SkipDevice(pszDeviceId, L"no device object", hr);
            const ComPtr<IPortableDeviceValues> clientInformation = ClientInformation();
            hr = device->Open(pszDeviceId, clientInformation.Get());
            if (FAILED(hr))
                return SkipDevice(pszDeviceId, L"it could not be opened", hr);
            ComPtr<IPortableDeviceContent> content;
            hr = device->Content(&content);
            if (FAILED(hr) || !content)
                return SkipDevice(pszDeviceId, L"its content could not be read", hr);
            const std::vector<CHCoTaskMemString> storages =
                ChildObjectIds(content.Get(), Wpd::DeviceObjectId, kStoragesFetched);
            if (storages.empty())
                return SkipDevice(pszDeviceId, L"no storage", S_OK);
            ComPtr<IPortableDeviceProperties> properties;
            hr = content->Properties(&properties);
            if (FAILED(hr) || !properties)
                return SkipDevice(pszDeviceId, L"its properties could not be read", hr);

            CInstallObjects found = FindInstallObjects(content.Get(), properties.Get(), storages.front().Get());
            if (!found.IsComplete())
                return SkipDevice(pszDeviceId, L"its first storage does not offer both install names", S_OK);
            CHLogging::LogDebug(L"Copying the install files from the device %s.\n", pszDeviceId);
            CopyAutorunInf(found);
            const std::wstring strDestination = InstallFilesFolder();
            CHFileUtilities::BuildDirectory(strDestination);
            CopyDeviceFolder(found.strFolderId.c_str(), content.Get(), properties.Get(), strDestination);
            return true;
        } HCATCH
    } HCATCH_ATTACH([&](CHException& e) { e.AddValue(L"Device", pszDeviceId); })
}

// Every connected device in turn; the installer path when any supplied the install files.
std::wstring StageFromConnectedDevices()
{
    HTRY {
        // The device objects need the multithreaded apartment; without it no device is found.
        const CHComApartment apartment;
        ComPtr<IPortableDeviceManager> manager;
        const HRESULT hr = CreateInProcess(Wpd::CLSID_DeviceManager, Wpd::IID_DeviceManager, manager);
        if (FAILED(hr) || !manager) {
            CHLogging::LogDebug(L"No portable-device manager (%s).\n", HResultText(hr).c_str());
            return std::wstring();
        }
        // Once a device has supplied the files, one without them later changes nothing.
        bool bSupplied = false;
        for (const CHCoTaskMemString& id : ConnectedDeviceIds(manager.Get()))
            bSupplied = StageFromOneDevice(id.Get()) || bSupplied;
        return bSupplied ? InstallerPath() : std::wstring();
    } HCATCH
}

// A copy of the launcher that an earlier relaunch left in %TEMP% goes, unless something uses it.
void RemoveStaleLauncherCopy()
{
    HTRY {
        const std::wstring strCopy = CHFileUtilities::GetUnicodePath(
            CHFileUtilities::ConcatPathname(CHFileUtilities::GetTempDirectory(), CHFileUtilities::GetExeFile()));
        CHFileHandle file(
            ::CreateFileW(strCopy.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file)
            return;
        file.Reset();
        ::DeleteFileW(strCopy.c_str());
    } HCATCH
}

// The installer runs in its own folder, without parameters; nobody waits for it.
void StartInstaller(const std::wstring& strInstaller)
{
    HTRY {
        const std::wstring strFolder = CHFileUtilities::GetPathFromFilename(strInstaller);
        CHLogging::LogDebug(L"Starting the installer %s in %s.\n", strInstaller.c_str(),
                       strFolder.c_str());
        CHProcess process;
        process.Run(strInstaller, L"", strFolder);
    } HCATCH
}

} // namespace

// ---------------------------------------------------------------------------

bool IsStartedFromDevice(const std::wstring& strExeDirectory)
{
    HTRY {
        std::wstring strCache = CHFileUtilities::ConcatPathname(CHFileUtilities::GetTempDirectory(), kDeviceCacheFolder);
        CHFileUtilities::EnsurePathSeparatorAtEnd(strCache, L"\\");
        const std::wstring strCacheShort = CHFileUtilities::GetShortFilePath(strCache);
        // Windows paths are case-insensitive: the shell may spell the folder otherwise.
        auto contains = [&](const std::wstring& strPart) {
            return !strPart.empty() && CHStringHelper::ContainsNoCase(strExeDirectory, strPart);
        };
        return contains(strCache) || contains(strCacheShort);
    } HCATCH
}

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
            const ULONGLONG nBytes = StreamIntoFile(pStream, file.Get(), DeviceTransferPieceSize(dwOptimalTransferSize));
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

void StageFromDevice(bool& bHandled)
{
    HTRY {
        CPrepareDialogThread dialog;
        RemoveStaleLauncherCopy();
        const std::wstring strInstaller = StageFromConnectedDevices();
        bHandled = !strInstaller.empty();
        // The dialog goes before the installer shows its own windows.
        dialog.End();
        if (bHandled)
            StartInstaller(strInstaller);
        else
            CHLogging::LogDebug(L"No device offered %s and %s; going on as from the medium.\n",
                           kAutorunInf, kInstallFilesFolder);
    } HCATCH
}

DWORD WINAPI PrepareDialogThreadProc(LPVOID)
{
    HTRY {
        // The message queue first: the end request (WM_QUIT) can be posted
        // from then on, and ends the dialog's modal loop whenever it comes.
        MSG msg;
        ::PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
        CHWaitDialogShim dialog;
        dialog.m_strTitle = kDialogTitle;
        dialog.m_strMessage = kDialogMessage;
        CHWaitDialog::LoadWaitAnimFramesFromResources();
        dialog.Run();
    } HCATCH_LOG
    return 0;
}

// ---------------------------------------------------------------------------

CPrepareDialogThread::CPrepareDialogThread()
{
    HTRY {
        m_hThread.Reset(::CreateThread(nullptr, 0, PrepareDialogThreadProc, nullptr, 0, &m_dwThreadId));
        if (!m_hThread)
            CHLogging::LogWarning(L"The wait dialog could not be started (error %d); the copy goes on without it.\n",
                           static_cast<int>(::GetLastError()));
    } HCATCH_LOG
}

CPrepareDialogThread::~CPrepareDialogThread()
{
    End();
}

// Terminating the thread instead could leave a lock it holds (the heap's,
// the loader's, the window manager's) held for good, and the rest of the
// run (the installer's start, the normal path) would hang on it. Posting
// WM_QUIT is safe at any moment: the thread's message queue exists before
// its window does, and a modal loop passes WM_QUIT on to the loop below it.
bool CPrepareDialogThread::End() noexcept
{
    if (!m_hThread)
        return true;
    const ULONGLONG nDeadline = ::GetTickCount64() + EndTimeoutMs;
    // Until the thread has made its queue the post fails; it is repeated.
    while (::WaitForSingleObject(m_hThread.Get(), 0) == WAIT_TIMEOUT &&
           !::PostThreadMessageW(m_dwThreadId, WM_QUIT, 0, 0) && ::GetTickCount64() < nDeadline)
        ::Sleep(kEndPostRetryMs);
    const ULONGLONG nNow = ::GetTickCount64();
    const DWORD dwLeftMs = nNow < nDeadline ? static_cast<DWORD>(nDeadline - nNow) : 0;
    const bool bEnded = ::WaitForSingleObject(m_hThread.Get(), dwLeftMs) == WAIT_OBJECT_0;
    if (!bEnded)
        CHLogging::LogWarning(L"The wait dialog did not end within %d ms; it is left to the end of the process.\n",
                       static_cast<int>(EndTimeoutMs));
    m_hThread.Reset();
    return bEnded;
}
