// The logging facade as a program meets it: configured from the user's
// registry on its first call, in a process of its own (LogWriter.exe). These
// tests share the one configuration key, so CTest runs them one at a time.
//
// Wine keeps no event log to read back, so the writer records each event it
// reports (type and text) into a file of the test's as well.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "RAde/HFileUtilities.h"
#include "RAde/HLogConfig.h"
#include "RAde/HRegistry.h"
#include "TestSupport.h"

namespace {

const std::wstring kConfigKey = std::wstring(CHLogConfig::BaseKey) + L"\\Halvik software";
const std::wstring kConfigSubkey = L"Software\\Halvik\\Logging\\Halvik software";

// The configuration key holds exactly what a test gives it, and is removed afterwards.
class CLoggingConfig
{
public:
    CLoggingConfig() { ::RegDeleteTreeW(HKEY_CURRENT_USER, kConfigSubkey.c_str()); }
    ~CLoggingConfig() { ::RegDeleteTreeW(HKEY_CURRENT_USER, kConfigSubkey.c_str()); }
    CLoggingConfig(const CLoggingConfig&) = delete;
    CLoggingConfig& operator=(const CLoggingConfig&) = delete;

    void Set(const wchar_t* pszName, DWORD dwValue) { CHRegistry::SetValue(kConfigKey, pszName, dwValue); }
    void Set(const wchar_t* pszName, const std::wstring& strValue)
    {
        CHRegistry::SetValue(kConfigKey, pszName, strValue);
    }
};

struct CRun
{
    DWORD dwExitCode = 99;
    std::string strEvents;  // "TYPE<tab>TEXT" lines of the events reported
};

// Runs LogWriter.exe with the given arguments, recording its events.
CRun RunLogWriter(const std::wstring& strArguments)
{
    CRun run;
    CTempFile events(L"logwriter_events", "");
    ::SetEnvironmentVariableW(L"HS_EVENT_RECORD", events.Path().c_str());
    CHKernelHandle hWriter = StartHelperProgram(L"LogWriter.exe", strArguments);
    ::SetEnvironmentVariableW(L"HS_EVENT_RECORD", nullptr);
    if (!hWriter)
        return run;
    EXPECT_EQ(::WaitForSingleObject(hWriter.Get(), 60000), WAIT_OBJECT_0);
    ::GetExitCodeProcess(hWriter.Get(), &run.dwExitCode);
    run.strEvents = ReadFileBytes(events.Path());
    return run;
}

std::string EventLine(WORD wType, const std::string& strMessage)
{
    return std::to_string(wType) + "\tHalvik software  (RAde 0.7.487)\\n\\n" + strMessage + "\n";
}

std::wstring LogFileText(const std::wstring& strPath)
{
    try {
        return CHFileUtilities::ReadTextFile(strPath, HTEXT_ENCODING_ANSI);
    } catch (CHException&) {
        return L"<missing>";
    }
}

}  // namespace

TEST(CHLoggingFacade, WithoutConfigurationErrorsAndWarningsGoToTheEventLogOnly)
{
    CLoggingConfig config;
    CRun warning = RunLogWriter(L"facade 2 1 careful");
    EXPECT_EQ(warning.dwExitCode, 0u);
    EXPECT_NE(warning.strEvents.find(EventLine(EVENTLOG_WARNING_TYPE, "careful 0")), std::string::npos)
        << warning.strEvents;

    CRun error = RunLogWriter(L"facade 1 1 broken");
    EXPECT_NE(error.strEvents.find(EventLine(EVENTLOG_ERROR_TYPE, "broken 0")), std::string::npos) << error.strEvents;

    CRun info = RunLogWriter(L"facade 3 1 chatter");
    EXPECT_EQ(info.strEvents.find("chatter"), std::string::npos) << info.strEvents;
}

TEST(CHLoggingFacade, DebugCallsAreNotFormattedUnlessASinkTakesThem)
{
    CLoggingConfig config;
    // Formatting would read a string at address 1.
    EXPECT_EQ(RunLogWriter(L"unformatted").dwExitCode, 0u);
}

