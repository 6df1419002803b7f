// The staged-file deleter: which paths of a delete list go, behind the wait
// dialog in the installation's language, and what a failed deletion shows.
#include <gtest/gtest.h>

#include <thread>

#include "InstallerShim/FileDeleter.h"
#include "RAde/HFileUtilities.h"
#include "RAde/DEVEDar/HGUIHelpers.h"
#include "RAde/DEVEDar/SkinTestSupport.h"
#include "TestSupport.h"

namespace
{
using Strings = std::vector<std::wstring>;

bool HasError(const CHException& error)
{
    return !error.GetXml().GetChildren(L"errorentry").empty();
}

bool Exists(const std::wstring& strPath)
{
    return ::GetFileAttributesW(strPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The first top-level window of the thread with the title.
HWND FindDialog(DWORD dwThreadId, const std::wstring& strTitle)
{
    struct CSearch
    {
        const std::wstring& strTitle;
        HWND hFound;
    } search{strTitle, nullptr};
    ::EnumThreadWindows(
        dwThreadId,
        [](HWND hWnd, LPARAM lParam) -> BOOL {
            auto& found = *reinterpret_cast<CSearch*>(lParam);
            if (GetWindowTextOf(hWnd) != found.strTitle)
                return TRUE;
            found.hFound = hWnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.hFound;
}

// Runs the deleter with the sample skin as the current directory (as the
// staged working folder holds it), and puts the current directory back.
class CFileDeleterTest : public testing::Test
{
protected:
    CFileDeleterTest() : m_staged(L"staged")
    {
        wchar_t szOld[MAX_PATH] = {};
        ::GetCurrentDirectoryW(MAX_PATH, szOld);
        m_strOldDirectory = szOld;
        CHWaitDialog::LoadWaitAnimFramesFromResources();
    }
    ~CFileDeleterTest() override { ::SetCurrentDirectoryW(m_strOldDirectory.c_str()); }

    void Run(CFileDeleter& deleter, const Strings& paths, const std::wstring& strBase, const std::wstring& strLanguage)
    {
        ASSERT_TRUE(::SetCurrentDirectoryW(SampleSkinFolder().c_str()));
        RunFileDeleter(deleter, paths, strBase, strLanguage);
    }
    std::wstring File(const std::wstring& strRelative, const std::string& strText = "x") const
    {
        const std::wstring strPath = m_staged / strRelative;
        CHFileUtilities::BuildDirectory(CHFileUtilities::GetPathFromFilename(strPath));
        WriteFileBytes(strPath, strText);
        return strPath;
    }

    CTempFolder m_staged;
    std::wstring m_strOldDirectory;
};
} // namespace

TEST(CFileDeleterPaths, KeepsOnlyAbsolutePathsThatAreNoRootAndHoldNoParentSegment)
{
    const Strings paths = {L"C:\\Setup",           L"c:/Setup/Temp/",      L"\\\\server\\share\\Setup",
                           L"C:\\Setup\\x..y",     L"Setup\\Temp",         L"C:Setup",
                           L"\\Setup",             L"C:\\",                L"D:",
                           L"E:/",                 L"\\\\server\\share",   L"\\\\server\\share\\",
                           L"C:\\Setup\\..\\Win",  L"C:\\Setup\\..",       L"C:/Setup/../..",
                           L"",                    L"\\\\server\\share\\..\\other"};
    EXPECT_EQ(CFileDeleter::KeepDeletablePaths(paths),
              (Strings{L"C:\\Setup", L"c:/Setup/Temp/", L"\\\\server\\share\\Setup", L"C:\\Setup\\x..y"}));
}

TEST_F(CFileDeleterTest, DeletesOnlyThePathsOnTheBaseDirectorysDriveLetterSpelledTheSameWay)
{
    // The staged paths are spelled "C:\..."; a base directory spelled "c:\..."
    // is another drive to the deleter.
    for (const bool bSameLetter : {true, false}) {
        SCOPED_TRACE(bSameLetter ? "base on C:" : "base on c:");
        for (const wchar_t* pszFile : {L"a\\one.txt", L"b.txt", L"c\\deep\\two.txt", L"d.txt"})
            File(pszFile);
        const Strings paths = {m_staged / L"a", m_staged / L"b.txt", m_staged / L"c\\", m_staged / L"missing",
                               L"b.txt", m_staged / L"x\\..\\d.txt"};
        std::wstring strBase = m_staged.Path();
        strBase[0] = bSameLetter ? L'C' : L'c';
        CFileDeleter deleter;
        Run(deleter, paths, strBase, L"en-uk");
        EXPECT_FALSE(HasError(deleter.GetWorkerError())) << deleter.GetWorkerError().GetDescription(7);
        EXPECT_NE(Exists(m_staged / L"a"), bSameLetter);
        EXPECT_NE(Exists(m_staged / L"b.txt"), bSameLetter);
        EXPECT_NE(Exists(m_staged / L"c"), bSameLetter) << "the folder named with a trailing separator";
        EXPECT_TRUE(Exists(m_staged / L"d.txt")) << "a path with a \"..\" segment is never deleted";
        EXPECT_TRUE(Exists(m_staged.Path()));
    }
}

TEST_F(CFileDeleterTest, AReadOnlyFileStopsTheDeletionAndTheDialogShowsTheFailureUntilClosed)
{
    const std::wstring strReadOnly = File(L"locked.txt"), strAfter = File(L"after.txt");
    ASSERT_TRUE(::SetFileAttributesW(strReadOnly.c_str(), FILE_ATTRIBUTE_READONLY));
    std::wstring strShown, strButton;
    const DWORD dwThreadId = ::GetCurrentThreadId();
    // The user: waits for the failure in the German dialog, reads it and closes the dialog.
    std::thread user([&] {
        const ULONGLONG nDeadline = ::GetTickCount64() + 15000;
        HWND hDialog = nullptr;
        while (::GetTickCount64() < nDeadline) {
            hDialog = FindDialog(dwThreadId, L"Installation wird abgeschlossen");
            auto shown = [hDialog](int nId) { return (::GetWindowLongW(::GetDlgItem(hDialog, nId), GWL_STYLE) & WS_VISIBLE) != 0; };
            // Once the spinner has gone, the failure shows (the button shows for a moment while the dialog opens).
            if (hDialog && !shown(1029) && shown(1)) {
                strShown = GetWindowTextOf(::GetDlgItem(hDialog, 1028));
                strButton = GetWindowTextOf(::GetDlgItem(hDialog, 1));
                break;
            }
            ::Sleep(20);
        }
        // Closed in any case, so that a failing test does not hang.
        if (hDialog)
            ::PostMessageW(hDialog, WM_COMMAND, IDOK, 0);
    });
    CFileDeleter deleter;
    Run(deleter, {m_staged / L"missing", strReadOnly, strAfter}, m_staged.Path(), L"de");
    user.join();
    EXPECT_EQ(strShown, L"Einige temporäre Installationsdateien konnten nicht entfernt werden.\n"
                        L"Die Installation selbst ist abgeschlossen.");
    EXPECT_EQ(strButton, L"Schließen");
    EXPECT_TRUE(Exists(strReadOnly));
    EXPECT_TRUE(Exists(strAfter)) << "the paths after the failure stay";
    EXPECT_TRUE(HasError(deleter.GetWorkerError())) << "the worker keeps its error";
    ::SetFileAttributesW(strReadOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
}
