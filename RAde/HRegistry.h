// Registry keys addressed by one textual path whose first component names the
// root: "HKEY_CURRENT_USER\Software\Halvik\Logging". Readers either throw or
// return a caller's default; writers create missing key levels.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "RAde/HUniqueHandle.h"

// An open registry key. Closing a predefined root key does nothing.
using CHRegKey = CHUniqueHandle<CHCloseWith<HKEY, ::RegCloseKey>>;

class CHRegistry
{
public:
    // A value's name and registry type, as GetValueNames lists them.
    using ValueNames = std::vector<std::pair<std::wstring, DWORD>>;
    static constexpr int AllTypes = -1;

    // Opens (or with bCreate creates) the key that the path names, one level
    // at a time. Root names are "HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER",
    // "HKEY_CURRENT_CONFIG", "HKEY_USERS" and "HKEY_CLASSES_ROOT", exactly;
    // another first component throws 1010. On failure the key stays empty,
    // or, with bThrow or bCreate, the system error is thrown followed by
    // "Failed to open registry key." (2004) with the value "Registry key".
    static void RegOpenRegKey(CHRegKey& key, const std::wstring& strPath, bool bThrow, bool bWrite, bool bCreate,
                              bool bUse64bitHive);

    // A string value (REG_SZ, or REG_EXPAND_SZ unexpanded). With a default,
    // anything missing or of another type gives the default; without one
    // (null) it throws, with "Failed to read registry value." (2014).
    static std::wstring GetStringValue(const std::wstring& strPath, const std::wstring& strValueName,
                                       const wchar_t* pszDefault, bool bUse64bitHive);
    // A DWORD value; anything missing or of another type gives the default,
    // or throws with "Failed to read registry value." when bThrow is set.
    static DWORD GetDWORDValue(const std::wstring& strPath, const std::wstring& strValueName, DWORD dwDefault,
                               bool bThrow);
    // Writes a REG_SZ or REG_DWORD value, creating missing key levels; a
    // failure throws with "Failed to write registry value." (2015).
    static void SetValue(const std::wstring& strPath, const std::wstring& strValueName, const std::wstring& strValue);
    static void SetValue(const std::wstring& strPath, const std::wstring& strValueName, DWORD dwValue);
    // The names of the key's values of the given type (AllTypes: every
    // value), in enumeration order; empty when the key cannot be opened.
    static void GetValueNames(ValueNames& names, const std::wstring& strPath, int nTypeFilter);
    // Whether the key exists; with a value name, whether it holds a value of
    // that name (compared ignoring case).
    static bool Exists(const std::wstring& strPath, const wchar_t* pszValueName);
};
