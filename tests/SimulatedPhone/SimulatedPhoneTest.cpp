// The simulated phone that the launcher's device-path tests rely on, driven
// through COM the way the launcher drives Windows Portable Devices: device
// list, open with client information, storages, batched enumeration, names
// and sizes, content streams, generated large files, and the value set and
// key collection classes.
#include <windows.h>

#include <gtest/gtest.h>
#include <wrl/client.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "InstallerShim/PortableDeviceApi.h"
#include "SimulatedPhoneConfig.h"
#include "TestSupport.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr HRESULT kDeviceNotOpen = static_cast<HRESULT>(0x802A0002);
constexpr HRESULT kDeviceAlreadyOpened = static_cast<HRESULT>(0x802A0001);
constexpr ULONGLONG kFourGiBAndOneMiB = 4ull * 1024 * 1024 * 1024 + 1024 * 1024;

using Strings = std::vector<std::wstring>;

// A string the phone allocated, freed with CoTaskMemFree.
std::wstring TakeString(LPWSTR psz)
{
    std::wstring str = psz ? psz : L"";
    ::CoTaskMemFree(psz);
    return str;
}

struct CBatch
{
    ULONG nFetched;
    HRESULT hr;
    bool operator==(const CBatch&) const = default;
};

void PrintTo(const CBatch& batch, std::ostream* os)
{
    *os << "{" << batch.nFetched << ", 0x" << std::hex << static_cast<unsigned long>(batch.hr) << std::dec << "}";
}

// What GetValues gave for an object's name and size.
struct CObjectInfo
{
    HRESULT hr = E_FAIL;
    std::wstring strName;
    std::optional<ULONGLONG> size;
    HRESULT hrSize = E_FAIL;
};

template <class T>
ComPtr<T> Create(const CLSID& clsid, const IID& iid)
{
    ComPtr<T> object;
    EXPECT_EQ(
        ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void**>(object.GetAddressOf())),
        S_OK);
    return object;
}

class CSimulatedPhoneTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(::CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        ASSERT_EQ(SimulatedPhone::RegisterServer(TestProgramFolder() + L"SimulatedPhone.dll"), ERROR_SUCCESS);
        ASSERT_EQ(SimulatedPhone::ResetConfiguration(), ERROR_SUCCESS);
    }
    void TearDown() override
    {
        SimulatedPhone::ResetConfiguration();
        ::CoUninitialize();
    }

    // The phone shows one device with the folder's tree.
    void ShowFolder(const std::wstring& strFolder)
    {
        ASSERT_EQ(SimulatedPhone::SetDevices({strFolder}), ERROR_SUCCESS);
    }

    static Strings DeviceIds(IPortableDeviceManager* pManager)
    {
        DWORD dwCount = 0;
        EXPECT_EQ(pManager->GetDevices(nullptr, &dwCount), S_OK);
        std::vector<LPWSTR> ids(dwCount);
        if (dwCount > 0) {
            EXPECT_EQ(pManager->GetDevices(ids.data(), &dwCount), S_OK);
        }
        Strings strings;
        for (DWORD i = 0; i < dwCount; ++i)
            strings.push_back(TakeString(ids[i]));
        return strings;
    }

    // The device opened as the launcher opens it: client "HUS" 1.0.1.
    static ComPtr<IPortableDevice> OpenDevice(const std::wstring& strId)
    {
        auto clientInfo = Create<IPortableDeviceValues>(Wpd::CLSID_ValueSet, Wpd::IID_ValueSet);
        auto device = Create<IPortableDevice>(Wpd::CLSID_Device, Wpd::IID_Device);
        if (!clientInfo || !device)
            return nullptr;
        EXPECT_EQ(clientInfo->SetStringValue(Wpd::ClientName, L"HUS"), S_OK);
        EXPECT_EQ(clientInfo->SetUnsignedIntegerValue(Wpd::ClientMajorVersion, 1), S_OK);
        EXPECT_EQ(clientInfo->SetUnsignedIntegerValue(Wpd::ClientMinorVersion, 0), S_OK);
        EXPECT_EQ(clientInfo->SetUnsignedIntegerValue(Wpd::ClientRevision, 1), S_OK);
        EXPECT_EQ(device->Open(strId.c_str(), clientInfo.Get()), S_OK);
        return device;
    }

    static ComPtr<IPortableDeviceContent> ContentOf(IPortableDevice* pDevice)
    {
        ComPtr<IPortableDeviceContent> content;
        EXPECT_EQ(pDevice->Content(&content), S_OK);
        return content;
    }

    // The content of the first device's storage.
    ComPtr<IPortableDeviceContent> OpenFirstDevice()
    {
        auto manager = Create<IPortableDeviceManager>(Wpd::CLSID_DeviceManager, Wpd::IID_DeviceManager);
        const Strings ids = manager ? DeviceIds(manager.Get()) : Strings();
        if (ids.empty()) {
            ADD_FAILURE() << "the phone shows no device";
            return nullptr;
        }
        m_device = OpenDevice(ids[0]);
        return m_device ? ContentOf(m_device.Get()) : nullptr;
    }

    // Enumerates the parent's children with Next(nBatch) until Next answers
    // anything but S_OK; records every batch.
    static Strings Children(IPortableDeviceContent* pContent, const std::wstring& strParent, ULONG nBatch,
                            std::vector<CBatch>* pBatches = nullptr)
    {
        Strings ids;
        ComPtr<IEnumPortableDeviceObjectIDs> objects;
        EXPECT_EQ(pContent->EnumObjects(0, strParent.c_str(), nullptr, &objects), S_OK);
        if (!objects)
            return ids;
        HRESULT hr = S_OK;
        while (hr == S_OK) {
            std::vector<LPWSTR> batch(nBatch, nullptr);
            ULONG nFetched = 0;
            hr = objects->Next(nBatch, batch.data(), &nFetched);
            if (pBatches)
                pBatches->push_back({nFetched, hr});
            for (ULONG i = 0; i < nFetched; ++i)
                ids.push_back(TakeString(batch[i]));
        }
        return ids;
    }

    static std::wstring StorageOf(IPortableDeviceContent* pContent)
    {
        const Strings storages = Children(pContent, Wpd::DeviceObjectId, 2);
        EXPECT_EQ(storages.size(), 1u);
        return storages.empty() ? L"" : storages[0];
    }

    static CObjectInfo Info(IPortableDeviceContent* pContent, const std::wstring& strId)
    {
        CObjectInfo info;
        ComPtr<IPortableDeviceProperties> properties;
        auto keys = Create<IPortableDeviceKeyCollection>(Wpd::CLSID_KeyCollection, Wpd::IID_KeyCollection);
        if (FAILED(pContent->Properties(&properties)) || !keys)
            return info;
        keys->Add(Wpd::ObjectOriginalFileName);
        keys->Add(Wpd::ObjectSize);
        ComPtr<IPortableDeviceValues> values;
        info.hr = properties->GetValues(strId.c_str(), keys.Get(), &values);
        if (!values)
            return info;
        LPWSTR pszName = nullptr;
        if (SUCCEEDED(values->GetStringValue(Wpd::ObjectOriginalFileName, &pszName)))
            info.strName = TakeString(pszName);
        ULONGLONG nSize = 0;
        info.hrSize = values->GetUnsignedLargeIntegerValue(Wpd::ObjectSize, &nSize);
        if (SUCCEEDED(info.hrSize))
            info.size = nSize;
        return info;
    }

    // The names of the ids, in order.
    static Strings NamesOf(IPortableDeviceContent* pContent, const Strings& ids)
    {
        Strings names;
        for (const std::wstring& strId : ids)
            names.push_back(Info(pContent, strId).strName);
        return names;
    }

    // The id of the child with that name.
    static std::wstring ChildNamed(IPortableDeviceContent* pContent, const std::wstring& strParent,
                                   const std::wstring& strName)
    {
        for (const std::wstring& strId : Children(pContent, strParent, 100))
            if (Info(pContent, strId).strName == strName)
                return strId;
        ADD_FAILURE() << "no child named " << testing::PrintToString(strName);
        return L"";
    }

    static ComPtr<IStream> OpenStream(IPortableDeviceContent* pContent, const std::wstring& strId,
                                      DWORD* pdwOptimal = nullptr)
    {
        ComPtr<IPortableDeviceResources> resources;
        EXPECT_EQ(pContent->Transfer(&resources), S_OK);
        ComPtr<IStream> stream;
        DWORD dwOptimal = 0;
        if (resources) {
            EXPECT_EQ(resources->GetStream(strId.c_str(), Wpd::ResourceDefault, STGM_READ, &dwOptimal, &stream), S_OK);
        }
        if (pdwOptimal)
            *pdwOptimal = dwOptimal;
        return stream;
    }

    // Reads until a read delivers nothing; records each piece's size.
    static std::string ReadAll(IStream* pStream, ULONG cbBuffer, std::vector<ULONG>* pPieces = nullptr)
    {
        std::string bytes;
        std::vector<char> buffer(cbBuffer);
        for (;;) {
            ULONG cbRead = 0;
            const HRESULT hr = pStream->Read(buffer.data(), cbBuffer, &cbRead);
            EXPECT_EQ(hr, S_OK);
            if (FAILED(hr) || cbRead == 0)
                return bytes;
            if (pPieces)
                pPieces->push_back(cbRead);
            bytes.append(buffer.data(), cbRead);
        }
    }

    CTempFolder m_folder{L"phone"};
    ComPtr<IPortableDevice> m_device;
};

// ---------------------------------------------------------------------------
// Registration and the device list

TEST_F(CSimulatedPhoneTest, WithoutRegistrationEveryClassIsMissingAsOnAMachineWithoutPortableDevices)
{
    ShowFolder(m_folder.Path());
    ASSERT_EQ(SimulatedPhone::UnregisterServer(), ERROR_SUCCESS);
    const std::pair<const CLSID*, const IID*> classes[] = {{&Wpd::CLSID_DeviceManager, &Wpd::IID_DeviceManager},
                                                           {&Wpd::CLSID_Device, &Wpd::IID_Device},
                                                           {&Wpd::CLSID_ValueSet, &Wpd::IID_ValueSet},
                                                           {&Wpd::CLSID_KeyCollection, &Wpd::IID_KeyCollection}};
    for (const auto& [pClsid, pIid] : classes) {
        ComPtr<IUnknown> object;
        EXPECT_EQ(::CoCreateInstance(*pClsid, nullptr, CLSCTX_INPROC_SERVER, *pIid,
                                     reinterpret_cast<void**>(object.GetAddressOf())),
                  REGDB_E_CLASSNOTREG);
        EXPECT_FALSE(object);
    }

    // Registered again, every class is there.
    ASSERT_EQ(SimulatedPhone::RegisterServer(TestProgramFolder() + L"SimulatedPhone.dll"), ERROR_SUCCESS);
    for (const auto& [pClsid, pIid] : classes) {
        ComPtr<IUnknown> object;
        EXPECT_EQ(::CoCreateInstance(*pClsid, nullptr, CLSCTX_INPROC_SERVER, *pIid,
                                     reinterpret_cast<void**>(object.GetAddressOf())),
                  S_OK);
    }
}

