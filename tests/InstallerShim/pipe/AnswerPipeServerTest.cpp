// The installer's answer on the launcher's named pipe, served by the
// CAnswerPipeServer worker in this process with the test as the installer
// (the client). The pipe's name is fixed: these tests run one at a time.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "AnswerPipeTestSupport.h"
#include "RAde/HFileUtilities.h"

namespace {

std::string Utf16BeWithMark(const std::wstring& strText)
{
    std::string bytes = "\xFE\xFF";
    for (wchar_t ch : strText) {
        bytes += static_cast<char>(ch >> 8);
        bytes += static_cast<char>(ch & 0xFF);
    }
    return bytes;
}

std::string Utf8WithMark(const std::wstring& strText)
{
    const int cbText = ::WideCharToMultiByte(CP_UTF8, 0, strText.c_str(), static_cast<int>(strText.size()), nullptr, 0,
                                             nullptr, nullptr);
    std::string bytes(static_cast<size_t>(cbText), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, strText.c_str(), static_cast<int>(strText.size()), bytes.data(), cbText, nullptr,
                          nullptr);
    return "\xEF\xBB\xBF" + bytes;
}

// Waits until the worker listens on the pipe (it has an instance free for a client).
bool AwaitListeningPipe()
{
    for (DWORD dwWaited = 0; dwWaited < g_dwWorkerTimeoutMs; dwWaited += 10) {
        if (::WaitNamedPipeW(CAnswerPipeServer::PipeName, 10))
            return true;
        ::Sleep(10);
    }
    return false;
}

struct CAnswer
{
    std::wstring strLanguage;
    bool bDeleteFiles = false;
    CAnswerPipeServer::AutorunList autoruns;
};

// What the launcher takes from an installer that connects, writes these
// messages and ends: the worker reads them a second after the connection
// (what a closed client wrote stays readable) and ends.
CAnswer ServeAnswer(const std::vector<std::string>& messages)
{
    CAnswerPipeServer server;
    server.StartWorkerThread(0);
    CInstallerClient client(messages);
    EXPECT_TRUE(client.IsConnected());
    client.Close();
    EXPECT_EQ(::WaitForSingleObject(server.GetFinishedEvent(), g_dwWorkerTimeoutMs), WAIT_OBJECT_0);
    EXPECT_TRUE(server.GetWorkerError().GetXml().GetChildren(L"errorentry").empty())
        << server.GetWorkerError().GetDescription(7);
    return {server.GetUILanguage(), server.GetDeleteFiles(), server.GetAutoruns()};
}

CAnswer ServeAnswer(const std::string& answer)
{
    return ServeAnswer(std::vector<std::string>{answer});
}

void ExpectDefaults(const CAnswer& answer)
{
    EXPECT_EQ(answer.strLanguage, L"en-uk");
    EXPECT_FALSE(answer.bDeleteFiles);
    EXPECT_TRUE(answer.autoruns.empty());
}

// A UTF-16LE answer (with its mark) of exactly nBytes bytes: a filler line
// with an unknown key, then "language=<strLast>" without a final line feed.
std::string AnswerOfSize(size_t nBytes, const std::wstring& strLast)
{
    const std::wstring strTail = L"\nlanguage=" + strLast;
    const size_t nFillerChars = (nBytes - 2) / 2 - strTail.size() - 2;
    std::string answer = Utf16Le(L"x=" + std::wstring(nFillerChars, L'f') + strTail, true);
    EXPECT_EQ(answer.size(), nBytes);
    return answer;
}

// Makes a folder the current directory while it lives.
class CCurrentDirectory
{
public:
    explicit CCurrentDirectory(const std::wstring& strFolder) : m_strOld(CHFileUtilities::GetCurrentDirectoryW())
    {
        EXPECT_TRUE(::SetCurrentDirectoryW(strFolder.c_str()));
    }
    ~CCurrentDirectory() { ::SetCurrentDirectoryW(m_strOld.c_str()); }

private:
    std::wstring m_strOld;
};

}  // namespace

// ---------------------------------------------------------------------------
// The answer

