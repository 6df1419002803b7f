// Starting a program with the environment a fresh logon would give, read
// from the machine's and the user's environment keys of the registry. The
// tests write variables of their own names into those keys (and restore
// them), start ProcessProbe.exe and read its environment back from its
// record. The refresh also changes this test process's own environment;
// every test puts that back as it was when it ends.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "RAde/HException.h"
#include "RAde/HProcess.h"
#include "RAde/HUpdateUtilities.h"
#include "TestSupport.h"
#include "helpers/ProcessProbeRecord.h"

namespace {

const wchar_t kMachineSubKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
const wchar_t kUserSubKey[] = L"Environment";
constexpr DWORD g_dwProcessTimeoutMs = 20000;

std::wstring ProbePath()
{
    return TestProgramFolder() + L"ProcessProbe.exe";
}

std::optional<std::wstring> Variable(const std::wstring& strName)
{
    ::SetLastError(ERROR_SUCCESS);
    const DWORD cchValue = ::GetEnvironmentVariableW(strName.c_str(), nullptr, 0);
    if (cchValue == 0 && ::GetLastError() == ERROR_ENVVAR_NOT_FOUND)
        return std::nullopt;
    std::wstring strValue(cchValue + 1, L'\0');
    strValue.resize(::GetEnvironmentVariableW(strName.c_str(), strValue.data(), static_cast<DWORD>(strValue.size())));
    return strValue;
}

std::wstring Expanded(const std::wstring& strText)
{
    wchar_t szResult[4096] = {};
    EXPECT_GT(::ExpandEnvironmentStringsW(strText.c_str(), szResult, 4096), 0u);
    return szResult;
}

// This process's variables (without the hidden "=C:" kind).
std::map<std::wstring, std::wstring> EnvironmentOfThisProcess()
{
    std::map<std::wstring, std::wstring> variables;
    wchar_t* pBlock = ::GetEnvironmentStringsW();
    for (const wchar_t* p = pBlock; *p; p += wcslen(p) + 1) {
        const std::wstring strEntry = p;
        const size_t nEquals = strEntry.find(L'=', 1);
        if (strEntry[0] != L'=' && nEquals != std::wstring::npos)
            variables[strEntry.substr(0, nEquals)] = strEntry.substr(nEquals + 1);
    }
    ::FreeEnvironmentStringsW(pBlock);
    return variables;
}

// Puts this process's environment back as it was at construction.
class CEnvironmentRestorer
{
public:
    CEnvironmentRestorer() : m_variables(EnvironmentOfThisProcess()) {}
    ~CEnvironmentRestorer()
    {
        for (const auto& [strName, strValue] : EnvironmentOfThisProcess())
            if (!m_variables.count(strName))
                ::SetEnvironmentVariableW(strName.c_str(), nullptr);
        for (const auto& [strName, strValue] : m_variables)
            ::SetEnvironmentVariableW(strName.c_str(), strValue.c_str());
    }
    const std::map<std::wstring, std::wstring>& Saved() const { return m_variables; }

private:
    std::map<std::wstring, std::wstring> m_variables;
};

// A registry value as stored: type and bytes.
struct CStoredValue
{
    DWORD dwType;
    std::string bytes;
};

std::optional<CStoredValue> ReadStored(HKEY hRoot, const std::wstring& strSubKey, const std::wstring& strName)
{
    CStoredValue value = {};
    DWORD cbData = 0;
    if (::RegGetValueW(hRoot, strSubKey.c_str(), strName.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &value.dwType, nullptr,
                       &cbData) != ERROR_SUCCESS)
        return std::nullopt;
    value.bytes.assign(cbData, '\0');
    if (::RegGetValueW(hRoot, strSubKey.c_str(), strName.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &value.dwType,
                       value.bytes.data(), &cbData) != ERROR_SUCCESS)
        return std::nullopt;
    value.bytes.resize(cbData);
    return value;
}

void WriteStored(HKEY hRoot, const std::wstring& strSubKey, const std::wstring& strName, const CStoredValue& value)
{
    HKEY hKey = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(hRoot, strSubKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &hKey, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(::RegSetValueExW(hKey, strName.c_str(), 0, value.dwType,
                               reinterpret_cast<const BYTE*>(value.bytes.data()),
                               static_cast<DWORD>(value.bytes.size())),
              ERROR_SUCCESS);
    ::RegCloseKey(hKey);
}

CStoredValue StringValue(DWORD dwType, const std::wstring& strText)
{
    return {dwType, std::string(reinterpret_cast<const char*>(strText.c_str()), (strText.size() + 1) * 2)};
}

// Writes a value for the length of a test and then puts back what was there
// before (or nothing).
class CValueGuard
{
public:
    CValueGuard(HKEY hRoot, std::wstring strSubKey, std::wstring strName, DWORD dwType, const std::wstring& strText)
        : m_hRoot(hRoot), m_strSubKey(std::move(strSubKey)), m_strName(std::move(strName)),
          m_previous(ReadStored(m_hRoot, m_strSubKey, m_strName))
    {
        WriteStored(m_hRoot, m_strSubKey, m_strName, StringValue(dwType, strText));
    }
    ~CValueGuard()
    {
        if (m_previous)
            WriteStored(m_hRoot, m_strSubKey, m_strName, *m_previous);
        else
            ::RegDeleteKeyValueW(m_hRoot, m_strSubKey.c_str(), m_strName.c_str());
    }
    CValueGuard(const CValueGuard&) = delete;
    CValueGuard& operator=(const CValueGuard&) = delete;

private:
    HKEY m_hRoot;
    std::wstring m_strSubKey;
    std::wstring m_strName;
    std::optional<CStoredValue> m_previous;
};

// Takes the machine's environment key away and puts it back with every value.
class CMachineKeyRemoval
{
public:
    CMachineKeyRemoval()
    {
        HKEY hKey = nullptr;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kMachineSubKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
            return;
        std::wstring strName(16384, L'\0');
        for (DWORD dwIndex = 0;; ++dwIndex) {
            DWORD cchName = 16384;
            if (::RegEnumValueW(hKey, dwIndex, strName.data(), &cchName, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            const std::wstring strValueName = strName.substr(0, cchName);
            if (auto value = ReadStored(HKEY_LOCAL_MACHINE, kMachineSubKey, strValueName))
                m_values.emplace_back(strValueName, *value);
        }
        ::RegCloseKey(hKey);
        m_bRemoved = ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kMachineSubKey) == ERROR_SUCCESS;
    }
    ~CMachineKeyRemoval()
    {
        for (const auto& [strName, value] : m_values)
            WriteStored(HKEY_LOCAL_MACHINE, kMachineSubKey, strName, value);
    }
    bool Removed() const { return m_bRemoved; }

private:
    std::vector<std::pair<std::wstring, CStoredValue>> m_values;
    bool m_bRemoved = false;
};

bool MachineKeyExists()
{
    HKEY hKey = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kMachineSubKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(hKey);
    return true;
}

std::wstring StoredText(HKEY hRoot, const std::wstring& strSubKey, const std::wstring& strName)
{
    auto value = ReadStored(hRoot, strSubKey, strName);
    if (!value || value->bytes.size() < 2)
        return std::wstring();
    std::wstring strText(reinterpret_cast<const wchar_t*>(value->bytes.data()), value->bytes.size() / 2);
    return strText.substr(0, strText.find(L'\0'));
}

class CHUpdateUtilitiesTest : public testing::Test
{
protected:
    void SetUp() override
    {
        // A run that ended in the middle of the missing-key test would have
        // left the prefix without it; everything else here would then mislead.
        ASSERT_TRUE(MachineKeyExists());
        m_strRecord = UniqueTempPath(L"envprobe") + L".txt";
    }
    void TearDown() override { ::DeleteFileW(m_strRecord.c_str()); }

    // Starts the probe through the refresh, asking for the variables, and
    // returns its record once it has ended.
    std::optional<CProcessProbeRecord> StartProbe(const std::vector<std::wstring>& variables, bool bInProgramFolder)
    {
        std::wstring strArgument = L"/out=" + m_strRecord;
        for (const std::wstring& strName : variables)
            strArgument += L" /env=" + strName;
        CHProcess process;
        CHUpdateUtilities::StartProcessEnvVarsUpdated(process, ProbePath(), strArgument, bInProgramFolder);
        EXPECT_EQ(process.Wait(g_dwProcessTimeoutMs), WAIT_OBJECT_0);
        return ReadProcessProbeRecord(m_strRecord);
    }

    CEnvironmentRestorer m_environment;
    std::wstring m_strRecord;
};

}  // namespace

TEST_F(CHUpdateUtilitiesTest, MachineVariablesReachTheProgramExpandedAfterAllAreSet)
{
    const std::wstring strId = UniqueSuffix();
    const std::wstring strExpandable = L"HS_ENV_M_" + strId;
    const std::wstring strPlain = L"HS_ENV_Z_" + strId;
    // Before the variable it refers to, both by name (Wine lists values
    // sorted) and by the order of writing.
    const std::wstring strReferring = L"HS_ENV_A_" + strId;
    CValueGuard referring(HKEY_LOCAL_MACHINE, kMachineSubKey, strReferring, REG_EXPAND_SZ,
                          L"%" + strPlain + L"%|%hs_undefined_" + strId + L"%");
    CValueGuard expandable(HKEY_LOCAL_MACHINE, kMachineSubKey, strExpandable, REG_EXPAND_SZ,
                           L"%SystemRoot%\\hs_" + strId);
    CValueGuard plain(HKEY_LOCAL_MACHINE, kMachineSubKey, strPlain, REG_SZ, L"%SystemRoot%\\plain");

    auto record = StartProbe({strExpandable, strPlain, strReferring}, true);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->environment[strExpandable], Expanded(L"%SystemRoot%\\hs_" + strId));
    EXPECT_NE(record->environment[strExpandable], L"%SystemRoot%\\hs_" + strId);
    // A plain string stays as written, also where another variable refers to
    // it; a reference to no variable stays as written.
    EXPECT_EQ(record->environment[strPlain], L"%SystemRoot%\\plain");
    EXPECT_EQ(record->environment[strReferring], L"%SystemRoot%\\plain|%hs_undefined_" + strId + L"%");
    // Started in its own folder.
    EXPECT_EQ(record->strCurrentDirectory + L"\\", TestProgramFolder());
    // The environment is this process's own now, passed on to every later program.
    EXPECT_EQ(Variable(strExpandable), record->environment[strExpandable]);
}

TEST_F(CHUpdateUtilitiesTest, WithoutProgramFolderTheProgramStartsInOurs)
{
    wchar_t szCurrent[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, szCurrent);
    auto record = StartProbe({}, false);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->strCurrentDirectory, szCurrent);
}

