// The device path. The portable-device shell started the launcher from a
// phone's memory; the phone's first storage should hold "autorun.inf" and
// the folder "Halvik_Ulvo_Suite_install_files" among the first 100 objects
// of its root. Every connected device is looked at in turn; from each that
// has both they are copied into %TEMP% (DeviceCopy.h), and once the wait
// dialog (PrepareDialogThread.h) has gone the installer inside the copied
// folder is started.
//
// A read from a device that fails ends the staging: the installer is not
// started from a tree that lacks part of it.
//
// Every interface, id string and stream is owned by a CHComPtr or a
// CHCoTaskMemString and released as soon as its device or object is done
// with; COM itself is initialised only while the devices are read.
#include "InstallerShim/DeviceStaging.h"

#include <new>
#include <optional>
#include <string>
#include <vector>

#include "InstallerShim/DeviceCommon.h"
#include "InstallerShim/DeviceCopy.h"
#include "InstallerShim/PortableDeviceApi.h"
#include "InstallerShim/PrepareDialogThread.h"
#include "RAde/HComApartment.h"
#include "RAde/HException.h"
#include "RAde/HFileUtilities.h"
#include "RAde/HLogging.h"
#include "RAde/HUniqueHandle.h"
#include "RAde/HProcess.h"
#include "RAde/HStringHelper.h"

using namespace DeviceCommon;

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
        CHLogging::LogWarning(L"The ids of %s devices do not fit into memory.\n", Number(nCount).c_str());
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
CHComPtr<IPortableDeviceValues> ClientInformation()
{
    CHComPtr<IPortableDeviceValues> values;
    if (FAILED(CreateInProcess(Wpd::CLSID_ValueSet, Wpd::IID_ValueSet, values)) || !values)
        return {};
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
    CHComPtr<IStream> autorunStream;
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
    const CHComPtr<IPortableDeviceKeyCollection> keys = NameAndSizeKeys();
    CHComPtr<IPortableDeviceResources> resources;
    for (const CHCoTaskMemString& id : ChildObjectIds(pContent, pszStorageId, kRootObjectsLooked)) {
        const std::optional<CObjectInfo> info = ReadObjectInfo(pProperties, keys.Get(), id.Get());
        if (!info)
            continue;
        if (!found.autorunStream && EqualsNoCase(info->strName, kAutorunInf)) {
            if (!resources)
                pContent->Transfer(resources.OutParam());
            if (resources)
                resources->GetStream(id.Get(), Wpd::ResourceDefault, STGM_READ, &found.dwAutorunTransferSize,
                                     found.autorunStream.OutParam());
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
        const std::wstring strFile = CHFileUtilities::ConcatPathname(CHFileUtilities::GetTempDirectory(), kAutorunInf);
        if (!CopyDeviceStreamToFile(found.autorunStream.Get(), strFile, CREATE_NEW, found.dwAutorunTransferSize,
                                    found.nAutorunSize))
            CHLogging::LogInfo(L"%s exists already and is left as it is.\n", strFile.c_str());
        found.autorunStream.Reset();
    } HCATCH
}

bool SkipDevice(LPCWSTR pszDeviceId, const wchar_t* pszWhy, HRESULT hr)
{
    CHLogging::LogDebug(L"The device %s was skipped: %s (%s).\n", pszDeviceId, pszWhy, HResultText(hr).c_str());
    return false;
}

// Copies the install files from one device; true when it had both and they were copied.
bool StageFromOneDevice(LPCWSTR pszDeviceId)
{
    HTRY {
        HTRY {
            CHComPtr<IPortableDevice> device;
            HRESULT hr = CreateInProcess(Wpd::CLSID_Device, Wpd::IID_Device, device);
            if (FAILED(hr) || !device)
                return SkipDevice(pszDeviceId, L"no device object", hr);
            const CHComPtr<IPortableDeviceValues> clientInformation = ClientInformation();
            hr = device->Open(pszDeviceId, clientInformation.Get());
            if (FAILED(hr))
                return SkipDevice(pszDeviceId, L"it could not be opened", hr);
            CHComPtr<IPortableDeviceContent> content;
            hr = device->Content(content.OutParam());
            if (FAILED(hr) || !content)
                return SkipDevice(pszDeviceId, L"its content could not be read", hr);
            const std::vector<CHCoTaskMemString> storages =
                ChildObjectIds(content.Get(), Wpd::DeviceObjectId, kStoragesFetched);
            if (storages.empty())
                return SkipDevice(pszDeviceId, L"no storage", S_OK);
            CHComPtr<IPortableDeviceProperties> properties;
            hr = content->Properties(properties.OutParam());
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
        CHComPtr<IPortableDeviceManager> manager;
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
        CHLogging::LogDebug(L"Starting the installer %s in %s.\n", strInstaller.c_str(), strFolder.c_str());
        CHProcess process;
        process.Run(strInstaller, L"", strFolder);
    } HCATCH
}

}  // namespace

// ---------------------------------------------------------------------------

bool IsStartedFromDevice(const std::wstring& strExeDirectory)
{
    HTRY {
        std::wstring strCache =
            CHFileUtilities::ConcatPathname(CHFileUtilities::GetTempDirectory(), kDeviceCacheFolder);
        CHFileUtilities::EnsurePathSeparatorAtEnd(strCache, L"\\");
        const std::wstring strCacheShort = CHFileUtilities::GetShortFilePath(strCache);
        // Windows paths are case-insensitive: the shell may spell the folder otherwise.
        auto contains = [&](const std::wstring& strPart) {
            return !strPart.empty() && CHStringHelper::ContainsNoCase(strExeDirectory, strPart);
        };
        return contains(strCache) || contains(strCacheShort);
    } HCATCH
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
            CHLogging::LogDebug(L"No device offered %s and %s; going on as from the medium.\n", kAutorunInf,
                                kInstallFilesFolder);
    } HCATCH
}
