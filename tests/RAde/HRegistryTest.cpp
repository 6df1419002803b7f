// Registry paths against the real registry of the test prefix: opening and
// creating key chains, string and DWORD reads with their defaults and
// failures, writes, value listings and existence tests. Every test works
// below a key of its own, deleted at its end.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "RAde/HException.h"
#include "RAde/HRegistry.h"
#include "TestSupport.h"

namespace {

const std::wstring kTestRoot = L"HKEY_CURRENT_USER";

class CHRegistryTest : public testing::Test
{
protected:
    CHRegistryTest()
    {
        static LONG s_nCounter = 0;
        m_strSubKey = L"Software\\HalvikTest\\" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
                      std::to_wstring(::InterlockedIncrement(&s_nCounter));
        m_strKey = kTestRoot + L"\\" + m_strSubKey;
    }
    ~CHRegistryTest() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, m_strSubKey.c_str()); }

    // Writes a value with exactly these bytes, creating the test key.
    void WriteRaw(const std::wstring& strName, DWORD dwType, const void* pData, DWORD cbData)
    {
        HKEY hKey = nullptr;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, m_strSubKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                    &hKey, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(::RegSetValueExW(hKey, strName.c_str(), 0, dwType, static_cast<const BYTE*>(pData), cbData),
                  ERROR_SUCCESS);
        ::RegCloseKey(hKey);
    }
    void WriteString(const std::wstring& strName, DWORD dwType, const std::wstring& strText)
    {
        WriteRaw(strName, dwType, strText.c_str(), static_cast<DWORD>((strText.size() + 1) * sizeof(wchar_t)));
    }

    // A value's type and bytes as the registry holds them.
    bool ReadRaw(const std::wstring& strSubKey, const std::wstring& strName, DWORD& dwType, std::string& bytes)
    {
        DWORD cbData = 0;
        if (::RegGetValueW(HKEY_CURRENT_USER, strSubKey.c_str(), strName.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &dwType,
                           nullptr, &cbData) != ERROR_SUCCESS)
            return false;
        bytes.assign(cbData, '\0');
        return ::RegGetValueW(HKEY_CURRENT_USER, strSubKey.c_str(), strName.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &dwType,
                              bytes.data(), &cbData) == ERROR_SUCCESS;
    }

    std::wstring m_strSubKey;  // below HKEY_CURRENT_USER
    std::wstring m_strKey;     // the full path the library takes
};

std::string BytesOf(const std::wstring& strText)
{
    return std::string(reinterpret_cast<const char*>(strText.c_str()), (strText.size() + 1) * sizeof(wchar_t));
}

CHRegistry::ValueNames Sorted(CHRegistry::ValueNames names)
{
    std::sort(names.begin(), names.end());
    return names;
}

const int kFileNotFound = HResultFromWin32(ERROR_FILE_NOT_FOUND);
const int kInvalidData = HResultFromWin32(ERROR_INVALID_DATA);

}  // namespace

// ---------------------------------------------------------------------------
// Opening key paths

TEST_F(CHRegistryTest, RootNameMustBeOneOfTheFiveExactly)
{
    for (const wchar_t* pszPath :
         {L"hkey_current_user\\Software", L"HKCU\\Software", L"", L"\\\\", L"Software\\HKEY_CURRENT_USER"}) {
        CHRegKey key;
        CHException e = CatchThrown([&] { CHRegistry::RegOpenRegKey(key, pszPath, false, false, false, false); });
        EXPECT_EQ(ErrorCodesOf(e).front(), 1010) << pszPath;
        EXPECT_FALSE(key);
    }
    // Also the readers that otherwise fall back to their default refuse it.
    CHException e = CatchThrown([] { CHRegistry::GetStringValue(L"hkey_current_user\\Software", L"x", L"d", false); });
    EXPECT_EQ(ErrorCodesOf(e).front(), 1010);
    EXPECT_EQ(e.GetDescription(0), L"Failed to read registry value.\n\tRegistrykey:\thkey_current_user\\Software\\x\n"
                                   L"\tbUse64bitHive:\t0\n");
    EXPECT_EQ(ErrorCodesOf(CatchThrown([] { CHRegistry::Exists(L"hkey_users", nullptr); })).front(), 1010);

    for (const wchar_t* pszRoot :
         {L"HKEY_LOCAL_MACHINE", L"HKEY_CURRENT_USER", L"HKEY_CURRENT_CONFIG", L"HKEY_USERS", L"HKEY_CLASSES_ROOT"})
        EXPECT_TRUE(CHRegistry::Exists(pszRoot, nullptr)) << pszRoot;
}

