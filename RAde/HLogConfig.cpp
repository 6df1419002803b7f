#include "RAde/HLogConfig.h"

#include <windows.h>

#include "RAde/HException.h"
#include "RAde/HFileUtilities.h"
#include "RAde/HRegistry.h"

namespace {

// The path with its environment references expanded, or "" when the result
// would not fit: a cut path would send the log somewhere else.
std::wstring ExpandLogFilePath(const std::wstring& strPath)
{
    wchar_t szExpanded[CHLogConfig::MaxFileChars];
    DWORD dwChars = ::ExpandEnvironmentStringsW(strPath.c_str(), szExpanded, CHLogConfig::MaxFileChars);
    if (dwChars == 0 || dwChars > CHLogConfig::MaxFileChars)
        return std::wstring();
    return szExpanded;
}

}  // namespace

void CHLogConfig::ReadConfig()
{
    HTRY {
        HTRY {
            const std::wstring strKey = CHFileUtilities::ConcatPathname(BaseKey, m_pszApplicationName);
            m_nEventLogLevel = static_cast<int>(
                CHRegistry::GetDWORDValue(strKey, L"EventLogLevel", static_cast<DWORD>(m_nEventLogLevel), false));
            m_nFileLogLevel = static_cast<int>(
                CHRegistry::GetDWORDValue(strKey, L"FileLogLevel", static_cast<DWORD>(m_nFileLogLevel), false));
            m_strFile = ExpandLogFilePath(CHRegistry::GetStringValue(strKey, L"File", L"", false));
            m_nFileMaxSize = static_cast<int>(
                CHRegistry::GetDWORDValue(strKey, L"FileMaxSize", static_cast<DWORD>(m_nFileMaxSize), false));
        } HCATCH
    } HCATCH_LOGGING_INTERNAL
}
