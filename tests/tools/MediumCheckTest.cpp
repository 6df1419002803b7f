// mediumcheck.exe, run as a child process on media built for each case: the
// relaunch line, every finding with its position, and the exit code; and on
// generated media, that it always ends in time with well-formed lines.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "ToolRunSupport.h"

namespace {
// The smallest file the check takes for a Windows executable: "MZ", the
// header's offset at 0x3C, "PE\0\0" there.
const std::string kExecutable = "MZ" + std::string(0x3A, '\0') + std::string("\x40\0\0\0PE\0\0", 8);

// A medium of the test's own: the launcher and the default installer are
// there unless a case removes them.
class CMedium : public CTempFolder
{
public:
    explicit CMedium(const wchar_t* pszStem = L"medium") : CTempFolder(pszStem)
    {
        Add(L"InstallerShim.exe", "launcher");
        ::CreateDirectoryW((*this / L"Setup").c_str(), nullptr);
        Add(L"Setup\\HalvikInstaller.exe", kExecutable);
    }
    void Add(const std::wstring& strRelative, const std::string& bytes) { WriteFileBytes(*this / strRelative, bytes); }
    void Remove(const std::wstring& strRelative) { ::DeleteFileW((*this / strRelative).c_str()); }
    void Autorun(const std::string& strText) { Add(L"autorun.inf", Expanded(strText)); }
    void AddSampleSkin() { CopyTree(SampleSkinFolder(), Path()); }
    // {M}: the medium's folder with its trailing "\"; {S}: the sample skin's folder.
    std::string Expanded(std::string strText) const
    {
        for (const auto& [strName, strValue] :
             {std::pair<std::string, std::string>{"{M}", Utf8Of(Path() + L"\\")}, {"{S}", Utf8Of(SampleSkinFolder())}})
            for (size_t nAt = strText.find(strName); nAt != std::string::npos; nAt = strText.find(strName, nAt))
                strText.replace(nAt, strName.size(), strValue);
        return strText;
    }