TEST(CAnswerPipeServer, ReadsTheAnswerInEachEncoding)
{
    const std::wstring strExe = OwnPath();
    const std::wstring strText = L"autorun=" + strExe + L" /x\nlanguage=de-de\ndelete-files=TRUE\n";
    const struct
    {
        const char* pszName;
        std::string bytes;
    } encodings[] = {
        {"UTF-16LE with mark", Utf16Le(strText, true)},
        {"UTF-16LE without mark", Utf16Le(strText, false)},
        {"UTF-16BE with mark", Utf16BeWithMark(strText)},
        {"UTF-8 with mark", Utf8WithMark(strText)},
    };
    for (const auto& encoding : encodings) {
        CAnswer answer = ServeAnswer(encoding.bytes);
        EXPECT_EQ(answer.strLanguage, L"de-de") << encoding.pszName;
        EXPECT_TRUE(answer.bDeleteFiles) << encoding.pszName;
        EXPECT_EQ(answer.autoruns, (CAnswerPipeServer::AutorunList{{strExe, L"/x"}})) << encoding.pszName;
    }
}

TEST(CAnswerPipeServer, KeysInAnyCaseTheLastLanguageWinsAndOtherLinesAreIgnored)
{
    const std::wstring strExe = OwnPath();
    CAnswer answer = ServeAnswer(
        Utf16Le(L"LANGUAGE=aa\n\n\nunknown=1\nAutoRun=" + strExe + L"\nautorun\nlanguage=bb\nDelete-Files=True", true));
    EXPECT_EQ(answer.strLanguage, L"bb");
    EXPECT_TRUE(answer.bDeleteFiles) << "a last line without a line feed counts";
    EXPECT_EQ(answer.autoruns, (CAnswerPipeServer::AutorunList{{strExe, L""}}));

    // Without a language line the language is "en-uk"; a later delete-files line forbids again.
    answer = ServeAnswer(Utf16Le(L"delete-files=true\ndelete-files=yes\n", true));
    EXPECT_EQ(answer.strLanguage, L"en-uk");
    EXPECT_FALSE(answer.bDeleteFiles);
}

TEST(CAnswerPipeServer, ACarriageReturnStaysPartOfTheLine)
{
    CAnswer answer = ServeAnswer(Utf16Le(L"language=fr-fr\r\ndelete-files=true\r\n", true));
    EXPECT_EQ(answer.strLanguage, L"fr-fr\r");
    EXPECT_FALSE(answer.bDeleteFiles);
}

TEST(CAnswerPipeServer, AutorunsNeedTwoQuotePairsForABlankAndMissingProgramsAreSkipped)
{
    CTempFolder folder(L"P Q");
    const std::wstring strApp = folder / L"app.exe";
    WriteFileBytes(strApp, "x");
    const std::wstring strExe = OwnPath();

    CLogCapture log;
    CAnswer answer = ServeAnswer(Utf16Le(L"autorun=\"\"" + strApp +
                                             L"\" /min\"\n"  // two pairs: whole path
                                             L"autorun=\"" +
                                             strApp +
                                             L"\" /min\n"  // one pair: cut at the blank
                                             L"autorun=" +
                                             folder.Path() +
                                             L"\\gone.exe\n"
                                             L"autorun=" +
                                             strExe + L" last\n",
                                         true));
    EXPECT_EQ(answer.autoruns, (CAnswerPipeServer::AutorunList{{strApp, L"/min"}, {strExe, L"last"}}));
    EXPECT_EQ(CountLoggedContaining(log, HLOG_WARNING, L"Autorun program "), 2u);
}

TEST(CAnswerPipeServer, AnEmptyAnswerGivesTheDefaults)
{
    // A client that writes nothing, an empty message, a mark alone.
    ExpectDefaults(ServeAnswer(std::vector<std::string>{}));
    ExpectDefaults(ServeAnswer(std::string()));
    ExpectDefaults(ServeAnswer(std::string("\xFF\xFE")));
}

TEST(CAnswerPipeServer, EveryMessageThatWaitsIsReadInOrder)
{
    CAnswer answer = ServeAnswer(std::vector<std::string>{Utf16Le(L"language=one\n", true),
                                                          Utf16Le(L"delete-files=true\nlanguage=two\n", false)});
    EXPECT_EQ(answer.strLanguage, L"two");
    EXPECT_TRUE(answer.bDeleteFiles);
}

