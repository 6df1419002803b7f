// answercheck.exe, run as a child process: on saved answers, each with one
// pitfall or none (the findings and their places), on installer runs of
// FakeInstaller.exe (the answer through the launcher's pipe server, the
// exit code, a client that writes nothing, none at all, an installer that
// never ends), on bad command lines, and on generated answers that must
// never make it crash or hang.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "RAde/HStringHelper.h"
#include "TestSupport.h"
#include "ToolRunSupport.h"

namespace {

constexpr char kPipe[] = "\\\\.\\pipe\\HulvsInstaller";

// "{file}" stands for the source of the answer, "{program}" for a program
// that is there (this test program).
std::string Expand(std::string strText, const std::string& strFile)
{
    const std::string strProgram = Utf8Of(TestProgramFolder()) + "AnswerCheckTests.exe";
    for (const auto& [strMark, strValue] : {std::pair<std::string, std::string>{"{file}", strFile},
                                            std::pair<std::string, std::string>{"{program}", strProgram}})
        for (size_t nAt = strText.find(strMark); nAt != std::string::npos; nAt = strText.find(strMark, nAt))
            strText.replace(nAt, strMark.size(), strValue);
    return strText;
}

// Every expected line is one of the output's lines; a clean run has no finding at all.
void ExpectLines(const CRunResult& run, DWORD dwExitCode, const std::vector<std::string>& expected,
                 const std::string& strSource)
{
    EXPECT_EQ(run.dwExitCode, dwExitCode) << run.out << run.err;
    const std::vector<std::string> lines = LinesOf(run.out);
    for (const std::string& strExpected : expected)
        EXPECT_NE(std::find(lines.begin(), lines.end(), Expand(strExpected, strSource)), lines.end())
            << "expected the line\n  " << Expand(strExpected, strSource) << "\nin\n"
            << run.out;
    if (dwExitCode != 0)
        return;
    for (const std::string& strLine : lines)
        EXPECT_NE(strLine.rfind(strSource, 0), 0u) << "a finding in a clean answer: " << strLine;
}

std::wstring WideOf(const std::string& strUtf8)
{
    return CHStringHelper::MultiByteToString(strUtf8.c_str(), strUtf8.size(), CP_UTF8);
}

struct CSavedAnswer
{
    const char* pszName;
    std::string bytes;  // "{program}" is expanded before they are written
    DWORD dwExitCode;
    std::vector<std::string> lines;
};

std::string Answer(const std::string& strUtf8)
{
    return Utf16Le(WideOf(Expand(strUtf8, "")), true);
}

const CSavedAnswer kSavedAnswers[] = {
    {"clean",
     Answer("autorun={program} /first run\nlanguage=de-de\ndelete-files=true\n"),
     0,
     {"autorun: \"{program}\" with arguments \"/first run\" in \"" + Utf8Of(TestProgramFolder()) +
          "\", with the environment read afresh from the registry",
      "language: de-de", "delete-files: true: the staged files are deleted behind the wait dialog"}},
    {"crlf",
     Answer("language=de-de\r\ndelete-files=true\r\n"),
     1,
     {"{file}(1,15): 2 lines end in CR LF: the launcher keeps the CR in the value (\"true\\r\" is not true, an "
      "argument ends in it); end each line with a line feed alone",
      "delete-files: not true: nothing is deleted"}},
    {"lone cr",
     Answer("language=de-de\rdelete-files=true\n"),
     1,
     {"{file}(1,15): 1 carriage return without a line feed: it does not end a line, the text after it belongs to "
      "the same line; end each line with a line feed alone"}},
    {"utf-8 without a mark",
     "language=de-de\ndelete-files=true\n",
     1,
     {"{file}(1,1): no byte-order mark, and the bytes look like 8-bit text (UTF-8 or an ANSI code page), which the "
      "launcher reads as UTF-16 and does not understand: send UTF-16 little-endian after FF FE",
      "delete-files: not true: nothing is deleted"}},
    {"non-ascii without a mark",
     Utf16Le(L"delete-files=true\nlanguage=\x0440\x0443\n", false),
     1,
     {"{file}(2,10): non-ASCII text in an answer without a byte-order mark: the launcher guesses the byte order "
      "from the text's statistics; begin the answer with FF FE"}},
    {"unknown keys",
     Answer("languag=de-de\nAutorun = {program}\nsomething\nreboot=now\n"),
     1,
     {"{file}(1,1): unknown key \"languag\": the line is ignored; did you mean \"language=\"?",
      "{file}(2,1): unknown key \"Autorun \": the line is ignored; did you mean \"autorun=\"?",
      "{file}(3,1): a line without \"=\" is ignored", "{file}(4,1): unknown key \"reboot\": the line is ignored",
      "language: en-uk", "autorun: none"}},
    {"blanks around values",
     Answer("language= de-de\ndelete-files=true \n"),
     1,
     {"{file}(1,10): the value of language= begins with a blank, which stays part of it",
      "{file}(2,14): the value of delete-files= ends with a blank, which stays part of it"}},
    {"missing programs",
     Answer("autorun=C:\\no such folder\\app.exe /x\nautorun=\"C:\\no such folder\\app.exe\" /x\n"),
     1,
     {"{file}(1,9): autorun program \"C:\\no\" is not a file that is there: the launcher skips it",
      "{file}(2,9): autorun program \"C:\\no\" is not a file that is there: the launcher skips it (a path with "
      "blanks needs two pairs of quotes)",
      "autorun: \"C:\\no\" is not there: not started"}},
    {"values that do not count",
     Answer("delete-files=yes\nlanguage=\n"),
     1,
     {"{file}(1,14): delete-files is \"yes\", which forbids deleting: only \"true\" allows it",
      "{file}(2,10): the language is empty: the wait dialog finds no strings for it"}},
    {"over the cap",
     Answer("language=de-de\n" + std::string(40000, 'x')),
     1,
     {"answer: 80032 bytes from {file}, taken as none",
      "{file}: the answer is 80032 bytes, over the launcher's cap of 65536 (or a flood of empty messages): the "
      "launcher ignores all of it (nothing is started or deleted)",
      "language: en-uk"}},
    {"empty",
     "",
     1,
     {"{file}: the installer connected and wrote nothing: the launcher takes no answer (nothing is started or "
      "deleted)"}},
};

void PrintTo(const CSavedAnswer& test, std::ostream* pStream)
{
    *pStream << test.pszName;
}

class CSavedAnswerTest : public testing::TestWithParam<CSavedAnswer>
{};

TEST_P(CSavedAnswerTest, TellsWhatTheLauncherMakesOfIt)
{
    CTempFile answer(L"answer", GetParam().bytes);
    CRunResult run = RunTool(L"answercheck.exe", {L"--answer", answer.Path()});
    ExpectLines(run, GetParam().dwExitCode, GetParam().lines, Utf8Of(answer.Path()));
}

INSTANTIATE_TEST_SUITE_P(AnswerCheck, CSavedAnswerTest, testing::ValuesIn(kSavedAnswers),
                         [](const testing::TestParamInfo<CSavedAnswer>& info) {
                             std::string strName = info.param.pszName;
                             std::replace_if(
                                 strName.begin(), strName.end(), [](char ch) { return !std::isalnum(ch); }, '_');
                             return strName;
                         });

// An installer run: FakeInstaller's switches, and what answercheck must say.
struct CInstallerRun
{
    const char* pszName;
    std::wstring strTimeout;  // "" for the default
    std::wstring strSwitches;
    DWORD dwExitCode;
    std::vector<std::string> lines;
};

const CInstallerRun kInstallerRuns[] = {
    {"answer and success",
     L"",
     L"/connect=exit /exit=0",
     0,
     {"language: de-de", "exit code 0: the staged files are deleted, then 1 autorun is started"}},
    {"restart",
     L"",
     L"/connect=exit /exit=3010",
     0,
     {"exit code 3010: the staged files are deleted, then Windows is "
      "restarted; no autorun is started"}},
    {"restart started",
     L"",
     L"/connect=exit /exit=1641",
     0,
     {"exit code 1641: the staged files are deleted, then nothing more: the installer has started a restart itself; "
      "no autorun is started"}},
    {"answer from a child", L"", L"/child /exit=0", 0, {"language: de-de"}},
    {"silent client",
     L"",
     L"/connect=silent /exit=0",
     1,
     {"{file}: the installer connected and wrote nothing: the launcher takes no answer (nothing is started or "
      "deleted)",
      "exit code 0: nothing is started"}},
    {"no client",
     L"",
     L"/connect=never /exit=0",
     1,
     {"answer: none came through {file}",
      "{file}: no client of the installer connected: the launcher takes no answer (nothing is started or deleted)"}},
    {"never ends",
     L"/timeout=2",
     L"/connect=never /runfor=600000",
     1,
     {"{file}: the installer did not end within 2 s: answercheck ended it (the launcher waits for it as long as it "
      "runs)"}},
};

void PrintTo(const CInstallerRun& test, std::ostream* pStream)
{
    *pStream << test.pszName;
}

class CInstallerRunTest : public testing::TestWithParam<CInstallerRun>
{};

TEST_P(CInstallerRunTest, TellsWhatTheLauncherMakesOfTheAnswer)
{
    CTempFile answer(L"answer", Answer("autorun={program}\nlanguage=de-de\ndelete-files=true\n"));
    // What the installer notes of its run stays in the folder, not in the current one.
    CTempFolder notes(L"answercheck");
    std::vector<std::wstring> args;
    if (!GetParam().strTimeout.empty())
        args.push_back(GetParam().strTimeout);
    args.push_back(TestProgramFolder() + L"FakeInstaller.exe");
    args.push_back(L"/answer=" + answer.Path());
    args.push_back(L"/record=" + (notes / L"record.txt"));
    std::wistringstream switches(GetParam().strSwitches);
    for (std::wstring strSwitch; switches >> strSwitch;)
        args.push_back(strSwitch);
    const ULONGLONG nStart = ::GetTickCount64();
    CRunResult run = RunTool(L"answercheck.exe", args);
    ExpectLines(run, GetParam().dwExitCode, GetParam().lines, kPipe);
    EXPECT_LT(::GetTickCount64() - nStart, 30000u) << "the run must end at the installer's end or its time-out";
}

INSTANTIATE_TEST_SUITE_P(AnswerCheck, CInstallerRunTest, testing::ValuesIn(kInstallerRuns),
                         [](const testing::TestParamInfo<CInstallerRun>& info) { return std::to_string(info.index); });

TEST(AnswerCheck, CommandLinesThatNameNoRunExitWithTwo)
{
    const std::wstring strMissing = TestProgramFolder() + L"no such answer.txt";
    const std::wstring strNoInstaller = TestProgramFolder() + L"NoSuchInstaller.exe";
    // What standard error must hold: the usage, or the file with the system's reason before it.
    const struct
    {
        std::vector<std::wstring> args;
        std::string strError;
    } kCases[] = {
        {{}, "usage: answercheck"},
        {{L"--answer"}, "usage: answercheck"},
        {{L"/timeout=0", L"x.exe"}, "usage: answercheck"},
        {{L"/timeout=2"}, "usage: answercheck"},
        {{L"--answer", strMissing}, ". (File: " + Utf8Of(strMissing) + ")\n"},
        {{strNoInstaller}, ". (File: " + Utf8Of(strNoInstaller) + ")\n"},
        {{TestProgramFolder()}, ". (File: " + Utf8Of(TestProgramFolder()) + ")\n"},
    };
    for (const auto& test : kCases) {
        CRunResult run = RunTool(L"answercheck.exe", test.args);
        EXPECT_EQ(run.dwExitCode, 2u) << run.err;
        EXPECT_NE(run.err.find(test.strError), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
}

// Generated answers: random bytes, and random lines of keys, slips, blanks,
// quotes and line ends, one of 10 MB among them. Whatever comes, the tool
// ends, exits with 0 or 1, and writes only description and finding lines.
TEST(AnswerCheck, GeneratedAnswersNeverMakeItFail)
{
    std::mt19937 random(20261209);
    const std::vector<std::string> kPieces = {
        "autorun=", "language=", "delete-files=", "Autorun=",  "languag=", "true", "\"",  " ", "\r", "\n",
        "\r\n",     "=",         "C:\\",          "{program}", "\xFF\xFE", "\xD8", "\x00"};
    std::vector<std::string> answers;
    for (int i = 0; i < 12; ++i) {
        std::string bytes(std::uniform_int_distribution<size_t>(0, 3000)(random), '\0');
        for (char& ch : bytes)
            ch = static_cast<char>(random());
        answers.push_back(bytes);
    }
    for (int i = 0; i < 12; ++i) {
        std::string strText;
        for (int n = std::uniform_int_distribution<int>(1, 60)(random); n > 0; --n)
            strText += kPieces[random() % kPieces.size()];
        answers.push_back(i % 2 ? Answer(strText) : Expand(strText, ""));
    }
    answers.push_back(std::string(10 * 1024 * 1024, 'a'));

    const std::regex kWellFormed(R"(^(answer|autorun|language|delete-files): .*|^.+(\(\d+,\d+\))?: .+)");
    for (const std::string& bytes : answers) {
        CTempFile answer(L"answer", bytes);
        CRunResult run = RunTool(L"answercheck.exe", {L"--answer", answer.Path()});
        EXPECT_TRUE(run.dwExitCode == 0 || run.dwExitCode == 1) << run.dwExitCode << " " << run.err;
        EXPECT_EQ(run.err, "");
        for (const std::string& strLine : LinesOf(run.out))
            EXPECT_TRUE(std::regex_match(strLine, kWellFormed)) << strLine;
    }
}

}  // namespace