    std::vector<std::wstring> args = {Path()};
};

const std::string kDefaultRelaunch = "/run=\"{M}Setup\\HalvikInstaller.exe\" /runWorkingFolder=\"{M}\" "
                                     "/deleteAfterInstall=\"\" /mediumFolder=\"{M}\"";

struct CMediumCase
{
    const char* pszName;
    std::function<void(CMedium&)> build;
    DWORD dwExitCode;
    // Standard output line by line; a line ending in "*" is matched up to it
    // (the system's own message text follows).
    std::vector<std::string> lines;
    const char* pszError = "";  // part of standard error
};

const CMediumCase kMediumCases[] = {
    {"deletes with the skin",
     [](CMedium& m) {
         m.AddSampleSkin();
         m.Add(L"tmp.log", "");
         m.Autorun("[autorun]\r\nopen=InstallerShim.exe\r\n[InstallerShim]\r\ndeleteAfterInstall=Setup;tmp.log;\r\n");
     },
     0,
     {"/run=\"{M}Setup\\HalvikInstaller.exe\" /runWorkingFolder=\"{M}\" /deleteAfterInstall=\"{M}Setup;{M}tmp.log\" "
      "/mediumFolder=\"{M}\""}},
    {"no installer, no launcher",
     [](CMedium& m) {
         m.Remove(L"InstallerShim.exe");
         m.Remove(L"Setup\\HalvikInstaller.exe");
         m.Autorun("[autorun]\r\nopen=x.exe\r\n");
     },
     1,
     {kDefaultRelaunch, "{M}autorun.inf: the installer \"{M}Setup\\HalvikInstaller.exe\" (run's default) is missing",
      "{M}autorun.inf: there is no InstallerShim.exe beside this file"}},
    {"UTF-16 file, installer no executable, folders missing",
     [](CMedium& m) {
         m.Add(L"Setup\\x.exe", "MZ but no more");
         std::string strText = "\xFF\xFE";
         for (char ch : std::string("[InstallerShim]\r\nrun= Setup\\x.exe\r\nworkingFolder=Work\r\n"
                                    "runWorkingFolder=\"Inst\"\r\n"))
             strText += std::string{ch, '\0'};
         m.Add(L"autorun.inf", strText);
     },
     1,
     {"/run=\"{M}Setup\\x.exe\" /runWorkingFolder=\"{M}Inst\" /deleteAfterInstall=\"\" /mediumFolder=\"{M}\"",
      "{M}autorun.inf(2,6): the installer \"{M}Setup\\x.exe\" is not a Windows executable (no MZ and PE header)",
      "{M}autorun.inf(3,15): the working folder \"{M}Work\" does not exist: stage one cannot start its copy there and "
      "ends in the error box",
      "{M}autorun.inf(4,19): the installer's working folder \"{M}Inst\" does not exist: stage two cannot start the "
      "installer in it"}},
    {"dropped and missing delete entries",
     [](CMedium& m) { m.Autorun("[InstallerShim]\r\ndeleteAfterInstall=;C:\\Windows;..\\x;gone;Setup\r\n"); },
     1,
     {"/run=\"{M}Setup\\HalvikInstaller.exe\" /runWorkingFolder=\"{M}\" /deleteAfterInstall=\"{M}gone;{M}Setup\" "
      "/mediumFolder=\"{M}\"",
      "{M}autorun.inf(2,20): an empty delete entry",
      "{M}autorun.inf(2,21): delete entry \"C:\\Windows\" is absolute: stage one drops it (only paths below the "
      "medium's folder are deleted)",
      "{M}autorun.inf(2,32): delete entry \"..\\x\" leaves the medium's folder: stage one drops it",
      "{M}autorun.inf(2,37): delete entry \"gone\" names nothing: \"{M}gone\" does not exist",
      "{M}SkinningConfig.xml: missing: stage two reads it for its deletion dialog and, without it, ends in the error "
      "box"}},
    {"another drive than the working folder",
     [](CMedium& m) { m.Autorun("[InstallerShim]\r\nworkingFolder={S}\r\ndeleteAfterInstall=Setup\r\n"); },
     1,
     {"/run=\"{M}Setup\\HalvikInstaller.exe\" /runWorkingFolder=\"{M}\" /deleteAfterInstall=\"{M}Setup\" "
      "/mediumFolder=\"{M}\"",
      "{M}autorun.inf(3,20): delete entry \"Setup\" is on another drive than the working folder \"{S}\": stage two "
      "leaves it in place"}},
    {"a broken skin",
     [](CMedium& m) {
         m.AddSampleSkin();
         m.Remove(L"Resources\\shadow.png");
         m.Autorun("[InstallerShim]\r\ndeleteAfterInstall=Setup\r\n");
     },
     1,
     {"/run=\"{M}Setup\\HalvikInstaller.exe\" /runWorkingFolder=\"{M}\" /deleteAfterInstall=\"{M}Setup\" "
      "/mediumFolder=\"{M}\"",
      "{M}SkinningConfig.xml(1,1): image \"{M}Resources\\shadow.png\" is missing"}},
    {"refused values",
     [](CMedium& m) {
         m.Autorun("[InstallerShim]\r\nrun=Setup\\a\"b.exe\r\nrunWorkingFolder=" + std::string(1100, 'w') +
                   "\r\ndeleteAfterInstall=" + std::string(1100, 'd') + "\r\n");
     },
     1,
     {"{M}autorun.inf(2,5): the value of run holds a double quote or a control character: stage one refuses it and "
      "ends in the error box: the user sees \"*",
      "{M}autorun.inf(3,18): the value of runWorkingFolder is longer than 1024 characters: stage one refuses it and "
      "ends in the error box",
      "{M}autorun.inf(4,20): the value is longer than 1024 characters: stage one cuts it and deletes nothing"}},
    {"malformed lines",
     [](CMedium& m) {
         m.Autorun("[InstallerShim]\r\nrun=Setup\\HalvikInstaller.exe\r\n  garbage line\r\n=x\r\nRUN=other.exe\r\n"
                   "workfolder=x\r\n[unclosed\r\n[other]\r\nanything\r\n[ installershim ]\r\n");
     },
     1,
     {kDefaultRelaunch, "{M}autorun.inf(3,3): neither key=value, comment nor blank: the reader ignores this line",
      "{M}autorun.inf(4,1): a value without a key: the reader ignores this line",
      "{M}autorun.inf(5,1): \"RUN\" is given again: the reader takes the one on line 2",
      "{M}autorun.inf(6,1): unknown key \"workfolder\": the launcher reads only workingFolder, run, runWorkingFolder "
      "and deleteAfterInstall",
      "{M}autorun.inf(7,1): a section header without \"]\": the reader does not take it for one",
      "{M}autorun.inf(10,1): a second [InstallerShim] section: the reader takes only the first one's keys"}},
    {"no autorun.inf", [](CMedium&) {}, 2, {}, "autorun.inf)"},
    {"no such folder", [](CMedium& m) { m.args = {m / L"gone"}; }, 2, {}, "gone: "},
    {"bad usage", [](CMedium& m) { m.args = {L"/?"}; }, 2, {}, "usage: mediumcheck [FOLDER]"},
};

void PrintTo(const CMediumCase& test, std::ostream* pStream)
{
    *pStream << test.pszName;
}

class CMediumCheckTest : public testing::TestWithParam<CMediumCase>
{};

TEST_P(CMediumCheckTest, PrintsTheRelaunchLineAndEveryFindingAtItsPosition)
{
    CMedium medium;
    GetParam().build(medium);
    const CRunResult run = RunTool(L"mediumcheck.exe", medium.args);
    EXPECT_EQ(run.dwExitCode, GetParam().dwExitCode);
    const std::vector<std::string> lines = LinesOf(run.out);
    ASSERT_EQ(lines.size(), GetParam().lines.size()) << run.out;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string strExpected = medium.Expanded(GetParam().lines[i]);
        if (strExpected.back() == '*')
            EXPECT_EQ(lines[i].substr(0, strExpected.size() - 1), strExpected.substr(0, strExpected.size() - 1));
        else
            EXPECT_EQ(lines[i], strExpected);
    }
    EXPECT_NE(run.err.find(GetParam().pszError), std::string::npos) << run.err;
}