TEST_F(CHRegistryTest, PathOfOnlyARootNameGivesTheRootKey)
{
    CHRegKey key;
    CHRegistry::RegOpenRegKey(key, L"HKEY_CURRENT_USER", true, false, false, false);
    EXPECT_EQ(key.Get(), HKEY_CURRENT_USER);
    CHRegistry::RegOpenRegKey(key, L"\\HKEY_LOCAL_MACHINE\\", true, true, false, false);
    EXPECT_EQ(key.Get(), HKEY_LOCAL_MACHINE);
}

TEST_F(CHRegistryTest, MissingKeyIsEmptyOrThrowsWithItsPath)
{
    const std::wstring strMissing = m_strKey + L"\\missing";
    CHRegKey key(HKEY_CURRENT_USER);  // reset by the call
    CHRegistry::RegOpenRegKey(key, strMissing, false, true, false, false);
    EXPECT_FALSE(key);

    CHException e = CatchThrown([&] { CHRegistry::RegOpenRegKey(key, strMissing, true, false, false, false); });
    EXPECT_EQ(ErrorCodesOf(e), (std::vector<int>{kFileNotFound, 2004, 1005}));
    EXPECT_EQ(e.GetDescription(0), L"Failed to open registry key.\n\tRegistrykey:\t" + strMissing + L"\n");
    EXPECT_FALSE(key);
    // Opening never creates.
    EXPECT_FALSE(CHRegistry::Exists(m_strKey, nullptr));
}

TEST_F(CHRegistryTest, WriteAccessOnlyWhenAskedAndEmptyComponentsSkipped)
{
    WriteString(L"v", REG_SZ, L"x");
    const std::wstring strSloppyPath = L"HKEY_CURRENT_USER\\\\" + m_strSubKey + L"\\";
    const DWORD dwValue = 7;

    CHRegKey readOnly;
    CHRegistry::RegOpenRegKey(readOnly, strSloppyPath, true, false, false, false);
    ASSERT_TRUE(readOnly);
    EXPECT_EQ(
        ::RegSetValueExW(readOnly.Get(), L"w", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwValue), sizeof(dwValue)),
        ERROR_ACCESS_DENIED);
    DWORD cbData = 0;
    EXPECT_EQ(::RegQueryValueExW(readOnly.Get(), L"v", nullptr, nullptr, nullptr, &cbData), ERROR_SUCCESS);

    CHRegKey writable;
    CHRegistry::RegOpenRegKey(writable, strSloppyPath, true, true, false, false);
    ASSERT_TRUE(writable);
    EXPECT_EQ(
        ::RegSetValueExW(writable.Get(), L"w", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwValue), sizeof(dwValue)),
        ERROR_SUCCESS);
}

TEST_F(CHRegistryTest, SixtyFourBitViewOpensMachineKeys)
{
    const std::wstring strKey = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
    CHRegKey key;
    CHRegistry::RegOpenRegKey(key, strKey, true, false, false, true);
    EXPECT_TRUE(key);

    HKEY hKey = nullptr;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", 0,
                              KEY_READ | KEY_WOW64_64KEY, &hKey),
              ERROR_SUCCESS);
    wchar_t szExpected[256] = {};
    DWORD cbExpected = sizeof(szExpected);
    const LSTATUS status =
        ::RegGetValueW(hKey, nullptr, L"CurrentVersion", RRF_RT_REG_SZ, nullptr, szExpected, &cbExpected);
    ::RegCloseKey(hKey);
    ASSERT_EQ(status, ERROR_SUCCESS);
    EXPECT_EQ(CHRegistry::GetStringValue(strKey, L"CurrentVersion", nullptr, true), szExpected);
}

// ---------------------------------------------------------------------------
// Strings

