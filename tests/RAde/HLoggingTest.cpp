// The log sinks on their own: the file log's lines, rotation, locking and
// failures, the event log's message file and registry resources, and the
// facade's promises to its callers (no throw, last error kept, no re-entry).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "RAde/HEventLog.h"
#include "RAde/HFileLog.h"
#include "RAde/HFileUtilities.h"
#include "RAde/HLogging.h"
#include "RAde/HMutexLock.h"
#include "RAde/HRegistry.h"
#include "RAde/HStringHelper.h"
#include "RAde/HTime.h"
#include "TestSupport.h"

namespace {

// A log file in a folder of the test's own, removed afterwards.
class CLogFolder
{
public:
    CLogFolder() : m_strFolder(UniqueTempPath(L"log")) {}
    ~CLogFolder() { CHFileUtilities::DeleteDirectory(m_strFolder); }
    CLogFolder(const CLogFolder&) = delete;
    CLogFolder& operator=(const CLogFolder&) = delete;

    std::wstring Path(const std::wstring& strName) const { return m_strFolder + L"\\" + strName; }

private:
    std::wstring m_strFolder;
};

CHLogConfig FileConfig(const std::wstring& strFile, int nFileLogLevel, int nFileMaxSize = 0x100000)
{
    CHLogConfig config;
    config.m_nFileLogLevel = nFileLogLevel;
    config.m_strFile = strFile;
    config.m_nFileMaxSize = nFileMaxSize;
    return config;
}

std::string RawBytes(const std::wstring& strPath)
{
    HANDLE hFile = ::CreateFileW(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return "<missing>";
    std::string bytes(::GetFileSize(hFile, nullptr), '\0');
    DWORD dwRead = 0;
    ::ReadFile(hFile, bytes.data(), static_cast<DWORD>(bytes.size()), &dwRead, nullptr);
    ::CloseHandle(hFile);
    return bytes;
}

std::wstring TextOf(const std::wstring& strPath)
{
    std::string bytes = RawBytes(strPath);
    if (bytes.size() < 2 || bytes[0] != '\xFF' || bytes[1] != '\xFE')
        return L"<not UTF-16LE with a mark>";
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
}

// Whether the line is "date [LEVEL     ] TID:n : message\r\n" with a date
// that the system formats for some moment between before and after.
void ExpectLine(const std::wstring& strLine, double dBefore, double dAfter, const wchar_t* pszLevel,
                const std::wstring& strMessage)
{
    const std::wstring strTail =
        CHStringHelper::Format(L" [%-10s] TID:%d : ", pszLevel, static_cast<int>(::GetCurrentThreadId())) + strMessage +
        L"\r\n";
    ASSERT_TRUE(strLine.ends_with(strTail)) << testing::PrintToString(strLine);
    const std::wstring strDate = strLine.substr(0, strLine.size() - strTail.size());
    EXPECT_TRUE(strDate == CHTime::FormatDate(dBefore, 0) || strDate == CHTime::FormatDate(dAfter, 0))
        << testing::PrintToString(strDate);
}

// A file log of the test's own in a folder of its own, "app.log" unless a test names another.
class CHFileLogTest : public testing::Test
{
protected:
    void Open(int nFileLogLevel, int nFileMaxSize = 0x100000)
    {
        m_log.SetConfig(FileConfig(m_strFile, nFileLogLevel, nFileMaxSize));
        m_log.Init();
    }

    CLogFolder m_folder;
    std::wstring m_strFile = m_folder.Path(L"app.log");
    CHFileLog m_log;
};

}  // namespace

TEST_F(CHFileLogTest, FirstLineCreatesTheFoldersAndTheMarkAndEndsInCrLf)
{
    m_strFile = m_folder.Path(L"deep\\er\\app.log");
    Open(HLOG_STACKTRACE);

    double dBefore = CHTime::GetLocalTimeAsOleDate();
    m_log.Log(HLOG_INFO, L"two\nlines\r\nand\rmore", false);
    double dAfter = CHTime::GetLocalTimeAsOleDate();

    ExpectLine(TextOf(m_strFile), dBefore, dAfter, L"INFO", L"two\r\nlines\r\nand\r\nmore");
}

TEST_F(CHFileLogTest, LevelsAboveTheThresholdAreNotWritten)
{
    Open(HLOG_WARNING);
    EXPECT_FALSE(m_log.IsDebuggingLevel());

    m_log.Log(HLOG_INFO, L"info", false);
    EXPECT_EQ(RawBytes(m_strFile), "<missing>");
    m_log.Log(HLOG_INFO, L"forced", true);
    m_log.Log(HLOG_ERROR, L"error", false);
    std::wstring strText = TextOf(m_strFile);
    EXPECT_NE(strText.find(L"[INFO      ] TID:"), std::wstring::npos);
    EXPECT_NE(strText.find(L"[ERROR     ] TID:"), std::wstring::npos);
    EXPECT_EQ(strText.find(L": info\r\n"), std::wstring::npos);
}

TEST_F(CHFileLogTest, AFileAboveTheLimitMovesToTheOldGenerationBeforeTheNextLine)
{
    const std::wstring strOld = m_folder.Path(L"app_old.log");
    Open(HLOG_INFO, 100);

    CHFileUtilities::BuildDirectory(m_folder.Path(L""));
    WriteFileBytes(strOld, "an older generation");
    WriteFileBytes(m_strFile, std::string(100, 'x'));
    m_log.Log(HLOG_INFO, L"not yet", false);  // 100 bytes is not above the limit
    EXPECT_EQ(RawBytes(strOld), "an older generation");

    WriteFileBytes(m_strFile, std::string(101, 'y'));
    m_log.Log(HLOG_INFO, L"fresh", false);
    EXPECT_EQ(RawBytes(strOld), std::string(101, 'y'));
    std::wstring strText = TextOf(m_strFile);
    EXPECT_TRUE(strText.ends_with(L" : fresh\r\n")) << testing::PrintToString(strText);
    EXPECT_EQ(strText.find(L"not yet"), std::wstring::npos);
}

TEST_F(CHFileLogTest, RotationKeepsExactlyOneOldGeneration)
{
    Open(HLOG_INFO, 300);
    for (int i = 0; i < 40; ++i)
        m_log.Log(HLOG_INFO, L"line " + std::to_wstring(i), false);

    WIN32_FIND_DATAW data;
    HANDLE hFind = ::FindFirstFileW(m_folder.Path(L"*").c_str(), &data);
    ASSERT_NE(hFind, INVALID_HANDLE_VALUE);
    std::vector<std::wstring> names;
    do {
        if (data.cFileName[0] != L'.')
            names.push_back(data.cFileName);
    } while (::FindNextFileW(hFind, &data));
    ::FindClose(hFind);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"app.log", L"app_old.log"}));
    EXPECT_TRUE(TextOf(m_strFile).ends_with(L" : line 39\r\n"));
    // The size is tested before each line, so a file exceeds the limit by one line at most.
    EXPECT_LT(RawBytes(m_folder.Path(L"app_old.log")).size(), 300u + 200u);
}