TEST(CAnswerPipeServer, AMessageLargerThanThePipeBufferIsReadToItsEnd)
{
    // 4096 bytes fill one read; 10000 and 65536 bytes go on past it (more data waiting).
    EXPECT_EQ(ServeAnswer(AnswerOfSize(4096, L"end4096")).strLanguage, L"end4096");
    EXPECT_EQ(ServeAnswer(AnswerOfSize(10000, L"end10000")).strLanguage, L"end10000");
    CLogCapture log;
    EXPECT_EQ(ServeAnswer(AnswerOfSize(CAnswerPipeServer::MaxAnswerBytes, L"end64k")).strLanguage, L"end64k");
    EXPECT_EQ(CountLoggedContaining(log, HLOG_WARNING, L"answer"), 0u);
}

TEST(CAnswerPipeServer, AnAnswerLargerThan64KiBIsRefusedWithAWarning)
{
    CLogCapture log;
    ExpectDefaults(ServeAnswer(AnswerOfSize(CAnswerPipeServer::MaxAnswerBytes + 2, L"too-long")));
    EXPECT_EQ(CountLogged(log, HLOG_WARNING, L"The installer's answer is larger than 65536 bytes; it is ignored.\n"),
              1u);
}

TEST(CAnswerPipeServer, TenThousandAutorunLinesExceedTheLimitAndStartNothing)
{
    // The shortest autorun line ("autorun=p" and a line feed) has 10 bytes, so
    // 10,000 of them never fit in 64 KiB in any encoding.
    std::wstring strText;
    for (int i = 0; i < 10000; ++i)
        strText += L"autorun=p\n";
    CLogCapture log;
    ExpectDefaults(ServeAnswer(Utf8WithMark(strText)));
    EXPECT_EQ(CountLoggedContaining(log, HLOG_WARNING, L"answer is larger"), 1u);
}

TEST(CAnswerPipeServer, ThousandsOfAutorunLinesWithinTheLimitAreAllTakenInOrder)
{
    CTempFolder folder(L"many");
    WriteFileBytes(folder / L"p", "x");
    WriteFileBytes(folder / L"q", "x");
    CCurrentDirectory current(folder.Path());  // the relative programs are found here
    std::wstring strText;
    CAnswerPipeServer::AutorunList expected;
    for (int i = 0; i < 6000; ++i) {
        const std::wstring strProgram = i % 2 ? L"q" : L"p";
        strText += L"autorun=" + strProgram + L"\n";
        expected.emplace_back(strProgram, L"");
    }
    const std::string answer = Utf8WithMark(strText);
    ASSERT_LE(answer.size(), CAnswerPipeServer::MaxAnswerBytes);
    EXPECT_EQ(ServeAnswer(answer).autoruns, expected);
}

TEST(CAnswerPipeServer, GarbageAroundTheLinesIsIgnoredAndStartsNothingElse)
{
    const std::wstring strExe = OwnPath();
    const unsigned nSeed = 20240611;
    std::mt19937 random(nSeed);
    std::string garbage;
    for (int i = 0; i < 6000; ++i)
        garbage += static_cast<char>(random() & 0xFF);
    CAnswer answer =
        ServeAnswer("\xFF\xFE" + garbage + Utf16Le(L"\nlanguage=zz\nautorun=" + strExe + L"\n", false) + garbage);
    EXPECT_EQ(answer.strLanguage, L"zz") << "seed " << nSeed;
    EXPECT_EQ(answer.autoruns, (CAnswerPipeServer::AutorunList{{strExe, L""}})) << "seed " << nSeed;

    // Without a mark and with odd bytes: some outcome, never a crash or a program the answer did not name.
    answer = ServeAnswer(garbage + "\x01");
    EXPECT_TRUE(answer.autoruns.empty()) << "seed " << nSeed;
}

// ---------------------------------------------------------------------------
// The pipe and the worker

