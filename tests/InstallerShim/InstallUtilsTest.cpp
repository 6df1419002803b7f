// CInstallUtils without the pipe, and the parsers it uses: the command
// line, "autorun.inf", the relaunch from %TEMP%, deleting paths, the autorun
// values and starting the autoruns.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "InstallUtilsTestSupport.h"
#include "InstallerShim/InstallParsers.h"
#include "ProcessCreationFailure.h"
#include "RAde/HFileUtilities.h"

using InstallParsers::HasUnclosedQuote;

namespace {

struct CParsed
{
    std::wstring strRun, strRunWorkingFolder, strDeleteAfterInstall, strRemaining;
};

CParsed Parse(const std::wstring& strCommandLine)
{
    CParsed parsed;
    CInstallUtils::ParseCommandLine(strCommandLine, parsed.strRun, parsed.strRunWorkingFolder,
                                    parsed.strDeleteAfterInstall, parsed.strRemaining);
    return parsed;
}

// An "autorun.inf" in a folder of the test's own, as the executable's folder.
class CAutorunFolder
{
public:
    explicit CAutorunFolder(const std::wstring& strStem = L"autorun") : m_folder(strStem) {}

    void Write(const std::string& strContent) { WriteFileBytes(m_folder / L"autorun.inf", strContent); }
    // The executable's folder as GetExeDirectory gives it: with a trailing "\".
    std::wstring ExeDirectory() const { return m_folder.Path() + L"\\"; }

    void Read(std::wstring& strWorkingFolder, std::wstring& strRelaunchArguments) const
    {
        CInstallUtils::ReadAutorunInfFrom(ExeDirectory(), strWorkingFolder, strRelaunchArguments);
    }
    std::wstring RelaunchArguments() const
    {
        std::wstring strWorkingFolder, strArguments;
        Read(strWorkingFolder, strArguments);
        return strArguments;
    }

private:
    CTempFolder m_folder;
};

std::wstring Relaunch(const std::wstring& strRun, const std::wstring& strRunWorkingFolder,
                      const std::wstring& strDeleteList, const std::wstring& strMediumFolder)
{
    return L"/run=\"" + strRun + L"\" /runWorkingFolder=\"" + strRunWorkingFolder + L"\" /deleteAfterInstall=\"" +
           strDeleteList + L"\" /mediumFolder=\"" + strMediumFolder + L"\"";
}

std::wstring ParsedDeleteList(const std::wstring& strRelaunchArguments)
{
    return Parse(strRelaunchArguments).strDeleteAfterInstall;
}

std::wstring WithoutTrailingSeparator(std::wstring strPath)
{
    CInstallUtils::EnsureNoTrailingSeparator(strPath);
    return strPath;
}

std::vector<std::pair<std::wstring, std::wstring>> Autoruns(const std::vector<std::wstring>& values)
{
    CInstallUtils::AutorunList autoruns;
    for (const std::wstring& strValue : values)
        InstallParsers::ParseAutorunProgramAndArgument(strValue, autoruns);
    return autoruns;
}

}  // namespace

// ---------------------------------------------------------------------------
// Command line

TEST(CInstallUtilsCommandLine, SplitsSwitchesFromRemainingArgumentsAndJoinsQuotedValues)
{
    CParsed parsed = Parse(L"/run=\"C:\\Program Files\\X\\setup.exe\" extra");
    EXPECT_EQ(parsed.strRun, L"C:\\Program Files\\X\\setup.exe");
    EXPECT_EQ(parsed.strRemaining, L"extra");
    EXPECT_EQ(parsed.strRunWorkingFolder, L"");
    EXPECT_EQ(parsed.strDeleteAfterInstall, L"");

    parsed = Parse(L"/run=\"C:\\a  b\\x.exe\" /runWorkingFolder=\"C:\\w   x\\\"");
    EXPECT_EQ(parsed.strRun, L"C:\\a  b\\x.exe") << "a quoted value keeps its blanks as they are";
    EXPECT_EQ(parsed.strRunWorkingFolder, L"C:\\w   x\\") << "a backslash before the closing quote is a character";

    parsed = Parse(L"  first  /deleteAfterInstall=\"C:\\a;C:\\b  c\"   \"quoted  arg\"  a\"b c\"d last ");
    EXPECT_EQ(parsed.strDeleteAfterInstall, L"C:\\a;C:\\b  c");
    EXPECT_EQ(parsed.strRemaining, L"first \"quoted  arg\" a\"b c\"d last")
        << "other tokens are passed on as written, one blank apart; a quoted run inside a token keeps it whole";

    std::wstring strRun, strFolder, strDelete, strRemaining, strMedium;
    CInstallUtils::ParseCommandLine(L"/mediumFolder=\"D:\\Disk  1\\\" /MEDIUMFOLDER=\"E:\\x\"", strRun, strFolder,
                                    strDelete, strRemaining, &strMedium);
    EXPECT_EQ(strMedium, L"E:\\x");
    EXPECT_EQ(strRemaining, L"");
    EXPECT_EQ(Parse(L"/mediumFolder=x").strRemaining, L"") << "the switch is the launcher's even when unasked for";
}