TEST_F(CHRegistryTest, SetValueCreatesTheChainAndWritesTextWithItsZero)
{
    const std::wstring strDeep = m_strKey + L"\\one\\two\\three\\four";
    // Far beyond any first guess of a buffer, yet below 64 KiB: Wine hands a
    // larger value to its server in pieces, and a signal arriving between them
    // ends the test program ("wine client error: partial write").
    const std::wstring strLong(30000, L'q');
    CHRegistry::SetValue(strDeep, L"Text", L"Halvik \u00DClvo");
    CHRegistry::SetValue(strDeep, L"Long", strLong);
    CHRegistry::SetValue(strDeep, L"Empty", L"");

    DWORD dwType = 0;
    std::string bytes;
    ASSERT_TRUE(ReadRaw(m_strSubKey + L"\\one\\two\\three\\four", L"Text", dwType, bytes));
    EXPECT_EQ(dwType, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(bytes, BytesOf(L"Halvik \u00DClvo"));

    EXPECT_EQ(CHRegistry::GetStringValue(strDeep, L"Text", nullptr, false), L"Halvik \u00DClvo");
    EXPECT_EQ(CHRegistry::GetStringValue(strDeep, L"Long", nullptr, false), strLong);
    EXPECT_EQ(CHRegistry::GetStringValue(strDeep, L"Empty", L"default", false), L"");
    // Writing again overwrites.
    CHRegistry::SetValue(strDeep, L"Text", L"second");
    EXPECT_EQ(CHRegistry::GetStringValue(strDeep, L"Text", nullptr, false), L"second");
}

TEST_F(CHRegistryTest, GetStringValueFallsBackToTheDefault)
{
    WriteString(L"s", REG_SZ, L"text");
    const DWORD dwValue = 5;
    WriteRaw(L"d", REG_DWORD, &dwValue, sizeof(dwValue));

    EXPECT_EQ(CHRegistry::GetStringValue(m_strKey, L"s", L"default", false), L"text");
    EXPECT_EQ(CHRegistry::GetStringValue(m_strKey, L"S", L"default", false), L"text");
    EXPECT_EQ(CHRegistry::GetStringValue(m_strKey, L"missing", L"default", false), L"default");
    EXPECT_EQ(CHRegistry::GetStringValue(m_strKey, L"d", L"default", false), L"default");
    EXPECT_EQ(CHRegistry::GetStringValue(m_strKey + L"\\missing", L"s", L"default", false), L"default");
}

TEST_F(CHRegistryTest, GetStringValueWithoutDefaultThrowsWithKeyAndView)
{
    const DWORD dwValue = 5;
    WriteRaw(L"d", REG_DWORD, &dwValue, sizeof(dwValue));

    CHException eMissing = CatchThrown([&] { CHRegistry::GetStringValue(m_strKey, L"missing", nullptr, true); });
    EXPECT_EQ(ErrorCodesOf(eMissing), (std::vector<int>{kFileNotFound, 1005, 2014, 1005}));
    EXPECT_EQ(eMissing.GetDescription(0),
              L"Failed to read registry value.\n\tRegistrykey:\t" + m_strKey + L"\\missing\n\tbUse64bitHive:\t1\n");
    EXPECT_EQ(ErrorFunctionsOf(eMissing), std::vector<std::wstring>(3, L"CHRegistry::GetStringValue"));

    CHException eType = CatchThrown([&] { CHRegistry::GetStringValue(m_strKey, L"d", nullptr, false); });
    EXPECT_EQ(ErrorCodesOf(eType).front(), kInvalidData);
    EXPECT_EQ(eType.GetDescription(0),
              L"Failed to read registry value.\n\tRegistrykey:\t" + m_strKey + L"\\d\n\tbUse64bitHive:\t0\n");

    // A missing key: the opening's failure with the key, then the read's with the value.
    const std::wstring strMissingKey = m_strKey + L"\\nokey";
    CHException eKey = CatchThrown([&] { CHRegistry::GetStringValue(strMissingKey, L"v", nullptr, false); });
    EXPECT_TRUE(eKey.FindErrorCode(kFileNotFound, nullptr));
    EXPECT_TRUE(eKey.FindErrorCode(2004, nullptr));
    EXPECT_EQ(eKey.GetDescription(1), L"Failed to read registry value.\n\tRegistrykey:\t" + strMissingKey +
                                          L"\\v\n\tbUse64bitHive:\t0\nFailed to open registry key.\n"
                                          L"\tRegistrykey:\t" +
                                          strMissingKey + L"\n" + GetErrorMessageText(ERROR_FILE_NOT_FOUND) + L"\n");
}

TEST_F(CHRegistryTest, ExpandableStringIsReadAsStored)
{
    WriteString(L"e", REG_EXPAND_SZ, L"%SystemRoot%\\hs");
    EXPECT_EQ(CHRegistry::GetStringValue(m_strKey, L"e", nullptr, false), L"%SystemRoot%\\hs");
}

TEST_F(CHRegistryTest, StringIsNeverReadPastItsData)
{
    // "abcdef" is in memory, but only "abc" (6 bytes, no terminating zero) is stored.
    const wchar_t szText[] = L"abcdef";
    WriteRaw(L"unterminated", REG_SZ, szText, 6);
    // Seven bytes: three characters and half of a fourth.
    WriteRaw(L"odd", REG_SZ, szText, 7);
    WriteRaw(L"one byte", REG_SZ, szText, 1);
    WriteRaw(L"no bytes", REG_SZ, szText, 0);
    const wchar_t szWithZero[] = L"ab\0cd";
    WriteRaw(L"inner zero", REG_SZ, szWithZero, sizeof(szWithZero));

    EXPECT_EQ(CHRegistry::GetStringValue(m_strKey, L"unterminated", nullptr, false), L"abc");
    EXPECT_EQ(CHRegistry::GetStringValue(m_strKey, L"odd", nullptr, false), L"abc");
    EXPECT_EQ(CHRegistry::GetStringValue(m_strKey, L"one byte", nullptr, false), L"");
    EXPECT_EQ(CHRegistry::GetStringValue(m_strKey, L"no bytes", nullptr, false), L"");
    EXPECT_EQ(CHRegistry::GetStringValue(m_strKey, L"inner zero", nullptr, false), L"ab");
}

TEST_F(CHRegistryTest, WriteFailureThrowsWithTheSystemsError)
{
    // A value name longer than the registry allows.
    const std::wstring strName(20000, L'n');
    HKEY hKey = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, m_strSubKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &hKey,
                                nullptr),
              ERROR_SUCCESS);
    const wchar_t szText[] = L"x";
    const LSTATUS expected =
        ::RegSetValueExW(hKey, strName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(szText), sizeof(szText));
    ::RegCloseKey(hKey);
    ASSERT_NE(expected, ERROR_SUCCESS);

    for (bool bDword : {false, true}) {
        CHException e = CatchThrown([&] {
            if (bDword)
                CHRegistry::SetValue(m_strKey, strName, DWORD{1});
            else
                CHRegistry::SetValue(m_strKey, strName, L"x");
        });
        EXPECT_EQ(ErrorCodesOf(e), (std::vector<int>{HResultFromWin32(expected), 2015, 1005}));
        EXPECT_EQ(e.GetDescription(0),
                  L"Failed to write registry value.\n\tRegistrykey:\t" + m_strKey + L"\\" + strName + L"\n");
    }
}