TEST(CHFileLog, AFileWithoutExtensionRotatesToUnderscoreOld)
{
    EXPECT_EQ(CHFileLog::OldGenerationPath(L"C:\\logs\\applog"), L"C:\\logs\\_old");
    EXPECT_EQ(CHFileLog::OldGenerationPath(L"C:\\logs\\app.2.log"), L"C:\\logs\\app.2_old.log");
}

TEST_F(CHFileLogTest, ALineWaitsBoundedlyForTheFilesMutexAndIsDropped)
{
    Open(HLOG_INFO);

    // Another holder of the file's mutex, as a hung process would be.
    CHMutexLock squatter;
    squatter.Init(m_strFile, true);
    ASSERT_TRUE(squatter.Lock());
    std::thread writer([&] { m_log.Log(HLOG_INFO, L"dropped", false); });
    writer.join();  // returns: the wait is bounded
    squatter.Unlock();
    EXPECT_EQ(RawBytes(m_strFile), "<missing>");

    m_log.Log(HLOG_INFO, L"next", false);
    EXPECT_TRUE(TextOf(m_strFile).ends_with(L" : next\r\n"));
}

TEST_F(CHFileLogTest, ALineThatCannotBeWrittenIsDroppedAndTheNextOneIsTried)
{
    Open(HLOG_INFO);
    m_log.Log(HLOG_INFO, L"first", false);

    // Another program holds the file without sharing it.
    HANDLE hLocked = ::CreateFileW(m_strFile.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hLocked, INVALID_HANDLE_VALUE);
    m_log.Log(HLOG_INFO, L"lost", false);
    ::CloseHandle(hLocked);
    m_log.Log(HLOG_INFO, L"second", false);

    std::wstring strText = TextOf(m_strFile);
    EXPECT_NE(strText.find(L" : first\r\n"), std::wstring::npos);
    EXPECT_EQ(strText.find(L"lost"), std::wstring::npos);
    EXPECT_TRUE(strText.ends_with(L" : second\r\n"));
}

