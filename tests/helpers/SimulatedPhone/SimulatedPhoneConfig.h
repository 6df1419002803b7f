// The simulated phone: an in-process COM server (SimulatedPhone.dll) that
// stands in for the Windows Portable Devices device manager, device, value set
// and key collection where the system has none (Wine). Tests, the demo and the
// server itself share this header: the server's registration, the registry
// values that say what the phone shows, and the content of generated files.
//
// Registration: RegisterServer(dll path) writes InprocServer32 = the path,
// ThreadingModel = Both under HKEY_CLASSES_ROOT\CLSID\{...} for the four class
// ids; UnregisterServer() removes them. RegisterSimulatedPhone.exe does the
// same from a command line. Without the registration CoCreateInstance fails
// with REGDB_E_CLASSNOTREG, as on a machine without portable-device support.
// (Wine 8 looks classes up only there, that is in
// HKEY_LOCAL_MACHINE\Software\Classes: a per-user registration under
// HKEY_CURRENT_USER\Software\Classes is not seen. Any user may write there in
// a Wine prefix; on Windows it would take an administrator.)
//
// What the phone shows: HKEY_CURRENT_USER\Software\Halvik Test\Simulated phone
//   Devices              REG_MULTI_SZ  one entry per device, in order: the folder (a Windows path,
//                                      Z:\... for a Linux folder) whose tree is the device's one
//                                      storage, or "<locked>" for a device that shows no storage
//                                      (a locked phone). Missing or empty: no devices. A REG_SZ
//                                      value is one device.
//                                      Read when a device manager is created (and by
//                                      RefreshDeviceList), and again when a device is opened.
//   NextLimit            REG_DWORD     the most ids one IEnumPortableDeviceObjectIDs::Next delivers
//                                      (missing or 0: no limit). A batch cut short by it is
//                                      answered with S_FALSE although more ids are left, since
//                                      Next returns S_OK only with exactly as many ids as asked.
//   ReadLimit            REG_DWORD     the most bytes one IStream::Read delivers (missing or 0:
//                                      no limit); short reads still return S_OK.
//   ReadDelay            REG_DWORD     milliseconds each IStream::Read waits first (missing: 0),
//                                      a slow phone's pace.
//   OptimalTransferSize  REG_DWORD     what IPortableDeviceResources::GetStream reports
//                                      (missing: 262144, what phones commonly report).
//   FailReadAt           REG_DWORD or  a byte offset: every IStream::Read of every stream whose
//                        REG_QWORD     position is at or beyond it fails with
//                                      HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED), as when the
//                                      phone is pulled out; reads before it deliver as usual, even
//                                      past it (missing: no read fails).
//   OpenLog              REG_MULTI_SZ  written by the phone: one entry per IPortableDevice::Open,
//                                      "device=<n>;name=<client name>;major=<m>;minor=<m>;revision=<r>"
//                                      (n counts from 1; client values that were not given are
//                                      left out).
// Options are read when a device is opened, so a test can change them between runs.
//
// Inside a device folder:
//   - every file and folder appears on the phone under its own name, letter case as on disk;
//     a folder's children are listed sorted by name without regard to case (ties: with
//     regard to case), whatever order the file system keeps;
//   - "<name>.hsgen" holding a decimal byte count appears as "<name>", that many bytes long, with
//     the content of GeneratedByte (never held in memory as a whole);
//   - "<name>.hssize" is not shown; it holds the size the phone reports for "<name>" (a file,
//     generated file or folder) instead of the true one: a decimal byte count, or "none" for a
//     size the phone cannot give (the size then comes back as a VT_ERROR value and GetValues
//     answers S_FALSE). The stream still delivers the true content.
// Folders report size 0 unless a sidecar says otherwise. Object ids: "DEVICE", its storage "s1",
// then "o1", "o2", ... in the order the objects are first listed; stable while a device is open.
//
// Typical use in a test (under the CTest RESOURCE_LOCK "simulated-phone", since
// registration and configuration are shared by the whole prefix):
//   SimulatedPhone::RegisterServer(TestProgramFolder() + L"SimulatedPhone.dll");
//   SimulatedPhone::ResetConfiguration();
//   SimulatedPhone::SetDevices({strPhoneFolder});
//   SimulatedPhone::SetOption(SimulatedPhone::kReadLimitValue, 4096);
// From a script: RegisterSimulatedPhone.exe, then
//   wine reg add 'HKCU\Software\Halvik Test\Simulated phone' /v Devices /t REG_MULTI_SZ /d 'Z:\a\0Z:\b' /f
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "InstallerShim/PortableDeviceApi.h"
#include "RAde/HRegistry.h"