INSTANTIATE_TEST_SUITE_P(MediumCheck, CMediumCheckTest, testing::ValuesIn(kMediumCases),
                         [](const testing::TestParamInfo<CMediumCase>& info) { return std::to_string(info.index); });

// ---------------------------------------------------------------------------
// Generated media

const std::string kKeys =
    "run|workingFolder|runWorkingFolder|deleteAfterInstall|RUN| run |x||[InstallerShim]|[autorun|;";
const std::string kPieces =
    "Setup|..|\\|C:\\|;|\"|\t|\x01|\xC3\xA9|\\\\server\\share|{M}|Setup\\HalvikInstaller.exe| |.";

// One of the "|"-separated words, at random.
std::string PickOne(std::mt19937& rng, const std::string& strWords)
{
    std::vector<std::string> words(1);
    for (char ch : strWords)
        ch == '|' ? words.emplace_back() : words.back() += ch;
    return words[rng() % words.size()];
}

// Lines of keys, values and entries that come close to what media hold.
std::string RandomAutorun(std::mt19937& rng)
{
    std::string strText = "[InstallerShim]\r\n";
    for (int nLine = static_cast<int>(rng() % 12); nLine > 0; --nLine) {
        strText += PickOne(rng, kKeys) + (rng() % 4 ? "=" : "");
        for (int nPiece = static_cast<int>(rng() % 10); nPiece > 0; --nPiece)
            strText += PickOne(rng, kPieces);
        strText += std::string(rng() % 8 == 0 ? 1000 + rng() % 100 : 0, 'v') + (rng() % 2 ? "\r\n" : "\n");
    }
    return strText;
}

struct CFuzzCase
{
    const char* pszName;
    int nRuns;
    std::function<void(std::mt19937&, CMedium&)> generate;
};

const CFuzzCase kFuzzCases[] = {
    {"random bytes", 12,
     [](std::mt19937& rng, CMedium& m) {
         std::string bytes(rng() % 65536, '\0');
         for (char& ch : bytes)
             ch = static_cast<char>(rng());
         m.Add(L"autorun.inf", bytes);
     }},
    {"random keys, values and entries", 40, [](std::mt19937& rng, CMedium& m) { m.Autorun(RandomAutorun(rng)); }},
    {"huge values", 4,
     [](std::mt19937& rng, CMedium& m) {
         const char* pszKeys[] = {"run", "workingFolder", "runWorkingFolder", "deleteAfterInstall"};
         m.Autorun(std::string("[InstallerShim]\r\n") + pszKeys[rng() % 4] + "=" + std::string(1 << 20, ';') + "x\r\n");
     }},
    {"a folder of 10,000 files", 1,
     [](std::mt19937&, CMedium& m) {
         for (int i = 0; i < 10000; ++i)
             m.Add(L"Setup\\f" + std::to_wstring(i), "");
         m.Autorun("[InstallerShim]\r\nworkingFolder=Setup\r\ndeleteAfterInstall=Setup;Setup\\f1;Setup\\f9999\r\n");
     }},
};

void PrintTo(const CFuzzCase& test, std::ostream* pStream)
{
    *pStream << test.pszName;
}

class CMediumCheckFuzzTest : public testing::TestWithParam<CFuzzCase>
{};

TEST_P(CMediumCheckFuzzTest, EndsInTimeWithAnExitCodeAndWellFormedLines)
{
    for (int nRun = 0; nRun < GetParam().nRuns; ++nRun) {
        const unsigned nSeed = 20240 + static_cast<unsigned>(nRun);
        SCOPED_TRACE("seed " + std::to_string(nSeed));
        std::mt19937 rng(nSeed);
        CMedium medium;
        GetParam().generate(rng, medium);
        const ULONGLONG nStart = ::GetTickCount64();
        const CRunResult run = RunTool(L"mediumcheck.exe", medium.args);
        EXPECT_LT(::GetTickCount64() - nStart, 20000u);
        EXPECT_LE(run.dwExitCode, 2u) << "not an exit code of the tool: a crash";
        const std::string strMedium = Utf8Of(medium.Path() + L"\\");
        const std::vector<std::string> lines = LinesOf(run.out);
        size_t nFindings = 0;
        for (size_t i = 0; i < lines.size(); ++i) {
            const bool bRelaunch = i == 0 && lines[i].rfind("/run=\"", 0) == 0;
            const bool bFinding = lines[i].rfind(strMedium, 0) == 0 && lines[i].find(": ") != std::string::npos;
            EXPECT_TRUE(bRelaunch || bFinding) << lines[i];
            EXPECT_EQ(lines[i].find_first_of("\r\t"), std::string::npos) << lines[i];
            nFindings += bFinding ? 1 : 0;
        }
        if (run.dwExitCode != 2) {
            EXPECT_EQ(run.dwExitCode == 1, nFindings > 0) << run.out;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(MediumCheck, CMediumCheckFuzzTest, testing::ValuesIn(kFuzzCases),
                         [](const testing::TestParamInfo<CFuzzCase>& info) { return std::to_string(info.index); });
}  // namespace