TEST(CHFileLog, SeveralProcessesAppendWithoutLosingTearingOrInterleavingLines)
{
    CLogFolder folder;
    const std::wstring strFile = folder.Path(L"shared.log");
    constexpr int kWriters = 4, kLines = 250;
    std::vector<CHKernelHandle> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.push_back(StartHelperProgram(L"LogWriter.exe", L"file \"" + strFile + L"\" 100000000 " +
                                                                   std::to_wstring(kLines) + L" writer" +
                                                                   std::to_wstring(w)));
        ASSERT_TRUE(writers.back());
    }
    for (const CHKernelHandle& hWriter : writers) {
        ASSERT_EQ(::WaitForSingleObject(hWriter.Get(), 120000), WAIT_OBJECT_0);
        DWORD dwExitCode = 99;
        ::GetExitCodeProcess(hWriter.Get(), &dwExitCode);
        EXPECT_EQ(dwExitCode, 0u);
    }

    // Every line whole, each message exactly once.
    std::wstring strText = TextOf(strFile);
    std::vector<int> seen(kWriters * kLines, 0);
    size_t nPos = 0, nLines = 0;
    for (size_t nEnd; (nEnd = strText.find(L"\r\n", nPos)) != std::wstring::npos; nPos = nEnd + 2, ++nLines) {
        const std::wstring strLine = strText.substr(nPos, nEnd - nPos);
        const size_t nLevel = strLine.find(L" [INFO      ] TID:");
        const size_t nMessage = strLine.find(L" : writer");
        ASSERT_TRUE(nLevel != std::wstring::npos && nMessage != std::wstring::npos && nLevel < nMessage)
            << testing::PrintToString(strLine);
        int nWriter = -1, nLine = -1;
        ASSERT_EQ(swscanf(strLine.c_str() + nMessage, L" : writer%d %d", &nWriter, &nLine), 2);
        ASSERT_TRUE(nWriter >= 0 && nWriter < kWriters && nLine >= 0 && nLine < kLines);
        ++seen[nWriter * kLines + nLine];
    }
    EXPECT_EQ(nPos, strText.size()) << "text after the last line break";
    EXPECT_EQ(nLines, static_cast<size_t>(kWriters * kLines));
    EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), kWriters * kLines);
}

TEST(CHEventLog, MessageFileShowsTheFirstInsertionStringFollowedByCrLf)
{
    const auto& image = CHEventLog::MessageFileImage();
    ASSERT_EQ(image.size(), 1536u);
    CTempFile file(L"messages", std::string(image.begin(), image.end()));

    HMODULE hModule = ::LoadLibraryExW(file.Path().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(hModule, nullptr) << ::GetLastError();
    const wchar_t* apszInserts[] = {L"Halvik software  (RAde 0.7.487)\n\nthe message"};
    DWORD_PTR aArguments[] = {reinterpret_cast<DWORD_PTR>(apszInserts[0])};
    wchar_t szText[256] = {};
    DWORD dwChars = ::FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, hModule, 1, 0, szText,
                                     256, reinterpret_cast<va_list*>(aArguments));
    ::FreeLibrary(hModule);
    EXPECT_EQ(std::wstring(szText, dwChars), std::wstring(apszInserts[0]) + L"\r\n");
}

TEST(CHEventLog, ResourcesNameTheMessageFileAndItsTypes)
{
    // An application name of the test's own, so the source key is too.
    static const std::wstring s_strApplication = L"HalvikTest " + std::to_wstring(::GetCurrentProcessId());
    const std::wstring strKey = std::wstring(CHEventLog::SourcesKey) + L"\\" + s_strApplication;
    CHLogConfig config;
    config.m_pszApplicationName = s_strApplication.c_str();
    CHEventLog log;
    log.SetConfig(config);
    log.InitEventResources();

    const std::wstring strMessageFile = CHFileUtilities::GetTempDirectory() + L"HEventMessages.dll";
    EXPECT_EQ(CHRegistry::GetStringValue(strKey, L"EventMessageFile", nullptr, false), strMessageFile);
    EXPECT_EQ(CHRegistry::GetDWORDValue(strKey, L"TypesSupported", 0, true), 7u);
    const auto& image = CHEventLog::MessageFileImage();
    EXPECT_EQ(RawBytes(strMessageFile), std::string(image.begin(), image.end()));
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, strKey.substr(std::wstring(L"HKEY_LOCAL_MACHINE\\").size()).c_str());
}

TEST(CHLogging, LoggingKeepsTheThreadsLastErrorAndNeverThrows)
{
    ::SetLastError(ERROR_SHARING_VIOLATION);
    CHLogging::Log({HLOG_ERROR, false}, L"%s %d", L"text", 5);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));

    ::SetLastError(ERROR_ACCESS_DENIED);
    CHLogging::Log({HLOG_WARNING, false}, nullptr);  // a broken call is swallowed
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST(CHLogging, LevelNames)
{
    EXPECT_EQ(CHLogging::LevelName(HLOG_NONE), L"NONE");
    EXPECT_EQ(CHLogging::LevelName(HLOG_STACKTRACE), L"STACKTRACE");
    EXPECT_EQ(CHLogging::LevelName(9), L"9");
}