namespace SimulatedPhone {

inline constexpr wchar_t kConfigKey[] = L"Software\\Halvik Test\\Simulated phone";
inline constexpr wchar_t kDevicesValue[] = L"Devices";
inline constexpr wchar_t kNextLimitValue[] = L"NextLimit";
inline constexpr wchar_t kReadLimitValue[] = L"ReadLimit";
inline constexpr wchar_t kReadDelayValue[] = L"ReadDelay";
inline constexpr wchar_t kOptimalTransferSizeValue[] = L"OptimalTransferSize";
inline constexpr wchar_t kFailReadAtValue[] = L"FailReadAt";
inline constexpr wchar_t kOpenLogValue[] = L"OpenLog";

inline constexpr wchar_t kLockedDevice[] = L"<locked>";
inline constexpr wchar_t kGeneratedSuffix[] = L".hsgen";
inline constexpr wchar_t kSizeSuffix[] = L".hssize";
inline constexpr char kNoSize[] = "none";
inline constexpr DWORD kDefaultOptimalTransferSize = 262144;

inline constexpr wchar_t kStorageId[] = L"s1";

// The four classes the server provides, as the launcher creates them.
inline constexpr const CLSID* kClassIds[] = {&Wpd::CLSID_DeviceManager, &Wpd::CLSID_Device, &Wpd::CLSID_ValueSet,
                                             &Wpd::CLSID_KeyCollection};
inline const HKEY kClassesRoot = HKEY_CLASSES_ROOT;
inline constexpr wchar_t kClassesKey[] = L"CLSID\\";

// ---------------------------------------------------------------------------
// Generated content: byte n of a generated file is byte (n % 8), least
// significant first, of GeneratedWord(n / 8). Every 8-byte word differs, so a
// piece delivered twice, skipped or moved shows up at any offset.

inline uint64_t GeneratedWord(uint64_t nWord)
{
    uint64_t x = (nWord + 1) * 0x9E3779B97F4A7C15ull;
    x ^= x >> 31;
    x *= 0xBF58476D1CE4E5B9ull;
    return x ^ (x >> 29);
}

inline BYTE GeneratedByte(uint64_t nOffset)
{
    return static_cast<BYTE>(GeneratedWord(nOffset / 8) >> (8 * (nOffset % 8)));
}

// Fills cb bytes with the generated content from nOffset on.
inline void FillGenerated(uint64_t nOffset, BYTE* pBuffer, size_t cb)
{
    while (cb > 0 && nOffset % 8 != 0) {
        *pBuffer++ = GeneratedByte(nOffset++);
        --cb;
    }
    for (; cb >= 8; cb -= 8, nOffset += 8, pBuffer += 8) {
        const uint64_t nWord = GeneratedWord(nOffset / 8);
        memcpy(pBuffer, &nWord, 8);
    }
    for (; cb > 0; --cb)
        *pBuffer++ = GeneratedByte(nOffset++);
}

// ---------------------------------------------------------------------------
// Device ids, as GetDevices lists them (nDevice counts from 1).

inline constexpr wchar_t kDeviceIdPrefix[] = L"\\\\?\\halviktest#simulatedphone#";
inline constexpr wchar_t kDeviceIdSuffix[] = L"#{6ac27878-a6fa-4155-ba85-f98f491d4f33}";

inline std::wstring DeviceId(size_t nDevice)
{
    return kDeviceIdPrefix + std::to_wstring(nDevice) + kDeviceIdSuffix;
}

// The device number in an id from DeviceId; 0 for any other text.
inline size_t DeviceNumberOf(const std::wstring& strId)
{
    for (size_t nDevice = 1; nDevice <= 64; ++nDevice)
        if (strId == DeviceId(nDevice))
            return nDevice;
    return 0;
}

// ---------------------------------------------------------------------------
// Registry access, plain Win32 so the server needs no library.

inline CHRegKey OpenConfigKey(bool bWrite)
{
    HKEY hKey = nullptr;
    const LSTATUS status = bWrite ? ::RegCreateKeyExW(HKEY_CURRENT_USER, kConfigKey, 0, nullptr, 0,
                                                      KEY_READ | KEY_WRITE, nullptr, &hKey, nullptr)
                                  : ::RegOpenKeyExW(HKEY_CURRENT_USER, kConfigKey, 0, KEY_READ, &hKey);
    return CHRegKey(status == ERROR_SUCCESS ? hKey : nullptr);
}

// The strings of a REG_MULTI_SZ value, or the one string of a REG_SZ value
// (none when the key or value is missing).
inline std::vector<std::wstring> ReadStrings(const wchar_t* pszValue)
{
    constexpr DWORD kStringTypes = RRF_RT_REG_MULTI_SZ | RRF_RT_REG_SZ;
    std::vector<std::wstring> strings;
    CHRegKey key = OpenConfigKey(false);
    DWORD cb = 0;
    if (!key || ::RegGetValueW(key.Get(), nullptr, pszValue, kStringTypes, nullptr, nullptr, &cb) != ERROR_SUCCESS)
        return strings;
    std::wstring strBlock(cb / sizeof(wchar_t) + 2, L'\0');
    cb = static_cast<DWORD>(strBlock.size() * sizeof(wchar_t));
    if (::RegGetValueW(key.Get(), nullptr, pszValue, kStringTypes, nullptr, strBlock.data(), &cb) != ERROR_SUCCESS)
        return strings;
    for (const wchar_t* p = strBlock.c_str(); *p; p += wcslen(p) + 1)
        strings.emplace_back(p);
    return strings;
}

inline LSTATUS WriteStrings(const wchar_t* pszValue, const std::vector<std::wstring>& strings)
{
    std::wstring strBlock;
    for (const std::wstring& str : strings)
        strBlock += str + L'\0';
    strBlock += L'\0';
    CHRegKey key = OpenConfigKey(true);
    if (!key)
        return ERROR_ACCESS_DENIED;
    return ::RegSetValueExW(key.Get(), pszValue, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(strBlock.c_str()),
                            static_cast<DWORD>(strBlock.size() * sizeof(wchar_t)));
}

// A REG_DWORD option, or dwDefault when it is missing.
inline DWORD ReadOption(const wchar_t* pszValue, DWORD dwDefault)
{
    CHRegKey key = OpenConfigKey(false);
    DWORD dwValue = 0, cb = sizeof(dwValue);
    if (!key || ::RegGetValueW(key.Get(), nullptr, pszValue, RRF_RT_REG_DWORD, nullptr, &dwValue, &cb) != ERROR_SUCCESS)
        return dwDefault;
    return dwValue;
}

// A REG_DWORD or REG_QWORD option, or nDefault when it is missing.
inline ULONGLONG ReadWideOption(const wchar_t* pszValue, ULONGLONG nDefault)
{
    CHRegKey key = OpenConfigKey(false);
    ULONGLONG nValue = 0;  // a REG_DWORD fills its low half
    DWORD cb = sizeof(nValue);
    if (!key || ::RegGetValueW(key.Get(), nullptr, pszValue, RRF_RT_REG_DWORD | RRF_RT_REG_QWORD, nullptr, &nValue,
                               &cb) != ERROR_SUCCESS)
        return nDefault;
    return nValue;
}

inline LSTATUS SetOption(const wchar_t* pszValue, DWORD dwValue)
{
    CHRegKey key = OpenConfigKey(true);
    if (!key)
        return ERROR_ACCESS_DENIED;
    return ::RegSetValueExW(key.Get(), pszValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwValue),
                            sizeof(dwValue));
}

