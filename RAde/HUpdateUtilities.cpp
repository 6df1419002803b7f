#include "RAde/HUpdateUtilities.h"

#include <algorithm>
#include <vector>

#include "RAde/HException.h"
#include "RAde/HFileUtilities.h"
#include "RAde/HLogging.h"
#include "RAde/HProcess.h"
#include "RAde/HStringHelper.h"
#include "RAde/HRegistry.h"

namespace {

const wchar_t g_szMachineEnvironmentKey[] =
    L"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
const wchar_t g_szUserEnvironmentKey[] = L"HKEY_CURRENT_USER\\Environment";

// The longest value an environment variable can take (32767 characters with
// its terminating zero). Longer texts are never set: the system would refuse
// them, or (Wine) keep only their beginning.
constexpr size_t g_cchMaxVariableValue = 32766;

struct CEnvironmentValue
{
    std::wstring strName;
    std::wstring strText;  // as stored
    bool bExpandable;
};

bool SameName(const std::wstring& str1, const std::wstring& str2)
{
    return CHStringHelper::EqualsNoCase(str1, str2);
}

// The key's string values of the given registry type (AllTypes: both string
// types), in the key's order.
std::vector<CEnvironmentValue> ReadEnvironmentValues(const std::wstring& strKeyPath, int nTypeFilter)
{
    CHRegistry::ValueNames names;
    CHRegistry::GetValueNames(names, strKeyPath, nTypeFilter);
    std::vector<CEnvironmentValue> values;
    for (const auto& [strName, dwType] : names) {
        if (nTypeFilter == CHRegistry::AllTypes && dwType != REG_SZ && dwType != REG_EXPAND_SZ)
            continue;
        values.push_back(
            {strName, CHRegistry::GetStringValue(strKeyPath, strName, nullptr, false), dwType == REG_EXPAND_SZ});
    }
    return values;
}

// Sets a variable of this process; false (and the variable unchanged) when it
// cannot be set.
bool SetVariable(const std::wstring& strName, const std::wstring& strValue)
{
    if (strValue.size() > g_cchMaxVariableValue) {
        CHLogging::LogWarning(L"Environment variable %s not set: its value has %u characters\n", strName.c_str(),
                              static_cast<unsigned>(strValue.size()));
        return false;
    }
    return ::SetEnvironmentVariableW(strName.c_str(), strValue.c_str()) != FALSE;
}

// The current value of one of this process's variables; false when it has none.
bool ReadVariable(const std::wstring& strName, std::wstring& strValue)
{
    std::wstring strBuffer(256, L'\0');
    for (;;) {
        ::SetLastError(ERROR_SUCCESS);
        const DWORD cchValue =
            ::GetEnvironmentVariableW(strName.c_str(), strBuffer.data(), static_cast<DWORD>(strBuffer.size()));
        if (cchValue == 0) {
            // Zero is also the length of an empty value.
            strValue.clear();
            return ::GetLastError() != ERROR_ENVVAR_NOT_FOUND;
        }
        if (cchValue < strBuffer.size()) {
            strValue.assign(strBuffer.data(), cchValue);
            return true;
        }
        strBuffer.resize(cchValue);  // too small: cchValue counts the terminating zero
    }
}

// Replaces each "%name%" by the variable's value, as the system's expansion
// does; a name without a variable stays as written. Written here because the
// system's expansion works within 32768 characters, and values may be longer.
std::wstring ExpandReferences(const std::wstring& strText)
{
    std::wstring strResult;
    size_t nPos = 0;
    while (nPos < strText.size()) {
        const size_t nOpen = strText.find(L'%', nPos);
        const size_t nClose = nOpen == std::wstring::npos ? nOpen : strText.find(L'%', nOpen + 1);
        if (nClose == std::wstring::npos) {
            strResult.append(strText, nPos, std::wstring::npos);
            break;
        }
        strResult.append(strText, nPos, nOpen - nPos);
        std::wstring strValue;
        const std::wstring strName = strText.substr(nOpen + 1, nClose - nOpen - 1);
        if (!strName.empty() && ReadVariable(strName, strValue))
            strResult += strValue;
        else
            strResult.append(strText, nOpen, nClose - nOpen + 1);
        nPos = nClose + 1;
    }
    return strResult;
}

// The variables a fresh logon would give: the machine's, then the user's on
// top. "Path" joins both ("machine;user"). The machine key's USERNAME is the
// account the machine's services run as (SYSTEM), never the user's name, so
// it is left out.
class CLogonEnvironment
{
public:
    void AddMachineValues(const std::vector<CEnvironmentValue>& values)
    {
        for (const CEnvironmentValue& value : values)
            if (!SameName(value.strName, L"USERNAME"))
                Add(value);
    }