TEST(CInstallUtilsCommandLine, SwitchesInAnyCaseOnlyWithTheirEqualsSignAndTheLastOneWins)
{
    CParsed parsed = Parse(L"/RUN=a.exe /RunWorkingFolder=W /DELETEafterinstall=D /runx=a /run /run=b.exe");
    EXPECT_EQ(parsed.strRun, L"b.exe");
    EXPECT_EQ(parsed.strRunWorkingFolder, L"W");
    EXPECT_EQ(parsed.strDeleteAfterInstall, L"D");
    EXPECT_EQ(parsed.strRemaining, L"/runx=a /run");
}

TEST(CInstallUtilsCommandLine, AQuoteLeftOpenTakesTheRestOfTheLineAndLosesItsLastCharacter)
{
    EXPECT_EQ(Parse(L"/run=\"abc").strRun, L"ab");
    CParsed parsed = Parse(L"x /run=\"a b  c");
    EXPECT_EQ(parsed.strRun, L"a b  ");
    EXPECT_EQ(parsed.strRemaining, L"x");
    EXPECT_EQ(Parse(L"/run=\"\"").strRun, L"");
    EXPECT_EQ(Parse(L"/run=\"").strRun, L"");
}

TEST(CInstallUtilsCommandLine, OutputsThatNoTokenSetsKeepTheirValues)
{
    std::wstring strRun = L"old run", strFolder = L"old folder", strDelete = L"old list", strRemaining = L"before";
    CInstallUtils::ParseCommandLine(L"/runWorkingFolder=new after", strRun, strFolder, strDelete, strRemaining);
    EXPECT_EQ(strRun, L"old run");
    EXPECT_EQ(strFolder, L"new");
    EXPECT_EQ(strDelete, L"old list");
    EXPECT_EQ(strRemaining, L"before after");

    CParsed parsed = Parse(L"    ");
    EXPECT_EQ(parsed.strRemaining, L"");
    EXPECT_EQ(parsed.strRun, L"");
}