// The phone shows these devices (folders, or kLockedDevice), in this order.
inline LSTATUS SetDevices(const std::vector<std::wstring>& folders)
{
    return WriteStrings(kDevicesValue, folders);
}

// Removes every setting and the open log: no devices.
inline LSTATUS ResetConfiguration()
{
    const LSTATUS status = ::RegDeleteTreeW(HKEY_CURRENT_USER, kConfigKey);
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

inline std::wstring ClassKeyPath(const CLSID& clsid)
{
    wchar_t szClsid[40] = {};
    ::StringFromGUID2(clsid, szClsid, ARRAYSIZE(szClsid));
    return std::wstring(kClassesKey) + szClsid;
}

// Registers the server at strDllPath (a full Windows path) for the four classes.
inline LSTATUS RegisterServer(const std::wstring& strDllPath)
{
    static constexpr wchar_t szBoth[] = L"Both";
    for (const CLSID* pClsid : kClassIds) {
        HKEY hKey = nullptr;
        LSTATUS status = ::RegCreateKeyExW(kClassesRoot, (ClassKeyPath(*pClsid) + L"\\InprocServer32").c_str(), 0,
                                           nullptr, 0, KEY_WRITE, nullptr, &hKey, nullptr);
        if (status != ERROR_SUCCESS)
            return status;
        CHRegKey key(hKey);
        status = ::RegSetValueExW(key.Get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(strDllPath.c_str()),
                                  static_cast<DWORD>((strDllPath.size() + 1) * sizeof(wchar_t)));
        if (status == ERROR_SUCCESS)
            status = ::RegSetValueExW(key.Get(), L"ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>(szBoth),
                                      sizeof(szBoth));
        if (status != ERROR_SUCCESS)
            return status;
    }
    return ERROR_SUCCESS;
}

// Removes the registration of the four classes (missing ones are no error).
inline LSTATUS UnregisterServer()
{
    for (const CLSID* pClsid : kClassIds) {
        const LSTATUS status = ::RegDeleteTreeW(kClassesRoot, ClassKeyPath(*pClsid).c_str());
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
            return status;
    }
    return ERROR_SUCCESS;
}

}  // namespace SimulatedPhone