TEST_F(CHUpdateUtilitiesTest, UserValuesOverrideMachineValuesAndPathJoinsBoth)
{
    const std::wstring strId = UniqueSuffix();
    const std::wstring strBoth = L"HS_ENV_BOTH_" + strId;
    const std::wstring strUserOnly = L"HS_ENV_USER_" + strId;
    CValueGuard machine(HKEY_LOCAL_MACHINE, kMachineSubKey, strBoth, REG_SZ, L"machine");
    CValueGuard user(HKEY_CURRENT_USER, kUserSubKey, strBoth, REG_SZ, L"user");
    CValueGuard userOnly(HKEY_CURRENT_USER, kUserSubKey, strUserOnly, REG_EXPAND_SZ, L"%SystemRoot%\\user");
    // The user's Path, in another spelling than the machine's "PATH".
    const std::wstring strUserPath = L"%SystemRoot%\\hs_user_" + strId + L";C:\\hs_" + strId;
    CValueGuard userPath(HKEY_CURRENT_USER, kUserSubKey, L"Path", REG_EXPAND_SZ, strUserPath);
    const std::wstring strMachinePath = StoredText(HKEY_LOCAL_MACHINE, kMachineSubKey, L"Path");
    ASSERT_FALSE(strMachinePath.empty());
    // Wine's machine TEMP is the system's own temporary folder, which users
    // cannot write to; the user's TEMP is theirs.
    const std::wstring strUserTemp = StoredText(HKEY_CURRENT_USER, kUserSubKey, L"TEMP");
    ASSERT_FALSE(strUserTemp.empty());

    auto record = StartProbe({strBoth, strUserOnly, L"PATH", L"TEMP"}, false);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->environment[strBoth], L"user");
    EXPECT_EQ(record->environment[strUserOnly], Expanded(L"%SystemRoot%\\user"));
    EXPECT_EQ(record->environment[L"PATH"], Expanded(strMachinePath) + L";" + Expanded(strUserPath));
    EXPECT_EQ(record->environment[L"TEMP"], Expanded(strUserTemp));
}

