#include "RAde/HRegistry.h"

#include <algorithm>
#include <iterator>

#include "RAde/HException.h"
#include "RAde/HStringHelper.h"

namespace {

struct CRootName
{
    const wchar_t* pszName;
    HKEY hKey;
};

// Compared exactly: "hkey_current_user" is not a root name.
const CRootName g_rootNames[] = {
    {L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},   {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {L"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG}, {L"HKEY_USERS", HKEY_USERS},
    {L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
};

// The longest value name the registry allows, terminating zero included.
constexpr DWORD g_cchMaxValueName = 16384;

HKEY RootKeyOf(const std::wstring& strName)
{
    auto it = std::find_if(std::begin(g_rootNames), std::end(g_rootNames),
                           [&](const CRootName& root) { return strName == root.pszName; });
    return it == std::end(g_rootNames) ? nullptr : it->hKey;
}

// How failures name a value: the key path, "\" and the value name.
std::wstring ValuePath(const std::wstring& strPath, const std::wstring& strValueName)
{
    return strPath + L"\\" + strValueName;
}

// A failed value read or write: the registry's status, then the operation's
// own message with the value's path.
CHException ValueFailure(LSTATUS status, HError error, const std::wstring& strPath, const std::wstring& strValueName,
                         const CHSourceSite& site)
{
    CHException e = CHException::FromWin32Error(static_cast<DWORD>(status), site);
    e.AddEntry(error, site);
    e.AddValue(L"Registry key", ValuePath(strPath, strValueName));
    return e;
}

// Reads a REG_SZ or REG_EXPAND_SZ value (unexpanded). Another type is
// ERROR_INVALID_DATA. The text ends at the value's first zero or at its data
// length, whichever comes first: a value stored without its terminating
// zero, or with an odd byte count, is never read past its data, and a
// trailing half character is dropped.
LSTATUS ReadStringValue(HKEY hKey, const std::wstring& strValueName, std::wstring& strText)
{
    for (;;) {
        DWORD dwType = REG_NONE;
        DWORD cbData = 0;
        LSTATUS status = ::RegQueryValueExW(hKey, strValueName.c_str(), nullptr, &dwType, nullptr, &cbData);
        if (status != ERROR_SUCCESS)
            return status;
        if (dwType != REG_SZ && dwType != REG_EXPAND_SZ)
            return ERROR_INVALID_DATA;

        std::wstring strBuffer(std::max<size_t>(1, (cbData + 1) / sizeof(wchar_t)), L'\0');
        DWORD cbRead = cbData;
        status = ::RegQueryValueExW(hKey, strValueName.c_str(), nullptr, &dwType,
                                    reinterpret_cast<BYTE*>(strBuffer.data()), &cbRead);
        if (status == ERROR_MORE_DATA)
            continue;  // the value grew between the two calls
        if (status != ERROR_SUCCESS)
            return status;
        if (dwType != REG_SZ && dwType != REG_EXPAND_SZ)
            return ERROR_INVALID_DATA;

        const size_t nChars = std::min<size_t>(cbRead, cbData) / sizeof(wchar_t);
        strText.assign(strBuffer.data(), ::wcsnlen(strBuffer.data(), nChars));
        return ERROR_SUCCESS;
    }
}

void EnumerateValueNames(HKEY hKey, int nTypeFilter, CHRegistry::ValueNames& names)
{
    std::wstring strName(g_cchMaxValueName, L'\0');
    for (DWORD dwIndex = 0;; ++dwIndex) {
        DWORD cchName = g_cchMaxValueName;
        DWORD dwType = REG_NONE;
        if (::RegEnumValueW(hKey, dwIndex, strName.data(), &cchName, nullptr, &dwType, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        if (nTypeFilter == CHRegistry::AllTypes || dwType == static_cast<DWORD>(nTypeFilter))
            names.emplace_back(strName.substr(0, cchName), dwType);
    }
}

}  // namespace

void CHRegistry::RegOpenRegKey(CHRegKey& key, const std::wstring& strPath, bool bThrow, bool bWrite, bool bCreate,
                               bool bUse64bitHive)
{
    HTRY {
        key.Reset();
        const std::vector<std::wstring> names = CHStringHelper::TokenizeString(strPath, L"\\");
        const HKEY hRoot = names.empty() ? nullptr : RootKeyOf(names.front());
        if (!hRoot)
            throw CHException(HError::InvalidParameter, HSITE).AddValue(L"Registry key", strPath);

        const REGSAM samRead = KEY_READ | (bUse64bitHive ? KEY_WOW64_64KEY : 0);
        // Each level is opened from the one before and replaces it; closing
        // the root key (when the first level replaces it) does nothing.
        CHRegKey current(hRoot);
        LSTATUS status = ERROR_SUCCESS;
        for (size_t i = 1; i < names.size() && status == ERROR_SUCCESS; ++i) {
            const bool bLast = i + 1 == names.size();
            const REGSAM sam = samRead | (bLast && bWrite ? KEY_WRITE : 0);
            HKEY hNext = nullptr;
            status = bCreate ? ::RegCreateKeyExW(current.Get(), names[i].c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                                 sam, nullptr, &hNext, nullptr)
                             : ::RegOpenKeyExW(current.Get(), names[i].c_str(), 0, sam, &hNext);
            if (status == ERROR_SUCCESS)
                current.Reset(hNext);
        }
        if (status == ERROR_SUCCESS) {
            key = std::move(current);
            return;
        }
        if (!bThrow && !bCreate)
            return;
        CHException e = CHException::FromWin32Error(static_cast<DWORD>(status), HSITE);
        e.AddEntry(HError::OpenRegistryKeyFailed, HSITE);
        e.AddValue(L"Registry key", strPath);
        throw e;
    } HCATCH
}

std::wstring CHRegistry::GetStringValue(const std::wstring& strPath, const std::wstring& strValueName,
                                        const wchar_t* pszDefault, bool bUse64bitHive)
{
    HTRY {
        HTRY {
            CHRegKey key;
            RegOpenRegKey(key, strPath, pszDefault == nullptr, false, false, bUse64bitHive);
            if (!key)
                return pszDefault;

            std::wstring strText;
            const LSTATUS status = ReadStringValue(key.Get(), strValueName, strText);
            if (status == ERROR_SUCCESS)
                return strText;
            if (pszDefault)
                return pszDefault;
            throw CHException::FromWin32Error(static_cast<DWORD>(status), HSITE);
        } HCATCH
    } HCATCH_ATTACH([&](CHException& e) {
        e.AddEntry(HError::ReadRegistryValueFailed);
        e.AddValue(L"Registry key", ValuePath(strPath, strValueName));
        e.AddValue(L"bUse64bitHive", bUse64bitHive ? 1 : 0, false);
    })
}

DWORD CHRegistry::GetDWORDValue(const std::wstring& strPath, const std::wstring& strValueName, DWORD dwDefault,
                                bool bThrow)
{
    HTRY {
        CHRegKey key;
        RegOpenRegKey(key, strPath, bThrow, false, false, false);
        if (!key)
            return dwDefault;

        DWORD dwType = REG_NONE;
        DWORD dwValue = 0;
        DWORD cbValue = sizeof(dwValue);
        LSTATUS status = ::RegQueryValueExW(key.Get(), strValueName.c_str(), nullptr, &dwType,
                                            reinterpret_cast<BYTE*>(&dwValue), &cbValue);
        // A string too long for four bytes reports ERROR_MORE_DATA; like any
        // value of another type (or a DWORD of another size) it is invalid data.
        const bool bFound = status == ERROR_SUCCESS || status == ERROR_MORE_DATA;
        if (bFound && (dwType != REG_DWORD || cbValue != sizeof(DWORD)))
            status = ERROR_INVALID_DATA;
        if (status == ERROR_SUCCESS)
            return dwValue;
        if (!bThrow)
            return dwDefault;
        throw ValueFailure(status, HError::ReadRegistryValueFailed, strPath, strValueName, HSITE);
    } HCATCH
}

void CHRegistry::SetValue(const std::wstring& strPath, const std::wstring& strValueName, const std::wstring& strValue)
{
    HTRY {
        CHRegKey key;
        RegOpenRegKey(key, strPath, true, true, true, false);
        // The text and its terminating zero.
        const size_t cbData = (strValue.size() + 1) * sizeof(wchar_t);
        const LSTATUS status = cbData > MAXDWORD ? ERROR_INVALID_DATA
                                                 : ::RegSetValueExW(key.Get(), strValueName.c_str(), 0, REG_SZ,
                                                                    reinterpret_cast<const BYTE*>(strValue.c_str()),
                                                                    static_cast<DWORD>(cbData));
        if (status != ERROR_SUCCESS)
            throw ValueFailure(status, HError::WriteRegistryValueFailed, strPath, strValueName, HSITE);
    } HCATCH
}

void CHRegistry::SetValue(const std::wstring& strPath, const std::wstring& strValueName, DWORD dwValue)
{
    HTRY {
        CHRegKey key;
        RegOpenRegKey(key, strPath, true, true, true, false);
        const LSTATUS status = ::RegSetValueExW(key.Get(), strValueName.c_str(), 0, REG_DWORD,
                                                reinterpret_cast<const BYTE*>(&dwValue), sizeof(dwValue));
        if (status != ERROR_SUCCESS)
            throw ValueFailure(status, HError::WriteRegistryValueFailed, strPath, strValueName, HSITE);
    } HCATCH
}

void CHRegistry::GetValueNames(ValueNames& names, const std::wstring& strPath, int nTypeFilter)
{
    HTRY {
        names.clear();
        CHRegKey key;
        RegOpenRegKey(key, strPath, false, false, false, false);
        if (key)
            EnumerateValueNames(key.Get(), nTypeFilter, names);
    } HCATCH
}

bool CHRegistry::Exists(const std::wstring& strPath, const wchar_t* pszValueName)
{
    HTRY {
        CHRegKey key;
        RegOpenRegKey(key, strPath, false, false, false, false);
        if (!key)
            return false;
        if (!pszValueName)
            return true;

        ValueNames names;
        EnumerateValueNames(key.Get(), AllTypes, names);
        return std::any_of(names.begin(), names.end(),
                           [&](const auto& name) { return CHStringHelper::EqualsNoCase(name.first, pszValueName); });
    } HCATCH
}