TEST_F(CSimulatedPhoneTest, RegistrationProgramRegistersTheDllBesideItAndRemovesIt)
{
    const std::wstring strClassKey = SimulatedPhone::ClassKeyPath(Wpd::CLSID_Device) + L"\\InprocServer32";
    auto run = [](const std::wstring& strArguments) {
        CHKernelHandle process = StartHelperProgram(L"RegisterSimulatedPhone.exe", strArguments);
        DWORD dwExit = 1;
        if (process && ::WaitForSingleObject(process.Get(), 30000) == WAIT_OBJECT_0)
            ::GetExitCodeProcess(process.Get(), &dwExit);
        return dwExit;
    };
    auto registered = [&](const wchar_t* pszValue) {
        wchar_t szValue[MAX_PATH] = {};
        DWORD cb = sizeof(szValue);
        const LSTATUS status = ::RegGetValueW(SimulatedPhone::kClassesRoot, strClassKey.c_str(), pszValue,
                                              RRF_RT_REG_SZ, nullptr, szValue, &cb);
        return status == ERROR_SUCCESS ? std::optional<std::wstring>(szValue) : std::nullopt;
    };

    ASSERT_EQ(run(L"/unregister"), 0u);
    EXPECT_EQ(registered(nullptr), std::nullopt);
    ASSERT_EQ(run(L""), 0u);
    EXPECT_EQ(registered(nullptr), TestProgramFolder() + L"SimulatedPhone.dll");
    EXPECT_EQ(registered(L"ThreadingModel"), L"Both");
    EXPECT_EQ(run(L"\"" + (m_folder / L"missing.dll") + L"\""), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(registered(nullptr), TestProgramFolder() + L"SimulatedPhone.dll") << "a failed run changes nothing";
}

TEST_F(CSimulatedPhoneTest, DeviceListFollowsTheConfigurationWhenTheManagerIsCreatedOrRefreshed)
{
    auto manager = Create<IPortableDeviceManager>(Wpd::CLSID_DeviceManager, Wpd::IID_DeviceManager);
    ASSERT_TRUE(manager);
    DWORD dwCount = 99;
    EXPECT_EQ(manager->GetDevices(nullptr, &dwCount), S_OK);
    EXPECT_EQ(dwCount, 0u) << "no configuration: no devices";

    ASSERT_EQ(SimulatedPhone::SetDevices({m_folder.Path(), SimulatedPhone::kLockedDevice}), ERROR_SUCCESS);
    EXPECT_EQ(DeviceIds(manager.Get()), Strings{}) << "an existing manager keeps its list until refreshed";
    EXPECT_EQ(manager->RefreshDeviceList(), S_OK);
    const Strings expected = {SimulatedPhone::DeviceId(1), SimulatedPhone::DeviceId(2)};
    EXPECT_EQ(DeviceIds(manager.Get()), expected);
    auto fresh = Create<IPortableDeviceManager>(Wpd::CLSID_DeviceManager, Wpd::IID_DeviceManager);
    EXPECT_EQ(DeviceIds(fresh.Get()), expected);

    // An array too small for all is filled as far as it goes.
    LPWSTR ids[1] = {};
    dwCount = 1;
    EXPECT_EQ(fresh->GetDevices(ids, &dwCount), S_FALSE);
    EXPECT_EQ(dwCount, 1u);
    EXPECT_EQ(TakeString(ids[0]), expected[0]);

    // The friendly name follows the usual two-call protocol.
    DWORD cchName = 0;
    EXPECT_EQ(fresh->GetDeviceFriendlyName(expected[1].c_str(), nullptr, &cchName), S_OK);
    std::wstring strName(cchName, L'\0');
    EXPECT_EQ(fresh->GetDeviceFriendlyName(expected[1].c_str(), strName.data(), &cchName), S_OK);
    EXPECT_EQ(strName.c_str(), std::wstring(L"Simulated phone 2"));

    ASSERT_EQ(SimulatedPhone::SetDevices({}), ERROR_SUCCESS);
    auto empty = Create<IPortableDeviceManager>(Wpd::CLSID_DeviceManager, Wpd::IID_DeviceManager);
    EXPECT_EQ(DeviceIds(empty.Get()), Strings{}) << "an empty list: no devices";

    // A plain string value (what a script writes most easily) is one device.
    CHRegKey key(SimulatedPhone::OpenConfigKey(true));
    ASSERT_EQ(::RegSetValueExW(key.Get(), SimulatedPhone::kDevicesValue, 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(m_folder.Path().c_str()),
                               static_cast<DWORD>((m_folder.Path().size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    EXPECT_EQ(DeviceIds(Create<IPortableDeviceManager>(Wpd::CLSID_DeviceManager, Wpd::IID_DeviceManager).Get()),
              Strings{SimulatedPhone::DeviceId(1)});
}

// ---------------------------------------------------------------------------
// Opening a device and its storages

TEST_F(CSimulatedPhoneTest, OpenRecordsTheClientInformationAndTheDeviceShowsOneStorage)
{
    ASSERT_EQ(SimulatedPhone::SetDevices({SimulatedPhone::kLockedDevice, m_folder.Path()}), ERROR_SUCCESS);
    auto device = Create<IPortableDevice>(Wpd::CLSID_Device, Wpd::IID_Device);
    ASSERT_TRUE(device);
    ComPtr<IPortableDeviceContent> content;
    EXPECT_EQ(device->Content(&content), kDeviceNotOpen);
    auto clientInfo = Create<IPortableDeviceValues>(Wpd::CLSID_ValueSet, Wpd::IID_ValueSet);
    EXPECT_EQ(device->Open(SimulatedPhone::DeviceId(3).c_str(), clientInfo.Get()), HRESULT_FROM_WIN32(ERROR_NOT_FOUND))
        << "only two devices are configured";
    EXPECT_EQ(device->Open(L"\\\\?\\usb#vid_0000", clientInfo.Get()), HRESULT_FROM_WIN32(ERROR_NOT_FOUND));

    auto opened = OpenDevice(SimulatedPhone::DeviceId(2));
    ASSERT_TRUE(opened);
    EXPECT_EQ(opened->Open(SimulatedPhone::DeviceId(2).c_str(), clientInfo.Get()), kDeviceAlreadyOpened);
    LPWSTR pszId = nullptr;
    EXPECT_EQ(opened->GetPnPDeviceID(&pszId), S_OK);
    EXPECT_EQ(TakeString(pszId), SimulatedPhone::DeviceId(2));
    content = ContentOf(opened.Get());
    ASSERT_TRUE(content);
    std::vector<CBatch> batches;
    const Strings storages = Children(content.Get(), Wpd::DeviceObjectId, 2, &batches);
    EXPECT_EQ(storages, Strings{SimulatedPhone::kStorageId});
    EXPECT_EQ(batches, (std::vector<CBatch>{{1, S_FALSE}}));

    // The locked phone opens but shows no storage; an empty client
    // information is logged with the device number alone.
    clientInfo = Create<IPortableDeviceValues>(Wpd::CLSID_ValueSet, Wpd::IID_ValueSet);
    EXPECT_EQ(device->Open(SimulatedPhone::DeviceId(1).c_str(), clientInfo.Get()), S_OK);
    batches.clear();
    EXPECT_EQ(Children(ContentOf(device.Get()).Get(), Wpd::DeviceObjectId, 2, &batches), Strings{});
    EXPECT_EQ(batches, (std::vector<CBatch>{{0, S_FALSE}}));

    EXPECT_EQ(SimulatedPhone::ReadStrings(SimulatedPhone::kOpenLogValue),
              (Strings{L"device=2;name=HUS;major=1;minor=0;revision=1", L"device=1"}));
}

// ---------------------------------------------------------------------------
// Enumeration

TEST_F(CSimulatedPhoneTest, StorageRootListsMoreThanAHundredObjectsSortedWithoutRegardToCaseInBatches)
{
    // 130 files whose names differ in letter case, written in shuffled order.
    Strings expectedNames;
    for (int i = 0; i < 130; ++i) {
        wchar_t szName[32] = {};
        swprintf(szName, 32, i % 2 ? L"Item%03d.TXT" : L"item%03d.txt", i);
        expectedNames.push_back(szName);
    }
    Strings shuffled = expectedNames;
    std::rotate(shuffled.begin(), shuffled.begin() + 57, shuffled.end());
    for (const std::wstring& strName : shuffled)
        WriteFileBytes(m_folder / strName, "x");
    ShowFolder(m_folder.Path());
    auto content = OpenFirstDevice();
    ASSERT_TRUE(content);
    const std::wstring strStorage = StorageOf(content.Get());

    std::vector<CBatch> batches;
    const Strings ids = Children(content.Get(), strStorage, 100, &batches);
    EXPECT_EQ(batches, (std::vector<CBatch>{{100, S_OK}, {30, S_FALSE}}));
    EXPECT_EQ(NamesOf(content.Get(), ids), expectedNames);
    Strings unique = ids;
    std::sort(unique.begin(), unique.end());
    EXPECT_EQ(std::unique(unique.begin(), unique.end()), unique.end()) << "every object has its own id";
    EXPECT_EQ(Children(content.Get(), strStorage, 100), ids) << "ids stay the same when listed again";

    // An enumeration that is done stays done.
    ComPtr<IEnumPortableDeviceObjectIDs> objects;
    ASSERT_EQ(content->EnumObjects(0, strStorage.c_str(), nullptr, &objects), S_OK);
    LPWSTR batch[100] = {};
    ULONG nFetched = 0;
    EXPECT_EQ(objects->Skip(130), S_OK);
    EXPECT_EQ(objects->Next(100, batch, &nFetched), S_FALSE);
    EXPECT_EQ(nFetched, 0u);
}

TEST_F(CSimulatedPhoneTest, FolderOfTwentyFiveEntriesComesInBatchesOfTenTenAndFive)
{
    ASSERT_TRUE(::CreateDirectoryW((m_folder / L"Install").c_str(), nullptr));
    for (int i = 0; i < 20; ++i)
        WriteFileBytes(m_folder / (L"Install\\f" + std::to_wstring(100 + i) + L".bin"), "data");
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(::CreateDirectoryW((m_folder / (L"Install\\sub" + std::to_wstring(i))).c_str(), nullptr));
    ShowFolder(m_folder.Path());
    auto content = OpenFirstDevice();
    ASSERT_TRUE(content);
    const std::wstring strFolder = ChildNamed(content.Get(), StorageOf(content.Get()), L"Install");

    std::vector<CBatch> batches;
    const Strings ids = Children(content.Get(), strFolder, 10, &batches);
    EXPECT_EQ(batches, (std::vector<CBatch>{{10, S_OK}, {10, S_OK}, {5, S_FALSE}}));
    EXPECT_EQ(ids.size(), 25u);

    // A file has no children; an id the phone never gave is unknown.
    batches.clear();
    EXPECT_EQ(Children(content.Get(), ids[0], 10, &batches), Strings{});
    EXPECT_EQ(batches, (std::vector<CBatch>{{0, S_FALSE}}));
    ComPtr<IEnumPortableDeviceObjectIDs> objects;
    EXPECT_EQ(content->EnumObjects(0, L"o999", nullptr, &objects), HRESULT_FROM_WIN32(ERROR_NOT_FOUND));
}

TEST_F(CSimulatedPhoneTest, NextLimitCutsEveryBatchShortWithSFalseWhileObjectsRemain)
{
    for (int i = 0; i < 25; ++i)
        WriteFileBytes(m_folder / (L"f" + std::to_wstring(100 + i)), "");
    ShowFolder(m_folder.Path());
    ASSERT_EQ(SimulatedPhone::SetOption(SimulatedPhone::kNextLimitValue, 7), ERROR_SUCCESS);
    auto content = OpenFirstDevice();
    ASSERT_TRUE(content);
    ComPtr<IEnumPortableDeviceObjectIDs> objects;
    ASSERT_EQ(content->EnumObjects(0, StorageOf(content.Get()).c_str(), nullptr, &objects), S_OK);

    std::vector<CBatch> batches;
    Strings ids;
    for (int nCall = 0; nCall < 6; ++nCall) {
        LPWSTR batch[10] = {};
        ULONG nFetched = 0;
        const HRESULT hr = objects->Next(10, batch, &nFetched);
        batches.push_back({nFetched, hr});
        for (ULONG i = 0; i < nFetched; ++i)
            ids.push_back(TakeString(batch[i]));
    }
    EXPECT_EQ(batches, (std::vector<CBatch>{
                           {7, S_FALSE}, {7, S_FALSE}, {7, S_FALSE}, {4, S_FALSE}, {0, S_FALSE}, {0, S_FALSE}}));
    EXPECT_EQ(ids.size(), 25u) << "a caller that goes on after S_FALSE gets every id";
    LPWSTR one = nullptr;
    ASSERT_EQ(objects->Reset(), S_OK);
    EXPECT_EQ(objects->Next(1, &one, nullptr), S_OK) << "asking for no more than the limit is answered in full";
    EXPECT_EQ(TakeString(one), ids[0]);
}

// ---------------------------------------------------------------------------
// Names and sizes

TEST_F(CSimulatedPhoneTest, NamesKeepTheirLetterCaseAndSizesAreTrueUnlessASidecarSaysOtherwise)
{
    WriteFileBytes(m_folder / L"AutoRun.INF", "12345");
    ASSERT_TRUE(::CreateDirectoryW((m_folder / L"Halvik_Ulvo_Suite_INSTALL_files").c_str(), nullptr));
    WriteFileBytes(m_folder / L"smaller.bin", std::string(100, 'a'));
    WriteFileBytes(m_folder / L"smaller.bin.hssize", "40\r\n");
    WriteFileBytes(m_folder / L"larger.bin", std::string(100, 'b'));
    WriteFileBytes(m_folder / L"larger.bin.hssize", "5000000000");
    WriteFileBytes(m_folder / L"unknown.bin", std::string(100, 'c'));
    WriteFileBytes(m_folder / L"unknown.bin.hssize", "none");
    WriteFileBytes(m_folder / L"zero.bin", std::string(100, 'd'));
    WriteFileBytes(m_folder / L"zero.bin.HSSIZE", "0");
    ShowFolder(m_folder.Path());
    auto content = OpenFirstDevice();
    ASSERT_TRUE(content);
    const Strings ids = Children(content.Get(), StorageOf(content.Get()), 100);

    // Sidecars are not shown.
    ASSERT_EQ(NamesOf(content.Get(), ids), (Strings{L"AutoRun.INF", L"Halvik_Ulvo_Suite_INSTALL_files", L"larger.bin",
                                                    L"smaller.bin", L"unknown.bin", L"zero.bin"}));
    const std::optional<ULONGLONG> sizes[] = {5, 0, 5000000000ull, 40, std::nullopt, 0};
    for (size_t i = 0; i < ids.size(); ++i) {
        const CObjectInfo info = Info(content.Get(), ids[i]);
        EXPECT_EQ(info.size, sizes[i]) << testing::PrintToString(info.strName);
        EXPECT_EQ(info.hr, sizes[i] ? S_OK : S_FALSE) << "a property the phone cannot give makes GetValues say so";
    }
    const CObjectInfo unknown = Info(content.Get(), ids[4]);
    EXPECT_EQ(unknown.hrSize, HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED)) << "the size is a VT_ERROR value";
    EXPECT_EQ(unknown.strName, L"unknown.bin");
    EXPECT_EQ(ReadAll(OpenStream(content.Get(), ids[3]).Get(), 4096), std::string(100, 'a'))
        << "the stream delivers the true content whatever size is reported";

    // The launcher may read the size as a 32-bit value: it is given when it fits.
    ComPtr<IPortableDeviceProperties> properties;
    ASSERT_EQ(content->Properties(&properties), S_OK);
    ComPtr<IPortableDeviceValues> values;
    ASSERT_EQ(properties->GetValues(ids[0].c_str(), nullptr, &values), S_OK) << "no keys: every property";
    ULONG nSize = 0;
    EXPECT_EQ(values->GetUnsignedIntegerValue(Wpd::ObjectSize, &nSize), S_OK);
    EXPECT_EQ(nSize, 5u);
    ASSERT_EQ(properties->GetValues(ids[2].c_str(), nullptr, &values), S_OK);
    EXPECT_EQ(values->GetUnsignedIntegerValue(Wpd::ObjectSize, &nSize), HRESULT_FROM_WIN32(ERROR_ARITHMETIC_OVERFLOW));

    // The device object and the storage have names but no file name or size.
    auto keys = Create<IPortableDeviceKeyCollection>(Wpd::CLSID_KeyCollection, Wpd::IID_KeyCollection);
    keys->Add(Wpd::ObjectOriginalFileName);
    EXPECT_EQ(properties->GetValues(Wpd::DeviceObjectId, keys.Get(), &values), S_FALSE);
    LPWSTR pszName = nullptr;
    EXPECT_EQ(values->GetStringValue(Wpd::ObjectOriginalFileName, &pszName), HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED));
    EXPECT_EQ(pszName, nullptr);
    EXPECT_EQ(properties->GetValues(L"o999", keys.Get(), &values), HRESULT_FROM_WIN32(ERROR_NOT_FOUND));
}

// ---------------------------------------------------------------------------
// Content streams

TEST_F(CSimulatedPhoneTest, StreamsDeliverTheContentInPiecesNoLargerThanTheReadLimit)
{
    std::string content10123(10123, '\0');
    for (size_t i = 0; i < content10123.size(); ++i)
        content10123[i] = static_cast<char>(i * 7 + i / 256);
    WriteFileBytes(m_folder / L"a.bin", content10123);
    ASSERT_TRUE(::CreateDirectoryW((m_folder / L"folder").c_str(), nullptr));
    ShowFolder(m_folder.Path());

    {
        // Defaults: the common optimal size, pieces as large as asked.
        auto content = OpenFirstDevice();
        ASSERT_TRUE(content);
        const std::wstring strFile = ChildNamed(content.Get(), StorageOf(content.Get()), L"a.bin");
        DWORD dwOptimal = 0;
        auto stream = OpenStream(content.Get(), strFile, &dwOptimal);
        ASSERT_TRUE(stream);
        EXPECT_EQ(dwOptimal, SimulatedPhone::kDefaultOptimalTransferSize);
        std::vector<ULONG> pieces;
        EXPECT_EQ(ReadAll(stream.Get(), 4096, &pieces), content10123);
        EXPECT_EQ(pieces, (std::vector<ULONG>{4096, 4096, 1931}));
        m_device.Reset();
    }

    ASSERT_EQ(SimulatedPhone::SetOption(SimulatedPhone::kReadLimitValue, 1000), ERROR_SUCCESS);
    ASSERT_EQ(SimulatedPhone::SetOption(SimulatedPhone::kOptimalTransferSizeValue, 4096), ERROR_SUCCESS);
    auto content = OpenFirstDevice();
    ASSERT_TRUE(content);
    const std::wstring strStorage = StorageOf(content.Get());
    const std::wstring strFile = ChildNamed(content.Get(), strStorage, L"a.bin");
    DWORD dwOptimal = 0;
    auto stream = OpenStream(content.Get(), strFile, &dwOptimal);
    ASSERT_TRUE(stream);
    EXPECT_EQ(dwOptimal, 4096u);
    std::vector<ULONG> pieces;
    EXPECT_EQ(ReadAll(stream.Get(), 4096, &pieces), content10123);
    std::vector<ULONG> expectedPieces(10, 1000);
    expectedPieces.push_back(123);
    EXPECT_EQ(pieces, expectedPieces);
    ULONG cbRead = 99;
    char ch = 0;
    EXPECT_EQ(stream->Read(&ch, 1, &cbRead), S_OK) << "the end of the stream stays an empty read";
    EXPECT_EQ(cbRead, 0u);
    STATSTG stat = {};
    EXPECT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(stat.cbSize.QuadPart, content10123.size());

    // Only files have a default resource, and it is only read.
    ComPtr<IPortableDeviceResources> resources;
    ASSERT_EQ(content->Transfer(&resources), S_OK);
    ComPtr<IStream> none;
    const std::wstring strFolder = ChildNamed(content.Get(), strStorage, L"folder");
    EXPECT_EQ(resources->GetStream(strFolder.c_str(), Wpd::ResourceDefault, STGM_READ, &dwOptimal, &none),
              HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED));
    EXPECT_EQ(resources->GetStream(strFile.c_str(), Wpd::ResourceDefault, STGM_READWRITE, &dwOptimal, &none),
              E_ACCESSDENIED);
    EXPECT_EQ(resources->GetStream(L"o999", Wpd::ResourceDefault, STGM_READ, &dwOptimal, &none),
              HRESULT_FROM_WIN32(ERROR_NOT_FOUND));
    EXPECT_FALSE(none);
}

TEST_F(CSimulatedPhoneTest, GeneratedFilesFollowTheSharedPatternAtEveryOffset)
{
    // The pattern itself: the fast fill agrees with the byte function at
    // unaligned starts, and neighbouring words differ.
    std::vector<BYTE> filled(1000);
    for (uint64_t nStart : {0ull, 3ull, 4294967291ull}) {
        SimulatedPhone::FillGenerated(nStart, filled.data(), filled.size());
        for (size_t i = 0; i < filled.size(); ++i)
            ASSERT_EQ(filled[i], SimulatedPhone::GeneratedByte(nStart + i)) << nStart << "+" << i;
    }
    EXPECT_NE(SimulatedPhone::GeneratedWord(0), SimulatedPhone::GeneratedWord(1));
    EXPECT_NE(SimulatedPhone::GeneratedWord(1), SimulatedPhone::GeneratedWord(1 + (1ull << 29)))
        << "no period at 4 GiB";

    WriteFileBytes(m_folder / L"small.dat.hsgen", "1001\n");
    ShowFolder(m_folder.Path());
    ASSERT_EQ(SimulatedPhone::SetOption(SimulatedPhone::kReadLimitValue, 300), ERROR_SUCCESS);
    auto content = OpenFirstDevice();
    ASSERT_TRUE(content);
    const std::wstring strId = ChildNamed(content.Get(), StorageOf(content.Get()), L"small.dat");
    EXPECT_EQ(Info(content.Get(), strId).size, 1001u);
    std::vector<ULONG> pieces;
    const std::string bytes = ReadAll(OpenStream(content.Get(), strId).Get(), 512, &pieces);
    EXPECT_EQ(pieces, (std::vector<ULONG>{300, 300, 300, 101}));
    ASSERT_EQ(bytes.size(), 1001u);
    for (size_t i = 0; i < bytes.size(); ++i)
        ASSERT_EQ(static_cast<BYTE>(bytes[i]), SimulatedPhone::GeneratedByte(i)) << i;
}

TEST_F(CSimulatedPhoneTest, GeneratedFileOfFourGiBAndOneMiBArrivesWholeThroughTheStream)
{
    WriteFileBytes(m_folder / L"big.img.hsgen", std::to_string(kFourGiBAndOneMiB));
    ShowFolder(m_folder.Path());
    auto content = OpenFirstDevice();
    ASSERT_TRUE(content);
    const std::wstring strId = ChildNamed(content.Get(), StorageOf(content.Get()), L"big.img");
    EXPECT_EQ(Info(content.Get(), strId).size, kFourGiBAndOneMiB);
    auto stream = OpenStream(content.Get(), strId);
    ASSERT_TRUE(stream);
    STATSTG stat = {};
    ASSERT_EQ(stream->Stat(&stat, STATFLAG_DEFAULT), S_OK);
    EXPECT_EQ(stat.cbSize.QuadPart, kFourGiBAndOneMiB);
    EXPECT_EQ(TakeString(stat.pwcsName), L"big.img");

    // Read it all in the launcher's 1 MiB pieces, comparing as it comes.
    const auto start = std::chrono::steady_clock::now();
    constexpr ULONG cbBuffer = 1024 * 1024;
    std::vector<BYTE> buffer(cbBuffer), expected(cbBuffer);
    ULONGLONG nTotal = 0;
    size_t nMismatches = 0;
    for (;;) {
        ULONG cbRead = 0;
        ASSERT_EQ(stream->Read(buffer.data(), cbBuffer, &cbRead), S_OK) << "at " << nTotal;
        if (cbRead == 0)
            break;
        SimulatedPhone::FillGenerated(nTotal, expected.data(), cbRead);
        nMismatches += memcmp(buffer.data(), expected.data(), cbRead) != 0;
        nTotal += cbRead;
    }
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(nTotal, kFourGiBAndOneMiB);
    EXPECT_EQ(nMismatches, 0u);
    std::printf("read and checked %llu bytes in %.1f s\n", nTotal, seconds);

    // Seeking lands on the same content (beyond 4 GiB too).
    for (ULONGLONG nOffset : {0ull, 4294967295ull, 4294967296ull + 12345, kFourGiBAndOneMiB - 3}) {
        LARGE_INTEGER move = {};
        move.QuadPart = static_cast<LONGLONG>(nOffset);
        ULARGE_INTEGER position = {};
        ASSERT_EQ(stream->Seek(move, STREAM_SEEK_SET, &position), S_OK);
        EXPECT_EQ(position.QuadPart, nOffset);
        BYTE sample[3] = {};
        ULONG cbRead = 0;
        ASSERT_EQ(stream->Read(sample, sizeof(sample), &cbRead), S_OK);
        ASSERT_EQ(cbRead, 3u) << nOffset;
        for (ULONG i = 0; i < cbRead; ++i)
            EXPECT_EQ(sample[i], SimulatedPhone::GeneratedByte(nOffset + i)) << nOffset + i;
    }
}

// ---------------------------------------------------------------------------
// Value set, key collection and object lifetimes

TEST_F(CSimulatedPhoneTest, ValueSetKeepsOneValuePerKeyAndConvertsIntegersThatFit)
{
    auto values = Create<IPortableDeviceValues>(Wpd::CLSID_ValueSet, Wpd::IID_ValueSet);
    ASSERT_TRUE(values);
    EXPECT_EQ(values->SetStringValue(Wpd::ClientName, L"first"), S_OK);
    EXPECT_EQ(values->SetUnsignedIntegerValue(Wpd::ClientMajorVersion, 7), S_OK);
    EXPECT_EQ(values->SetStringValue(Wpd::ClientName, L"HUS"), S_OK);
    DWORD dwCount = 0;
    EXPECT_EQ(values->GetCount(&dwCount), S_OK);
    EXPECT_EQ(dwCount, 2u) << "setting a key again replaces its value";
    PROPERTYKEY key = {};
    PROPVARIANT value;
    ::PropVariantInit(&value);
    EXPECT_EQ(values->GetAt(0, &key, &value), S_OK);
    EXPECT_TRUE(key.pid == Wpd::ClientName.pid && key.fmtid == Wpd::ClientName.fmtid);
    EXPECT_EQ(value.vt, VT_LPWSTR);
    EXPECT_EQ(std::wstring(value.pwszVal), L"HUS");
    ::PropVariantClear(&value);
    EXPECT_EQ(values->GetAt(2, &key, &value), E_INVALIDARG);

    ULONGLONG nLarge = 0;
    EXPECT_EQ(values->GetUnsignedLargeIntegerValue(Wpd::ClientMajorVersion, &nLarge), S_OK);
    EXPECT_EQ(nLarge, 7u);
    ULONG nSmall = 0;
    EXPECT_EQ(values->GetUnsignedIntegerValue(Wpd::ClientName, &nSmall), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(values->GetUnsignedIntegerValue(Wpd::ClientRevision, &nSmall), HRESULT_FROM_WIN32(ERROR_NOT_FOUND));
    EXPECT_EQ(values->SetSignedIntegerValue(Wpd::ClientRevision, -1), S_OK);
    EXPECT_EQ(values->GetUnsignedIntegerValue(Wpd::ClientRevision, &nSmall),
              HRESULT_FROM_WIN32(ERROR_ARITHMETIC_OVERFLOW));
    EXPECT_EQ(values->RemoveValue(Wpd::ClientName), S_OK);
    LPWSTR psz = nullptr;
    EXPECT_EQ(values->GetStringValue(Wpd::ClientName, &psz), HRESULT_FROM_WIN32(ERROR_NOT_FOUND));

    auto keys = Create<IPortableDeviceKeyCollection>(Wpd::CLSID_KeyCollection, Wpd::IID_KeyCollection);
    ASSERT_TRUE(keys);
    EXPECT_EQ(keys->Add(Wpd::ObjectOriginalFileName), S_OK);
    EXPECT_EQ(keys->Add(Wpd::ObjectSize), S_OK);
    EXPECT_EQ(keys->Add(Wpd::ObjectOriginalFileName), S_OK);
    EXPECT_EQ(keys->RemoveAt(0), S_OK);
    EXPECT_EQ(keys->GetCount(&dwCount), S_OK);
    EXPECT_EQ(dwCount, 2u);
    EXPECT_EQ(keys->GetAt(0, &key), S_OK);
    EXPECT_EQ(key.pid, Wpd::ObjectSize.pid);
    EXPECT_EQ(keys->GetAt(2, &key), E_INVALIDARG);
    EXPECT_EQ(keys->Clear(), S_OK);
    EXPECT_EQ(keys->GetCount(&dwCount), S_OK);
    EXPECT_EQ(dwCount, 0u);
}

TEST_F(CSimulatedPhoneTest, ServerCanUnloadOnlyWhenEveryObjectIsReleasedFromAnyThread)
{
    WriteFileBytes(m_folder / L"a.txt", "abc");
    ShowFolder(m_folder.Path());
    // The same module COM loaded: the server's own count of live objects.
    HMODULE hServer = ::LoadLibraryW((TestProgramFolder() + L"SimulatedPhone.dll").c_str());
    ASSERT_TRUE(hServer);
    using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();
    const auto pCanUnloadNow =
        reinterpret_cast<CanUnloadNow>(reinterpret_cast<void*>(::GetProcAddress(hServer, "DllCanUnloadNow")));
    ASSERT_TRUE(pCanUnloadNow);
    ::CoFreeUnusedLibraries();
    EXPECT_EQ(pCanUnloadNow(), S_OK);

    {
        auto content = OpenFirstDevice();
        ASSERT_TRUE(content);
        const std::wstring strFile = ChildNamed(content.Get(), StorageOf(content.Get()), L"a.txt");
        auto stream = OpenStream(content.Get(), strFile);
        ASSERT_TRUE(stream);
        EXPECT_EQ(pCanUnloadNow(), S_FALSE);

        // Four threads take and drop references at once.
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&stream] {
                for (int i = 0; i < 20000; ++i) {
                    stream->AddRef();
                    stream->Release();
                }
            });
        for (std::thread& thread : threads)
            thread.join();
        EXPECT_EQ(ReadAll(stream.Get(), 16), "abc");
        m_device.Reset();
    }
    EXPECT_EQ(pCanUnloadNow(), S_OK) << "an object was not freed when its last reference went";
    ::FreeLibrary(hServer);
}

}  // namespace