TEST_F(CHUpdateUtilitiesTest, UserNameIsNeverTakenFromTheMachineKey)
{
    const std::wstring strId = UniqueSuffix();
    ASSERT_TRUE(StoredText(HKEY_CURRENT_USER, kUserSubKey, L"USERNAME").empty());
    const std::optional<std::wstring> userName = Variable(L"USERNAME");
    CValueGuard machineUser(HKEY_LOCAL_MACHINE, kMachineSubKey, L"USERNAME", REG_SZ, L"SYSTEM_" + strId);
    const std::wstring strOther = L"HS_ENV_OTHER_" + strId;
    CValueGuard other(HKEY_LOCAL_MACHINE, kMachineSubKey, strOther, REG_SZ, L"other");

    auto record = StartProbe({L"USERNAME", strOther}, false);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->environment[strOther], L"other");  // the refresh did run
    EXPECT_EQ(record->environment[L"USERNAME"], userName);
    EXPECT_EQ(Variable(L"USERNAME"), userName);
}

TEST_F(CHUpdateUtilitiesTest, MissingMachineKeyChangesNothingAndStillStarts)
{
    const std::wstring strUserOnly = L"HS_ENV_USER_" + UniqueSuffix();
    CValueGuard user(HKEY_CURRENT_USER, kUserSubKey, strUserOnly, REG_SZ, L"user");
    CMachineKeyRemoval removal;
    ASSERT_TRUE(removal.Removed());
    ASSERT_FALSE(MachineKeyExists());

    auto record = StartProbe({strUserOnly}, false);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->environment[strUserOnly], std::nullopt);
    EXPECT_EQ(EnvironmentOfThisProcess(), m_environment.Saved());
}