    void AddUserValues(const std::vector<CEnvironmentValue>& values)
    {
        for (const CEnvironmentValue& value : values) {
            CVariable* pVariable = Find(value.strName);
            if (!pVariable)
                Add(value);
            else if (SameName(value.strName, L"Path"))
                pVariable->parts.push_back({value.strText, value.bExpandable});
            else
                pVariable->parts.assign(1, {value.strText, value.bExpandable});
        }
    }

    // Every variable is set as stored first, so that the expansion afterwards
    // sees all new values, whatever their order.
    void Apply() const
    {
        std::vector<const CVariable*> setAsStored;
        for (const CVariable& variable : m_variables)
            if (SetVariable(variable.strName, variable.Text(false)))
                setAsStored.push_back(&variable);
        for (const CVariable* pVariable : setAsStored)
            if (pVariable->IsExpandable())
                SetVariable(pVariable->strName, pVariable->Text(true));
    }

private:
    struct CPart
    {
        std::wstring strText;
        bool bExpandable;
    };

    struct CVariable
    {
        std::wstring strName;
        std::vector<CPart> parts;

        bool IsExpandable() const
        {
            return std::any_of(parts.begin(), parts.end(), [](const CPart& part) { return part.bExpandable; });
        }
        // The parts joined by ";", each expanded when asked and expandable.
        std::wstring Text(bool bExpand) const
        {
            std::wstring strText;
            for (const CPart& part : parts) {
                const std::wstring strPart =
                    bExpand && part.bExpandable ? ExpandReferences(part.strText) : part.strText;
                if (!strText.empty() && !strPart.empty() && strText.back() != L';')
                    strText += L';';
                strText += strPart;
            }
            return strText;
        }
    };

    void Add(const CEnvironmentValue& value)
    {
        m_variables.push_back({value.strName, {{value.strText, value.bExpandable}}});
    }

    CVariable* Find(const std::wstring& strName)
    {
        auto it = std::find_if(m_variables.begin(), m_variables.end(),
                               [&](const CVariable& variable) { return SameName(variable.strName, strName); });
        return it == m_variables.end() ? nullptr : &*it;
    }

    std::vector<CVariable> m_variables;
};

}  // namespace

void CHUpdateUtilities::StartProcessEnvVarsUpdated(CHProcess& process, const std::wstring& strProgram,
                                                   const std::wstring& strArgument, bool bInProgramFolder)
{
    HTRY {
        // Without the machine's key there is nothing to start from: the
        // environment stays as it is.
        if (CHRegistry::Exists(g_szMachineEnvironmentKey, nullptr)) {
            CLogonEnvironment environment;
            environment.AddMachineValues(ReadEnvironmentValues(g_szMachineEnvironmentKey, CHRegistry::AllTypes));
            environment.AddUserValues(ReadEnvironmentValues(g_szUserEnvironmentKey, CHRegistry::AllTypes));
            environment.Apply();
        }
        const std::wstring strWorkingFolder =
            bInProgramFolder ? CHFileUtilities::GetPathFromFilename(strProgram) : std::wstring();
        process.Run(strProgram, strArgument, strWorkingFolder);
    } HCATCH
}

void RefreshEnvironmentVariables(const std::wstring& strKeyPath, DWORD dwType)
{
    HTRY {
        for (const CEnvironmentValue& value : ReadEnvironmentValues(strKeyPath, static_cast<int>(dwType)))
            SetVariable(value.strName, value.strText);  // a variable that cannot be set is skipped
    } HCATCH
}
