// Logs on behalf of the logging tests, in a process of its own, so each run
// reads the logging configuration afresh.
//
//   LogWriter facade LEVEL COUNT TEXT     CHLogging::Log of "TEXT i" for i < COUNT
//   LogWriter unformatted                 a DEBUG call whose argument would crash any formatting
//   LogWriter swallow                     a destructor whose body throws
//   LogWriter nested TEXT                 an observer that logs again from inside a log call
//   LogWriter file PATH MAXSIZE COUNT TAG the file log alone: "TAG i" at INFO
//
// With HS_EVENT_RECORD set to a file, every event reported to the event log
// is also appended there as one line "TYPE<tab>TEXT" (UTF-8, line breaks in
// TEXT written as \n): Wine keeps no event log that a test could read back.
//
// Exit code 0 when the run got through, 2 on bad usage.
#include <windows.h>

#include <string>

#include "RAde/HEventLog.h"
#include "RAde/HException.h"
#include "RAde/HFileLog.h"
#include "RAde/HLogging.h"

namespace {

std::wstring g_strEventRecord;

BOOL WINAPI RecordEvent(HANDLE hSource, WORD wType, WORD wCategory, DWORD dwEventId, PSID pUser, WORD wStrings,
                        DWORD dwDataSize, LPCWSTR* ppszStrings, LPVOID pData)
{
    std::wstring strLine = std::to_wstring(wType) + L"\t";
    for (const wchar_t* p = wStrings ? ppszStrings[0] : L""; *p; ++p)
        strLine += *p == L'\n' ? std::wstring(L"\\n") : std::wstring(1, *p);
    strLine += L"\n";
    char szUtf8[8192];
    int nBytes = ::WideCharToMultiByte(CP_UTF8, 0, strLine.c_str(), -1, szUtf8, sizeof(szUtf8), nullptr, nullptr);
    HANDLE hFile =
        ::CreateFileW(g_strEventRecord.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    DWORD dwWritten = 0;
    ::WriteFile(hFile, szUtf8, nBytes > 0 ? nBytes - 1 : 0, &dwWritten, nullptr);
    ::CloseHandle(hFile);
    return ::ReportEventW(hSource, wType, wCategory, dwEventId, pUser, wStrings, dwDataSize, ppszStrings, pData);
}

void RecordEventsWhenAsked()
{
    wchar_t szPath[MAX_PATH] = {};
    if (::GetEnvironmentVariableW(L"HS_EVENT_RECORD", szPath, MAX_PATH) > 0) {
        g_strEventRecord = szPath;
        CHEventLog::SetReportFunction(&RecordEvent);
    }
}

int LogThroughFacade(int nLevel, int nCount, const wchar_t* pszText)
{
    for (int i = 0; i < nCount; ++i)
        CHLogging::Log({nLevel, false}, L"%s %d", pszText, i);
    return 0;
}

int LogWithoutFormatting()
{
    // Formatting would read a string at address 1 and crash the process.
    CHLogging::Log({HLOG_DEBUG, false}, L"%s", reinterpret_cast<const wchar_t*>(1));
    return 0;
}

int SwallowInDestructor()
{
    struct CThrowsInDestructor
    {
        ~CThrowsInDestructor()
        {
            HTRY {
                throw CHException(HError::FileNotOpen, HSITE);
            } HCATCH_LOG
        }
    };
    {
        CThrowsInDestructor object;
    }
    return 0;
}

int LogFromInsideALogCall(const wchar_t* pszText)
{
    static bool s_bInside = false;
    CHLogging::SetObserver(
        [](void*, const CHLogLevel&, const std::wstring&) {
            if (!s_bInside) {
                s_bInside = true;
                CHLogging::Log({HLOG_ERROR, false}, L"inner");
            }
        },
        nullptr);
    CHLogging::Log({HLOG_ERROR, false}, L"%s", pszText);
    return 0;
}

int LogToFileOnly(const wchar_t* pszPath, int nMaxSize, int nCount, const wchar_t* pszTag)
{
    CHLogConfig config;
    config.m_nFileLogLevel = HLOG_INFO;
    config.m_strFile = pszPath;
    config.m_nFileMaxSize = nMaxSize;
    CHFileLog log;
    log.SetConfig(config);
    log.Init();
    for (int i = 0; i < nCount; ++i)
        log.Log(HLOG_INFO, std::wstring(pszTag) + L" " + std::to_wstring(i), false);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    RecordEventsWhenAsked();
    const std::wstring strMode = argc > 1 ? argv[1] : L"";
    if (strMode == L"facade" && argc == 5)
        return LogThroughFacade(_wtoi(argv[2]), _wtoi(argv[3]), argv[4]);
    if (strMode == L"unformatted" && argc == 2)
        return LogWithoutFormatting();
    if (strMode == L"swallow" && argc == 2)
        return SwallowInDestructor();
    if (strMode == L"nested" && argc == 3)
        return LogFromInsideALogCall(argv[2]);
    if (strMode == L"file" && argc == 6)
        return LogToFileOnly(argv[2], _wtoi(argv[3]), _wtoi(argv[4]), argv[5]);
    return 2;
}