TEST(CHLoggingFacade, ConfiguredThresholdsSendInfoToTheEventLogAndDebugToTheFile)
{
    CLoggingConfig config;
    const std::wstring strFolder = UniqueTempPath(L"facade");
    const std::wstring strFolderName = CHFileUtilities::GetFilenameFromPath(strFolder);
    config.Set(L"EventLogLevel", 3);
    config.Set(L"FileLogLevel", 5);
    // An environment reference, expanded when the configuration is read.
    config.Set(L"File", L"%TEMP%\\" + strFolderName + L"\\sub\\app.log");

    CRun info = RunLogWriter(L"facade 3 1 noted");
    EXPECT_NE(info.strEvents.find(EventLine(EVENTLOG_INFORMATION_TYPE, "noted 0")), std::string::npos)
        << info.strEvents;
    CRun debug = RunLogWriter(L"facade 4 3 detail");
    EXPECT_EQ(debug.strEvents.find("detail"), std::string::npos) << "DEBUG above the event log's threshold";

    std::wstring strText = LogFileText(strFolder + L"\\sub\\app.log");
    EXPECT_NE(strText.find(L"[INFO      ] TID:"), std::wstring::npos) << testing::PrintToString(strText);
    for (const wchar_t* pszLine : {L" : noted 0\r\n", L" : detail 0\r\n", L" : detail 1\r\n", L" : detail 2\r\n"})
        EXPECT_NE(strText.find(pszLine), std::wstring::npos) << testing::PrintToString(pszLine);
    CHFileUtilities::DeleteDirectory(strFolder);
}

TEST(CHLoggingFacade, SwallowedExceptionsAreLoggedAsTwoWarnings)
{
    CLoggingConfig config;
    const std::wstring strFile = UniqueTempPath(L"swallow") + L".log";
    config.Set(L"FileLogLevel", 2);
    config.Set(L"File", strFile);

    EXPECT_EQ(RunLogWriter(L"swallow").dwExitCode, 0u);
    std::wstring strText = LogFileText(strFile);
    const size_t nFirst = strText.find(L"[WARNING   ] TID:");
    ASSERT_NE(nFirst, std::wstring::npos) << testing::PrintToString(strText);
    EXPECT_NE(strText.find(L" : Exception caught in ", nFirst), std::wstring::npos);
    EXPECT_NE(strText.find(L"CThrowsInDestructor::~CThrowsInDestructor (tests/helpers/LogWriter.cpp : "),
              std::wstring::npos);
    EXPECT_NE(strText.find(L"[WARNING   ] TID:", nFirst + 1), std::wstring::npos);
    EXPECT_NE(strText.find(L" : File not open.\r\n\terrorcode:\t2006\r\n"), std::wstring::npos);
    ::DeleteFileW(strFile.c_str());
}

TEST(CHLoggingFacade, ALogCallMadeFromInsideALogCallDoesNotReachTheSinks)
{
    CLoggingConfig config;
    const std::wstring strFile = UniqueTempPath(L"nested") + L".log";
    config.Set(L"FileLogLevel", 1);
    config.Set(L"File", strFile);

    EXPECT_EQ(RunLogWriter(L"nested outer").dwExitCode, 0u);
    std::wstring strText = LogFileText(strFile);
    EXPECT_NE(strText.find(L" : outer\r\n"), std::wstring::npos) << testing::PrintToString(strText);
    EXPECT_EQ(strText.find(L"inner"), std::wstring::npos);
    ::DeleteFileW(strFile.c_str());
}

TEST(CHLoggingFacade, ALogFilePathTooLongToExpandTurnsTheFileLogOff)
{
    CLoggingConfig config;
    const std::wstring strFolder = UniqueTempPath(L"long");
    const std::wstring strFile = strFolder + L"\\" + std::wstring(CHLogConfig::MaxFileChars, L'x') + L".log";
    config.Set(L"FileLogLevel", 2);
    config.Set(L"File", strFile);

    CRun run = RunLogWriter(L"facade 2 1 kept");
    EXPECT_EQ(run.dwExitCode, 0u);
    EXPECT_NE(run.strEvents.find(EventLine(EVENTLOG_WARNING_TYPE, "kept 0")), std::string::npos)
        << "the event log still works";
    EXPECT_FALSE(CHFileUtilities::FileExists(strFolder)) << "nothing was written anywhere near the cut path";
}