TEST(CAnswerPipeServer, ThePipeIsAMessagePipeOfThisProcessForLocalClientsOnly)
{
    // Wine ignores FILE_FLAG_FIRST_PIPE_INSTANCE and PIPE_REJECT_REMOTE_CLIENTS,
    // so only the flags passed can be checked for those two.
    EXPECT_EQ(CAnswerPipeServer::PipeOpenMode & FILE_FLAG_FIRST_PIPE_INSTANCE,
              static_cast<DWORD>(FILE_FLAG_FIRST_PIPE_INSTANCE));
    EXPECT_EQ(CAnswerPipeServer::PipeMode & PIPE_REJECT_REMOTE_CLIENTS, static_cast<DWORD>(PIPE_REJECT_REMOTE_CLIENTS));

    CAnswerPipeServer server;
    server.StartWorkerThread(0);
    CInstallerClient client({Utf16Le(L"language=xx", true)});
    ASSERT_TRUE(client.IsConnected());
    DWORD dwFlags = 0, cbOut = 0, cbIn = 0, dwInstances = 0;
    ASSERT_TRUE(::GetNamedPipeInfo(client.Handle(), &dwFlags, &cbOut, &cbIn, &dwInstances));
    EXPECT_EQ(dwFlags & PIPE_TYPE_MESSAGE, static_cast<DWORD>(PIPE_TYPE_MESSAGE));
    EXPECT_EQ(cbOut, 4096u);
    EXPECT_EQ(cbIn, 4096u);
    // Unlimited: Wine reports the system's -1, not the 255 that was asked for.
    EXPECT_TRUE(dwInstances == PIPE_UNLIMITED_INSTANCES || dwInstances == 0xFFFFFFFFu) << dwInstances;
    ULONG nServer = 0;
    ASSERT_TRUE(::GetNamedPipeServerProcessId(client.Handle(), &nServer));
    EXPECT_EQ(nServer, ::GetCurrentProcessId());
    // Read while the client still holds its end.
    EXPECT_EQ(::WaitForSingleObject(server.GetFinishedEvent(), g_dwWorkerTimeoutMs), WAIT_OBJECT_0);
    EXPECT_EQ(server.GetUILanguage(), L"xx");
}

TEST(CAnswerPipeServer, APipeNameTakenByAnotherServerEndsTheWorkerWithoutAnAnswer)
{
    // One instance only, so the worker cannot add its own; on Windows
    // FILE_FLAG_FIRST_PIPE_INSTANCE refuses any existing pipe of the name.
    CHFileHandle hSquatter(::CreateNamedPipeW(CAnswerPipeServer::PipeName, PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE, 1,
                                              4096, 4096, 0, nullptr));
    ASSERT_TRUE(hSquatter);
    CLogCapture log;
    CAnswerPipeServer server;
    server.StartWorkerThread(0);
    EXPECT_EQ(::WaitForSingleObject(server.GetFinishedEvent(), g_dwWorkerTimeoutMs), WAIT_OBJECT_0);
    EXPECT_EQ(CountLoggedContaining(log, HLOG_WARNING, L"could not be created"), 1u);
    EXPECT_EQ(server.GetUILanguage(), L"");
    EXPECT_FALSE(server.GetDeleteFiles());
}

TEST(CAnswerPipeServer, StoppingTheWorkerWhileItWaitsForAClientReturnsPromptly)
{
    CAnswerPipeServer server;
    server.StartWorkerThread(0);
    ASSERT_TRUE(AwaitListeningPipe());
    const auto start = std::chrono::steady_clock::now();
    server.StopWorkerThread();
    EXPECT_LT(ElapsedMs(start), g_nPromptMs);
    EXPECT_FALSE(server.IsWorking());
    EXPECT_EQ(server.GetUILanguage(), L"") << "no answer was read";
}

TEST(CAnswerPipeServer, TheDestructorStopsTheWorkerAndClosesThePipe)
{
    auto pServer = std::make_unique<CAnswerPipeServer>();
    pServer->StartWorkerThread(0);
    ASSERT_TRUE(AwaitListeningPipe());
    const auto start = std::chrono::steady_clock::now();
    pServer.reset();
    EXPECT_LT(ElapsedMs(start), g_nPromptMs);
    ::SetLastError(0xdeadbeef);
    EXPECT_FALSE(::WaitNamedPipeW(CAnswerPipeServer::PipeName, 10));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}