TEST(CInstallUtilsCommandLine, HasUnclosedQuote)
{
    const struct
    {
        const wchar_t* pszToken;
        bool bUnclosed;
    } cases[] = {
        {L"", false},      {L"abc", false},  {L"\"", true},       {L"a\"", true},  {L"\"a", true},
        {L"\"a\"", false}, {L"\"\"", false}, {L"a\"b\"c", false}, {L"a\"b", true}, {L"/run=\"x y\"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HasUnclosedQuote(c.pszToken), c.bUnclosed) << testing::PrintToString(std::wstring(c.pszToken));
}

TEST(CInstallUtilsCommandLine, GetTrimmedArgValueDropsThePrefixAndAnOuterQuotePair)
{
    EXPECT_EQ(CInstallUtils::GetTrimmedArgValue(L"/run=\"C:\\x\"", 5), L"C:\\x");
    EXPECT_EQ(CInstallUtils::GetTrimmedArgValue(L"/run=C:\\x\"", 5), L"C:\\x\"") << "no opening quote: untouched";
    EXPECT_EQ(CInstallUtils::GetTrimmedArgValue(L"/run=\"a\" b", 5), L"a\" ")
        << "the last character goes, whatever it is";
    EXPECT_EQ(CInstallUtils::GetTrimmedArgValue(L"/run=\"", 5), L"");
    EXPECT_EQ(CInstallUtils::GetTrimmedArgValue(L"/run=", 5), L"");
    EXPECT_EQ(CInstallUtils::GetTrimmedArgValue(L"/r", 5), L"") << "a prefix longer than the token";
    EXPECT_EQ(CInstallUtils::GetTrimmedArgValue(L"language= en ", 9), L" en ") << "no other trimming";
}

// ---------------------------------------------------------------------------
// "autorun.inf"

TEST(CInstallUtilsAutorunInf, WithoutTheFileTheInstallerBelowTheExeFolderIsRunAndNothingDeleted)
{
    CAutorunFolder folder;
    std::wstring strWorkingFolder, strArguments;
    folder.Read(strWorkingFolder, strArguments);
    const std::wstring strDir = folder.ExeDirectory();
    EXPECT_EQ(strWorkingFolder, strDir);
    EXPECT_EQ(strArguments, Relaunch(strDir + L"Setup\\HalvikInstaller.exe", strDir, L"", strDir));
}

TEST(CInstallUtilsAutorunInf, ReadsItsSectionOnlyAndMakesPathsAbsoluteAgainstTheExeFolder)
{
    CAutorunFolder folder;
    folder.Write("[autorun]\r\nopen=InstallerShim.exe\r\nrun=Other\\evil.exe\r\n"
                 "[InstallerShim]\r\nworkingFolder=Work\r\nrun=Inst\\setup.exe\r\nrunWorkingFolder=Inst\r\n"
                 "[Other]\r\ndeleteAfterInstall=Setup\r\n");
    std::wstring strWorkingFolder, strArguments;
    folder.Read(strWorkingFolder, strArguments);
    const std::wstring strDir = folder.ExeDirectory();
    EXPECT_EQ(strWorkingFolder, strDir + L"Work");
    EXPECT_EQ(strArguments, Relaunch(strDir + L"Inst\\setup.exe", strDir + L"Inst", L"", strDir));

    folder.Write("[InstallerShim]\r\nrun=D:\\Media\\setup.exe\r\nrunWorkingFolder=\\\\server\\share\r\n");
    EXPECT_EQ(folder.RelaunchArguments(),
              Relaunch(L"D:\\Media\\setup.exe", L"\\\\server\\share", L"", folder.ExeDirectory()))
        << "absolute paths are kept as they are";
}

TEST(CInstallUtilsAutorunInf, OnlyDeletePathsBelowTheExeFolderReachTheList)
{
    CAutorunFolder folder;
    const std::wstring strDir = folder.ExeDirectory();
    folder.Write("[InstallerShim]\r\ndeleteAfterInstall=Setup;C:\\Windows;tmp\\x.log;..\\..\\Users;"
                 "\\\\server\\share\\x;Setup\\..\\..\\escape;a\\..\\b;.;Setup\\..;C:relative;"
                 "..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\above-the-drive;x\\..\\..\\\r\n");
    CLogCapture log;
    EXPECT_EQ(ParsedDeleteList(folder.RelaunchArguments()),
              strDir + L"Setup;" + strDir + L"tmp\\x.log;" + strDir + L"b");
    // The relative ones that lead out are reported; absolute ones are simply not taken.
    EXPECT_EQ(CountLoggedContaining(log, HLOG_WARNING, L"..\\..\\Users"), 1u);
    EXPECT_EQ(CountLoggedContaining(log, HLOG_WARNING, L"Setup\\..\\..\\escape"), 1u);
    EXPECT_EQ(CountLoggedContaining(log, HLOG_WARNING, L"above-the-drive"), 1u);
    EXPECT_EQ(CountLoggedContaining(log, HLOG_WARNING, L"C:\\Windows"), 0u);
}

TEST(CInstallUtilsAutorunInf, EachDeleteEntryHasItsVerdictAndItsPlaceInTheValue)
{
    // A final ";" ends no entry; a ";" in the folder's name spoils every entry below it.
    using InstallParsers::DeleteEntryVerdict;
    const struct
    {
        const wchar_t *pszFolder, *pszValue;
        std::vector<std::pair<DeleteEntryVerdict, size_t>> entries;  // verdict, offset
    } cases[] = {
        {L"C:\\m\\", L"a;;", {{DeleteEntryVerdict::Kept, 0}, {DeleteEntryVerdict::Empty, 2}}},
        {L"C:\\a;b\\", L"x;\\\\s\\h", {{DeleteEntryVerdict::HoldsSeparator, 0}, {DeleteEntryVerdict::Absolute, 2}}},
    };
    for (const auto& c : cases) {
        std::vector<std::pair<DeleteEntryVerdict, size_t>> found;
        for (const InstallParsers::CDeleteEntry& entry : InstallParsers::ClassifyDeleteEntries(c.pszFolder, c.pszValue))
            found.emplace_back(entry.verdict, entry.nOffset);
        EXPECT_EQ(found, c.entries) << testing::PrintToString(std::wstring(c.pszValue));
    }
}

TEST(CInstallUtilsAutorunInf, TheRelaunchArgumentsParseBackIntoTheSameValuesWhateverTheFoldersAreCalled)
{
    // Every character a folder name may hold that means something elsewhere:
    // runs of blanks, the delete list's ";", and what a shell would read.
    for (const wchar_t* pszStem : {L"auto run", L"Disk  1", L"a%PATH%^&'=,()!b", L"\u0645\u062C\u0644\u062F  \u00E9"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(pszStem)));
        CAutorunFolder folder(pszStem);
        folder.Write("[InstallerShim]\r\nrun=My  Setup\\setup.exe\r\nrunWorkingFolder=My  Setup\r\n"
                     "deleteAfterInstall=My  Setup;tmp file.log;C:\\Windows\r\n");
        const std::wstring strDir = folder.ExeDirectory();
        std::wstring strMedium;
        CParsed parsed;
        CInstallUtils::ParseCommandLine(folder.RelaunchArguments() + L" /extra  \"two  words\"", parsed.strRun,
                                        parsed.strRunWorkingFolder, parsed.strDeleteAfterInstall, parsed.strRemaining,
                                        &strMedium);
        EXPECT_EQ(parsed.strRun, strDir + L"My  Setup\\setup.exe");
        EXPECT_EQ(parsed.strRunWorkingFolder, strDir + L"My  Setup");
        EXPECT_EQ(parsed.strDeleteAfterInstall, strDir + L"My  Setup;" + strDir + L"tmp file.log");
        EXPECT_EQ(strMedium, strDir);
        EXPECT_EQ(parsed.strRemaining, L"/extra \"two  words\"");
    }

    // The defaults too, where runWorkingFolder ends in a separator just before its closing quote.
    CAutorunFolder folder(L"defaults");
    const std::wstring strDir = folder.ExeDirectory();
    CParsed parsed = Parse(folder.RelaunchArguments());
    EXPECT_EQ(parsed.strRun, strDir + L"Setup\\HalvikInstaller.exe");
    EXPECT_EQ(parsed.strRunWorkingFolder, strDir);
    EXPECT_EQ(parsed.strDeleteAfterInstall, L"");
    EXPECT_EQ(parsed.strRemaining, L"");
}

TEST(CInstallUtilsAutorunInf, AValueHoldingAQuoteOrAControlCharacterNeverReachesTheLine)
{
    CAutorunFolder folder;
    const struct
    {
        const char* pszLine;
        const wchar_t* pszKey;
    } cases[] = {
        {"runWorkingFolder=x\" /deleteAfterInstall=\"..\\..", L"runWorkingFolder"},
        {"run=Setup\\a\"b.exe", L"run"},
        {"workingFolder=Set\tup", L"workingFolder"},
        {"deleteAfterInstall=Setup\" /x;tmp", L"deleteAfterInstall"},
        {"deleteAfterInstall=Setup;tmp\x01", L"deleteAfterInstall"},
        {"run=\"Setup\\a\"b\".exe\"", L"run"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszLine);
        folder.Write(std::string("[InstallerShim]\r\n") + c.pszLine + "\r\n");
        const CHException e = CatchThrown([&] { folder.RelaunchArguments(); });
        EXPECT_EQ(ErrorCodesOf(e).front(), HResultFromWin32(ERROR_INVALID_NAME));
        EXPECT_EQ(ValuesNamed(e, L"Key"), std::vector<std::wstring>{c.pszKey});
        EXPECT_EQ(ValuesNamed(e, L"File"), std::vector<std::wstring>{folder.ExeDirectory() + L"autorun.inf"});
    }
    // The system takes a value's enclosing quotes off: that value holds none.
    folder.Write("[InstallerShim]\r\nrun=\"My Setup\\setup.exe\"\r\n");
    EXPECT_EQ(Parse(folder.RelaunchArguments()).strRun, folder.ExeDirectory() + L"My Setup\\setup.exe");
}

TEST(CInstallUtilsAutorunInf, AValueThatFillsTheBufferIsCutAndNeverTakenAsWhole)
{
    CAutorunFolder folder;
    const std::wstring strDir = folder.ExeDirectory();
    const std::string strLongest(1023, 'a');
    const std::string strCut(1024, 'b');

    folder.Write("[InstallerShim]\r\nrun=" + strLongest + "\r\n");
    std::wstring strValue;
    EXPECT_TRUE(CInstallUtils::ReadIniValueFrom(strDir, L"run", strValue, L""));
    EXPECT_EQ(strValue, std::wstring(1023, L'a'));
    EXPECT_EQ(Parse(folder.RelaunchArguments()).strRun, strDir + std::wstring(1023, L'a'));

    for (const char* pszKey : {"run", "runWorkingFolder", "workingFolder"}) {
        folder.Write("[InstallerShim]\r\n" + std::string(pszKey) + "=" + strCut + "\r\n");
        EXPECT_FALSE(
            CInstallUtils::ReadIniValueFrom(strDir, std::wstring(pszKey, pszKey + strlen(pszKey)), strValue, L""));
        CHException e = CatchThrown([&] { folder.RelaunchArguments(); });
        EXPECT_EQ(ErrorCodesOf(e).front(), static_cast<int>(HError::BufferTooSmall)) << pszKey;
        EXPECT_EQ(ValuesNamed(e, L"Key"), std::vector<std::wstring>{std::wstring(pszKey, pszKey + strlen(pszKey))});
    }
    folder.Write("[InstallerShim]\r\nrun=" + std::string(3000, 'c') + "\r\n");
    CatchThrown([&] { folder.RelaunchArguments(); });

    // A cut delete list may end in a cut path: nothing is deleted, with a warning.
    const std::string strListOf1023 = "Setup;" + std::string(1017, 'd');
    folder.Write("[InstallerShim]\r\ndeleteAfterInstall=" + strListOf1023 + "\r\n");
    EXPECT_EQ(ParsedDeleteList(folder.RelaunchArguments()), strDir + L"Setup;" + strDir + std::wstring(1017, L'd'));
    folder.Write("[InstallerShim]\r\ndeleteAfterInstall=" + strListOf1023 + "x\r\n");
    CLogCapture log;
    EXPECT_EQ(ParsedDeleteList(folder.RelaunchArguments()), L"");
    EXPECT_EQ(CountLoggedContaining(log, HLOG_WARNING, L"deleteAfterInstall"), 1u);
}

TEST(CInstallUtilsAutorunInf, ThePublicReadersUseTheFileBesideTheRunningExecutable)
{
    // Whatever the test program's folder holds, both readers see the same
    // file there (the tests' current directory is another folder).
    std::wstring strWorkingFolder, strArguments, strExpectedFolder, strExpectedArguments;
    CInstallUtils::ReadAutorunInf(strWorkingFolder, strArguments);
    CInstallUtils::ReadAutorunInfFrom(TestProgramFolder(), strExpectedFolder, strExpectedArguments);
    EXPECT_EQ(strArguments, strExpectedArguments);
    EXPECT_EQ(strWorkingFolder, strExpectedFolder);

    std::wstring strValue, strExpected;
    CInstallUtils::ReadIniValue(L"run", strValue, L"<default>");
    CInstallUtils::ReadIniValueFrom(TestProgramFolder(), L"run", strExpected, L"<default>");
    EXPECT_EQ(strValue, strExpected);
}

// ---------------------------------------------------------------------------
// Paths

TEST(CInstallUtilsPaths, EnsureNoTrailingSeparatorRemovesOneSeparator)
{
    EXPECT_EQ(WithoutTrailingSeparator(L"C:\\Medium\\"), L"C:\\Medium");
    EXPECT_EQ(WithoutTrailingSeparator(L"C:\\Medium\\\\"), L"C:\\Medium\\");
    EXPECT_EQ(WithoutTrailingSeparator(L"C:/Medium/"), L"C:/Medium");
    EXPECT_EQ(WithoutTrailingSeparator(L"C:\\Medium"), L"C:\\Medium");
    EXPECT_EQ(WithoutTrailingSeparator(L""), L"");
}

TEST(CInstallUtilsPaths, DeletePathOfAMissingPathOnlyLogs)
{
    CTempFolder folder(L"delete");
    const std::wstring strMissing = folder / L"missing";
    CLogCapture log;
    CInstallUtils::DeletePath(strMissing + L"\\");
    EXPECT_EQ(CountLogged(log, HLOG_DEBUG, L"Path " + strMissing + L" not found!.\n"), 1u);
}

TEST(CInstallUtilsPaths, DeletePathDeletesAFileButNotAReadOnlyOne)
{
    CTempFolder folder(L"delete");
    const std::wstring strFile = folder / L"file.txt", strReadOnly = folder / L"readonly.txt";
    WriteFileBytes(strFile, "x");
    WriteFileBytes(strReadOnly, "x");
    ASSERT_TRUE(::SetFileAttributesW(strReadOnly.c_str(), FILE_ATTRIBUTE_READONLY));

    CInstallUtils::DeletePath(strFile);
    EXPECT_FALSE(PathExists(strFile));
    CHException e = CatchThrown([&] { CInstallUtils::DeletePath(strReadOnly); });
    EXPECT_EQ(ErrorCodesOf(e).front(), static_cast<int>(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED)));
    EXPECT_TRUE(PathExists(strReadOnly));
}