// ---------------------------------------------------------------------------
// DWORDs

TEST_F(CHRegistryTest, DwordRoundTripAndDefaults)
{
    CHRegistry::SetValue(m_strKey + L"\\a\\b", L"n", DWORD{0xFFFFFFFE});
    DWORD dwType = 0;
    std::string bytes;
    ASSERT_TRUE(ReadRaw(m_strSubKey + L"\\a\\b", L"n", dwType, bytes));
    EXPECT_EQ(dwType, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(bytes, std::string("\xFE\xFF\xFF\xFF", 4));

    EXPECT_EQ(CHRegistry::GetDWORDValue(m_strKey + L"\\a\\b", L"n", 3, true), 0xFFFFFFFEu);
    EXPECT_EQ(CHRegistry::GetDWORDValue(m_strKey + L"\\a\\b", L"missing", 3, false), 3u);
    EXPECT_EQ(CHRegistry::GetDWORDValue(m_strKey + L"\\missing", L"n", 4, false), 4u);
}

TEST_F(CHRegistryTest, DwordOfAnotherTypeIsInvalidData)
{
    WriteString(L"short", REG_SZ, L"1");        // fits into four bytes
    WriteString(L"long", REG_SZ, L"12345678");  // does not
    const DWORD dwValue = 9;
    WriteRaw(L"binary", REG_BINARY, &dwValue, sizeof(dwValue));
    WriteRaw(L"two bytes", REG_DWORD, &dwValue, 2);

    for (const wchar_t* pszName : {L"short", L"long", L"binary", L"two bytes"}) {
        EXPECT_EQ(CHRegistry::GetDWORDValue(m_strKey, pszName, 42, false), 42u) << pszName;
        CHException e = CatchThrown([&] { CHRegistry::GetDWORDValue(m_strKey, pszName, 42, true); });
        EXPECT_EQ(ErrorCodesOf(e), (std::vector<int>{kInvalidData, 2014, 1005})) << pszName;
        EXPECT_EQ(e.GetDescription(0),
                  L"Failed to read registry value.\n\tRegistrykey:\t" + m_strKey + L"\\" + pszName + L"\n");
    }
}

TEST_F(CHRegistryTest, DwordThrowsForMissingValueAndKey)
{
    CHRegistry::SetValue(m_strKey, L"n", DWORD{1});
    CHException eValue = CatchThrown([&] { CHRegistry::GetDWORDValue(m_strKey, L"missing", 0, true); });
    EXPECT_EQ(ErrorCodesOf(eValue), (std::vector<int>{kFileNotFound, 2014, 1005}));

    CHException eKey = CatchThrown([&] { CHRegistry::GetDWORDValue(m_strKey + L"\\missing", L"n", 0, true); });
    EXPECT_EQ(ErrorCodesOf(eKey), (std::vector<int>{kFileNotFound, 2004, 1005, 1005}));
    EXPECT_EQ(eKey.GetDescription(0), L"Failed to open registry key.\n\tRegistrykey:\t" + m_strKey + L"\\missing\n");
}

// ---------------------------------------------------------------------------
// Listing and existence

TEST_F(CHRegistryTest, GetValueNamesFiltersByType)
{
    WriteString(L"s1", REG_SZ, L"a");
    WriteString(L"e1", REG_EXPAND_SZ, L"%b%");
    const DWORD dwValue = 1;
    WriteRaw(L"d1", REG_DWORD, &dwValue, sizeof(dwValue));
    WriteString(L"s2", REG_SZ, L"c");

    CHRegistry::ValueNames names{{L"stale", 1}};
    CHRegistry::GetValueNames(names, m_strKey, REG_SZ);
    EXPECT_EQ(Sorted(names), (CHRegistry::ValueNames{{L"s1", REG_SZ}, {L"s2", REG_SZ}}));
    CHRegistry::GetValueNames(names, m_strKey, REG_EXPAND_SZ);
    EXPECT_EQ(names, (CHRegistry::ValueNames{{L"e1", REG_EXPAND_SZ}}));
    CHRegistry::GetValueNames(names, m_strKey, CHRegistry::AllTypes);
    EXPECT_EQ(Sorted(names),
              (CHRegistry::ValueNames{{L"d1", REG_DWORD}, {L"e1", REG_EXPAND_SZ}, {L"s1", REG_SZ}, {L"s2", REG_SZ}}));
    CHRegistry::GetValueNames(names, m_strKey, REG_BINARY);
    EXPECT_TRUE(names.empty());

    names.assign(1, {L"stale", 1});
    CHRegistry::GetValueNames(names, m_strKey + L"\\missing", CHRegistry::AllTypes);
    EXPECT_TRUE(names.empty());
}

TEST_F(CHRegistryTest, ExistsComparesValueNamesIgnoringCase)
{
    EXPECT_FALSE(CHRegistry::Exists(m_strKey, nullptr));
    EXPECT_FALSE(CHRegistry::Exists(m_strKey, L"MiXeD"));
    WriteString(L"MiXeD", REG_SZ, L"");

    EXPECT_TRUE(CHRegistry::Exists(m_strKey, nullptr));
    EXPECT_TRUE(CHRegistry::Exists(m_strKey, L"MiXeD"));
    EXPECT_TRUE(CHRegistry::Exists(m_strKey, L"mixed"));
    EXPECT_FALSE(CHRegistry::Exists(m_strKey, L"mixe"));
    EXPECT_FALSE(CHRegistry::Exists(m_strKey, L"mixed2"));
    EXPECT_FALSE(CHRegistry::Exists(m_strKey, L""));
    EXPECT_FALSE(CHRegistry::Exists(m_strKey + L"\\missing", nullptr));
}