TEST_F(CHUpdateUtilitiesTest, ValuesLongerThanTheEnvironmentTakesAreNeverCut)
{
    const std::wstring strId = UniqueSuffix();
    const std::wstring strLongPlain = L"HS_ENV_LONG_SZ_" + strId;
    const std::wstring strLongExpandable = L"HS_ENV_LONG_EXPAND_" + strId;
    const std::wstring strHalf = L"HS_ENV_HALF_" + strId;
    const std::wstring strDoubled = L"HS_ENV_DOUBLED_" + strId;
    const std::wstring strShort = L"HS_ENV_SHORT_" + strId;
    const std::wstring strLongText(40000, L'l');
    CValueGuard longPlain(HKEY_LOCAL_MACHINE, kMachineSubKey, strLongPlain, REG_SZ, strLongText);
    CValueGuard longExpandable(HKEY_LOCAL_MACHINE, kMachineSubKey, strLongExpandable, REG_EXPAND_SZ,
                               strLongText + L"%SystemRoot%");
    // 16000 characters, referred to twice: 32000 characters once expanded.
    CValueGuard half(HKEY_LOCAL_MACHINE, kMachineSubKey, strHalf, REG_SZ, std::wstring(16000, L'h'));
    CValueGuard doubled(HKEY_LOCAL_MACHINE, kMachineSubKey, strDoubled, REG_EXPAND_SZ,
                        L"%" + strHalf + L"%%" + strHalf + L"%");
    CValueGuard shortValue(HKEY_LOCAL_MACHINE, kMachineSubKey, strShort, REG_SZ, L"short");
    // The longest value the environment takes, and one character more.
    const std::wstring strLongest = L"HS_ENV_LONGEST_" + strId;
    const std::wstring strTooLong = L"HS_ENV_TOO_LONG_" + strId;
    CValueGuard longest(HKEY_LOCAL_MACHINE, kMachineSubKey, strLongest, REG_SZ, std::wstring(32766, L'x'));
    CValueGuard tooLong(HKEY_LOCAL_MACHINE, kMachineSubKey, strTooLong, REG_SZ, std::wstring(32767, L'y'));

    auto record = StartProbe({strShort}, false);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->environment[strShort], L"short");
    // Whole or not at all (they were not set before).
    const std::optional<std::wstring> longPlainNow = Variable(strLongPlain);
    EXPECT_TRUE(!longPlainNow || *longPlainNow == strLongText) << longPlainNow->size();  // (set when it fails)
    const std::optional<std::wstring> longExpandableNow = Variable(strLongExpandable);
    EXPECT_TRUE(!longExpandableNow || *longExpandableNow == strLongText + Expanded(L"%SystemRoot%"))
        << longExpandableNow->size();
    // (Compared without printing 32000 characters on failure.)
    const std::optional<std::wstring> doubledNow = Variable(strDoubled);
    EXPECT_TRUE(doubledNow == std::wstring(32000, L'h')) << (doubledNow ? doubledNow->size() : 0);
    const std::optional<std::wstring> longestNow = Variable(strLongest);
    EXPECT_TRUE(longestNow == std::wstring(32766, L'x')) << (longestNow ? longestNow->size() : 0);
    const std::optional<std::wstring> tooLongNow = Variable(strTooLong);
    EXPECT_TRUE(!tooLongNow || *tooLongNow == std::wstring(32767, L'y')) << tooLongNow->size();
}