TEST(CInstallUtilsPaths, DeletePathDeletesAFolderTreeWithReadOnlyFiles)
{
    CTempFolder folder(L"delete");
    const std::wstring strTree = folder / L"tree";
    ASSERT_TRUE(::CreateDirectoryW(strTree.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((strTree + L"\\sub").c_str(), nullptr));
    WriteFileBytes(strTree + L"\\a.txt", "a");
    WriteFileBytes(strTree + L"\\sub\\b.txt", "b");
    ASSERT_TRUE(::SetFileAttributesW((strTree + L"\\sub\\b.txt").c_str(), FILE_ATTRIBUTE_READONLY));

    CInstallUtils::DeletePath(strTree + L"\\");
    EXPECT_FALSE(PathExists(strTree));
    EXPECT_TRUE(PathExists(folder.Path()));
}

// ---------------------------------------------------------------------------
// Relaunch from %TEMP%

namespace {

// The folders below %TEMP% that hold copies of the executable strName.
std::vector<std::wstring> CopyFoldersOf(const std::wstring& strName)
{
    std::vector<std::wstring> folders;
    const std::wstring strTemp = CHFileUtilities::GetTempDirectory();
    const std::wstring strStem = strName.substr(0, strName.rfind(L'.')) + L"-";
    WIN32_FIND_DATAW data;
    HANDLE hFind = ::FindFirstFileW((strTemp + strStem + L"*").c_str(), &data);
    for (BOOL bMore = hFind != INVALID_HANDLE_VALUE; bMore; bMore = ::FindNextFileW(hFind, &data))
        folders.push_back(strTemp + data.cFileName);
    if (hFind != INVALID_HANDLE_VALUE)
        ::FindClose(hFind);
    return folders;
}

// A copy of ProcessProbe.exe under a name no other test uses, as the
// executable that stage one copies into %TEMP%; the folders of its copies
// are removed at the end.
class CRelaunchedProbe
{
public:
    CRelaunchedProbe() : m_folder(L"relaunch")
    {
        m_strName = CHFileUtilities::GetFilenameFromPath(UniqueTempPath(L"probe")) + L".exe";
        m_strSource = m_folder / m_strName;
        CopyProcessProbeTo(m_strSource);
    }
    ~CRelaunchedProbe()
    {
        for (const std::wstring& strFolder : CopyFoldersOf(m_strName)) {
            EXPECT_TRUE(DeleteWhenFree(strFolder + L"\\" + m_strName));
            CTempFolder::RemoveTree(L"\\\\?\\" + strFolder);
        }
    }

    const CTempFolder& Folder() const { return m_folder; }
    const std::wstring& Name() const { return m_strName; }
    const std::wstring& Source() const { return m_strSource; }
    // The copies in %TEMP%, each in a folder of its own.
    std::vector<std::wstring> Copies() const
    {
        std::vector<std::wstring> copies;
        for (const std::wstring& strFolder : CopyFoldersOf(m_strName))
            if (PathExists(strFolder + L"\\" + m_strName))
                copies.push_back(strFolder + L"\\" + m_strName);
        return copies;
    }

private:
    CTempFolder m_folder;
    std::wstring m_strName, m_strSource;
};

CHKernelHandle StartWaitingProbe(const std::wstring& strProgram, const CReleaseEvent& release,
                                 const std::wstring& strStartedRecord)
{
    std::wstring strCommand = L"\"" + strProgram + L"\" /out=\"" + strStartedRecord + L"\" /wait=" + release.Name();
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(nullptr, strCommand.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        ADD_FAILURE() << "could not start the probe: " << ::GetLastError();
        return CHKernelHandle();
    }
    ::CloseHandle(info.hThread);
    return CHKernelHandle(info.hProcess);
}

}  // namespace

TEST(CInstallUtilsRelaunch, CopiesTheExecutableIntoAFolderOfItsOwnInTempAndStartsTheCopyInTheWorkingFolder)
{
    CRelaunchedProbe probe;
    const std::wstring strRecord = probe.Folder() / L"record.txt";
    const std::wstring strWorkingFolder = probe.Folder() / L"work";
    ASSERT_TRUE(::CreateDirectoryW(strWorkingFolder.c_str(), nullptr));
    const std::wstring strArguments = L"/out=\"" + strRecord + L"\" /run=\"C:\\a b\\setup.exe\" extra";

    CLogCapture log;
    EXPECT_TRUE(CInstallUtils::CopyExeToTmpAndStart(probe.Source(), strArguments, strWorkingFolder + L"\\"));
    auto record = AwaitProbeRecord(strRecord);
    ASSERT_TRUE(record);
    ASSERT_EQ(probe.Copies().size(), 1u);
    const std::wstring strCopy = probe.Copies().front();
    EXPECT_TRUE(EqualsIgnoringCase(record->strModule, strCopy)) << testing::PrintToString(record->strModule);
    // %TEMP%\<name>-<16 hexadecimal digits>\<name>.exe
    const std::wstring strFolderName = CHFileUtilities::GetFilenameFromPath(strCopy.substr(0, strCopy.rfind(L'\\')));
    const std::wstring strStem = probe.Name().substr(0, probe.Name().size() - 4) + L"-";
    EXPECT_EQ(strFolderName.size(), strStem.size() + 16) << testing::PrintToString(strFolderName);
    EXPECT_EQ(strFolderName.find_first_not_of(L"0123456789ABCDEF", strStem.size()), std::wstring::npos);
    EXPECT_EQ(record->strCurrentDirectory, strWorkingFolder);
    EXPECT_EQ(record->args, (std::vector<std::wstring>{L"/out=" + strRecord, L"/run=C:\\a b\\setup.exe", L"extra"}));
    EXPECT_EQ(CountLogged(log, HLOG_DEBUG,
                          L"Running " + strCopy + L" in " + strWorkingFolder + L" with command line " + strArguments +
                              L".\n"),
              1u);
}

TEST(CInstallUtilsRelaunch, WhatEarlierStartsLeftInTempGoesUnlessItRunsOrHoldsMore)
{
    CRelaunchedProbe probe;
    const std::wstring strTemp = CHFileUtilities::GetTempDirectory();
    const std::wstring strStem = strTemp + probe.Name().substr(0, probe.Name().size() - 4) + L"-";
    CReleaseEvent release;
    // Left by earlier starts: a read-only copy, a copy that still runs, and
    // a folder that holds something besides its copy.
    const std::wstring strStale = strStem + L"00000000000000AA", strRunning = strStem + L"00000000000000BB",
                       strOther = strStem + L"00000000000000CC", strNotOurs = strStem + L"notours";
    for (const std::wstring& strFolder : {strStale, strRunning, strOther, strNotOurs}) {
        ASSERT_TRUE(::CreateDirectoryW(strFolder.c_str(), nullptr));
        CopyProcessProbeTo(strFolder + L"\\" + probe.Name());
    }
    ASSERT_TRUE(::SetFileAttributesW((strStale + L"\\" + probe.Name()).c_str(), FILE_ATTRIBUTE_READONLY));
    WriteFileBytes(strOther + L"\\other.txt", "someone else's");  // the copy goes, the folder stays
    CHKernelHandle hEarlierCopy =
        StartWaitingProbe(strRunning + L"\\" + probe.Name(), release, probe.Folder() / L"earlier.txt");
    ASSERT_TRUE(AwaitProbeRecord(probe.Folder() / L"earlier.txt"));

    const std::wstring strRecord = probe.Folder() / L"record.txt";
    EXPECT_TRUE(CInstallUtils::CopyExeToTmpAndStart(probe.Source(), L"/out=" + strRecord, probe.Folder().Path()));
    EXPECT_TRUE(AwaitProbeRecord(strRecord));
    EXPECT_FALSE(PathExists(strStale));
    for (const std::wstring& strFolder : {strRunning, strNotOurs})
        EXPECT_TRUE(PathExists(strFolder + L"\\" + probe.Name())) << testing::PrintToString(strFolder);
    EXPECT_EQ(ReadFileBytes(strOther + L"\\other.txt"), "someone else's");
    EXPECT_EQ(probe.Copies().size(), 3u) << "the new copy, and the two that stay";

    release.Release();
    EXPECT_EQ(::WaitForSingleObject(hEarlierCopy.Get(), g_dwTestProcessTimeoutMs), WAIT_OBJECT_0);
    EXPECT_TRUE(DeleteWhenFree(strNotOurs + L"\\" + probe.Name()));
    ::RemoveDirectoryW(strNotOurs.c_str());
}

TEST(CInstallUtilsRelaunch, ACopyThatPolicyForbidsToStartIsReportedOtherStartFailuresThrow)
{
    // Where policy forbids programs in %TEMP% the caller runs the copy's part
    // itself; any other failure to start stays an error. Either way the copy
    // that did not start is gone again.
    struct CCase
    {
        DWORD dwError;
        bool bRefused;
    };
    for (const CCase& test : {CCase{ERROR_ACCESS_DENIED, true}, CCase{ERROR_ACCESS_DISABLED_BY_POLICY, true},
                              CCase{ERROR_BAD_EXE_FORMAT, false}}) {
        SCOPED_TRACE(test.dwError);
        CRelaunchedProbe probe;
        CProcessCreationFailure refusal(test.dwError, 1);
        bool bRefused = false;
        if (test.bRefused) {
            EXPECT_FALSE(CInstallUtils::CopyExeToTmpAndStart(probe.Source(), L"", probe.Folder().Path(), &bRefused));
        } else {
            const CHException e = CatchThrown(
                [&] { CInstallUtils::CopyExeToTmpAndStart(probe.Source(), L"", probe.Folder().Path(), &bRefused); });
            EXPECT_EQ(ErrorCodesOf(e).front(), HResultFromWin32(test.dwError));
        }
        EXPECT_EQ(bRefused, test.bRefused);
        EXPECT_EQ(CProcessCreationFailure::Calls(), 1);
        EXPECT_EQ(CopyFoldersOf(probe.Name()), std::vector<std::wstring>{});
    }
}

// ---------------------------------------------------------------------------
// Autoruns

TEST(CInstallUtilsAutoruns, ParsesProgramAndArgumentInBothForms)
{
    CTempFolder folder(L"autorun values");  // a blank in the path
    const std::wstring strApp = folder / L"app.exe";
    WriteFileBytes(strApp, "x");
    CTempFolder plainFolder(L"plain");  // none (%TEMP% has none in the test prefix)
    const std::wstring strPlain = plainFolder / L"app.exe";
    ASSERT_EQ(strPlain.find(L' '), std::wstring::npos);
    WriteFileBytes(strPlain, "x");

    // Unquoted, the program ends at the first blank.
    EXPECT_EQ(Autoruns({strPlain}), (CInstallUtils::AutorunList{{strPlain, L""}}));
    EXPECT_EQ(Autoruns({strPlain + L" /a  /b "}), (CInstallUtils::AutorunList{{strPlain, L"/a  /b "}}));
    // Quoted, it runs to the last quote.
    EXPECT_EQ(Autoruns({L"\"" + strApp + L"\" /min"}), (CInstallUtils::AutorunList{{strApp, L"/min"}}));
    EXPECT_EQ(Autoruns({L"\"" + strApp + L"\""}), (CInstallUtils::AutorunList{{strApp, L""}}));
    EXPECT_EQ(Autoruns({L"\"" + strApp + L"\"X/min  two"}), (CInstallUtils::AutorunList{{strApp, L"/min  two"}}))
        << "the separator belongs to neither part";
    // A line's value loses one quote pair first: a path with a blank needs two.
    EXPECT_EQ(Autoruns({CInstallUtils::GetTrimmedArgValue(L"autorun=\"\"" + strApp + L"\" /min\"", 8)}),
              (CInstallUtils::AutorunList{{strApp, L"/min"}}));
    // Appended in order.
    EXPECT_EQ(Autoruns({strPlain + L" 1", L"\"" + strApp + L"\" 2", strPlain + L" 3"}),
              (CInstallUtils::AutorunList{{strPlain, L"1"}, {strApp, L"2"}, {strPlain, L"3"}}));
}

TEST(CInstallUtilsAutoruns, ProgramsThatAreNotThereOrAreFoldersAreSkippedWithAWarning)
{
    CTempFolder folder(L"autorun values");
    const std::wstring strApp = folder / L"app.exe";
    WriteFileBytes(strApp, "x");
    const std::wstring strQuotedApp = L"\"" + strApp + L"\"";

    CLogCapture log;
    // One quote pair only: trimming leaves <folder>\app.exe" /mi, cut at the folder's blank.
    const std::wstring strOneQuotePair = CInstallUtils::GetTrimmedArgValue(L"autorun=" + strQuotedApp + L" /min", 8);
    EXPECT_EQ(Autoruns({strOneQuotePair, L"\"" + (folder / L"missing.exe") + L"\"", L"\"", L"\"\"x", L" lead",
                        L"\"" + folder.Path() + L"\"", strQuotedApp}),
              (CInstallUtils::AutorunList{{strApp, L""}}));
    const std::wstring strCutAtBlank = strApp.substr(0, strApp.find(L' '));
    EXPECT_EQ(CountLoggedContaining(log, HLOG_WARNING, strCutAtBlank + L" not found"), 1u);
    EXPECT_EQ(CountLoggedContaining(log, HLOG_WARNING, L"missing.exe not found"), 1u);
    EXPECT_EQ(CountLoggedContaining(log, HLOG_WARNING, folder.Path() + L" not found"), 1u);
    EXPECT_EQ(CountLoggedContaining(log, HLOG_WARNING, L"Autorun program "), 6u);
}

TEST(CInstallUtilsAutoruns, StartAutoRunsStartsEachInItsOwnFolderWithItsArgument)
{
    CTempFolder first(L"autorun one"), second(L"autorun2"), records(L"records");
    const std::wstring strFirst = first / L"first.exe", strSecond = second / L"second.exe";
    CopyProcessProbeTo(strFirst);
    CopyProcessProbeTo(strSecond);
    // The argument holds no quote: a quoted program runs to the last one.
    const std::wstring strRecord1 = records / L"1.txt", strRecord2 = records / L"2.txt";
    ASSERT_EQ(strRecord1.find(L' '), std::wstring::npos);

    CInstallUtils::AutorunList autoruns;
    InstallParsers::ParseAutorunProgramAndArgument(L"\"" + strFirst + L"\" /out=" + strRecord1 + L" one", autoruns);
    InstallParsers::ParseAutorunProgramAndArgument(strSecond + L" /out=" + strRecord2, autoruns);
    ASSERT_EQ(autoruns.size(), 2u);
    CInstallUtils::StartAutoRuns(autoruns);

    auto record1 = AwaitProbeRecord(strRecord1);
    auto record2 = AwaitProbeRecord(strRecord2);
    ASSERT_TRUE(record1);
    ASSERT_TRUE(record2);
    EXPECT_EQ(record1->strCurrentDirectory, first.Path());
    EXPECT_EQ(record1->args, (std::vector<std::wstring>{L"/out=" + strRecord1, L"one"}));
    EXPECT_EQ(record2->strCurrentDirectory, second.Path());
    EXPECT_EQ(record2->args, (std::vector<std::wstring>{L"/out=" + strRecord2}));
    // The probes have ended once their folders go.
    EXPECT_TRUE(DeleteWhenFree(strFirst));
    EXPECT_TRUE(DeleteWhenFree(strSecond));
}