TEST_F(CHUpdateUtilitiesTest, RefreshSetsTheValuesOfOneTypeAsStored)
{
    const std::wstring strSubKey = L"Software\\HalvikTest\\env_" + UniqueSuffix();
    const std::wstring strKey = L"HKEY_CURRENT_USER\\" + strSubKey;
    const std::wstring strPlain = L"HS_REFRESH_SZ_" + UniqueSuffix();
    const std::wstring strExpandable = L"HS_REFRESH_EXPAND_" + UniqueSuffix();
    WriteStored(HKEY_CURRENT_USER, strSubKey, strPlain, StringValue(REG_SZ, L"plain %SystemRoot%"));
    WriteStored(HKEY_CURRENT_USER, strSubKey, strExpandable, StringValue(REG_EXPAND_SZ, L"%SystemRoot%\\x"));
    WriteStored(HKEY_CURRENT_USER, strSubKey, L"HS_REFRESH_DWORD", {REG_DWORD, std::string(4, '\1')});

    RefreshEnvironmentVariables(strKey, REG_SZ);
    EXPECT_EQ(Variable(strPlain), L"plain %SystemRoot%");
    EXPECT_EQ(Variable(strExpandable), std::nullopt);
    RefreshEnvironmentVariables(strKey, REG_EXPAND_SZ);
    EXPECT_EQ(Variable(strExpandable), L"%SystemRoot%\\x");

    // A value of another type cannot be read as text.
    CHException e = CatchThrown([&] { RefreshEnvironmentVariables(strKey, REG_DWORD); });
    EXPECT_TRUE(e.FindErrorCode(HResultFromWin32(ERROR_INVALID_DATA), nullptr));
    EXPECT_TRUE(e.FindErrorCode(2014, nullptr));
    EXPECT_EQ(Variable(L"HS_REFRESH_DWORD"), std::nullopt);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, strSubKey.c_str());

    // A missing key changes nothing.
    const auto before = EnvironmentOfThisProcess();
    RefreshEnvironmentVariables(strKey, REG_SZ);
    EXPECT_EQ(EnvironmentOfThisProcess(), before);
}
