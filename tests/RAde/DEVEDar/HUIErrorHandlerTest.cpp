#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "RAde/DEVEDar/HUIErrorHandler.h"
#include "RAde/DEVEDar/HWindowImpl.h"
#include "TestSupport.h"

namespace {
// What a message box showed, read from another thread while it was open.
struct CShownBox
{
    bool bFound = false;
    std::wstring strCaption;
    std::wstring strText;
    HWND hWndOwner = nullptr;
    bool bHasOkButton = false;
    HICON hIcon = nullptr;
    size_t nLogLinesWhileShown = 0;
};

std::wstring TextOf(HWND hWnd)
{
    wchar_t szText[2048] = {};
    ::GetWindowTextW(hWnd, szText, 2048);
    return szText;
}

// The dialog window of the system's message box among a thread's windows.
HWND FindMessageBox(DWORD dwThreadId)
{
    HWND hBox = nullptr;
    ::EnumThreadWindows(
        dwThreadId,
        [](HWND hWnd, LPARAM lParam) -> BOOL {
            wchar_t szClass[16] = {};
            ::GetClassNameW(hWnd, szClass, 16);
            if (std::wstring(szClass) != L"#32770" || !::IsWindowVisible(hWnd))
                return TRUE;
            *reinterpret_cast<HWND*>(lParam) = hWnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&hBox));
    return hBox;
}

// The message text: the box's static control that is not its icon.
void ReadStatics(HWND hBox, CShownBox& shown)
{
    for (HWND hChild = ::GetWindow(hBox, GW_CHILD); hChild != nullptr; hChild = ::GetWindow(hChild, GW_HWNDNEXT)) {
        wchar_t szClass[16] = {};
        ::GetClassNameW(hChild, szClass, 16);
        if (::lstrcmpiW(szClass, L"Static") != 0)
            continue;
        if ((::GetWindowLongPtrW(hChild, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            shown.hIcon = reinterpret_cast<HICON>(::SendMessageW(hChild, STM_GETICON, 0, 0));
        else
            shown.strText = TextOf(hChild);
    }
}

// Runs report() on this thread while another thread waits for the message box
// it shows, reads it and presses OK.
template <class Report>
CShownBox WatchMessageBox(const CLogCapture& capture, Report&& report)
{
    const DWORD dwThreadId = ::GetCurrentThreadId();
    std::atomic<bool> bReportReturned{false};
    CShownBox shown;
    std::thread watcher([&] {
        const ULONGLONG nEnd = ::GetTickCount64() + 10000;
        while (!bReportReturned && ::GetTickCount64() < nEnd) {
            HWND hBox = FindMessageBox(dwThreadId);
            if (hBox == nullptr) {
                ::Sleep(20);
                continue;
            }
            shown.bFound = true;
            shown.nLogLinesWhileShown = capture.Messages().size();
            shown.strCaption = TextOf(hBox);
            shown.hWndOwner = ::GetWindow(hBox, GW_OWNER);
            shown.bHasOkButton = ::GetDlgItem(hBox, IDOK) != nullptr;
            ReadStatics(hBox, shown);
            ::PostMessageW(hBox, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                           reinterpret_cast<LPARAM>(::GetDlgItem(hBox, IDOK)));
            return;
        }
    });
    report();
    bReportReturned = true;
    watcher.join();
    return shown;
}

// An error as a failing operation raises it: a Win32 entry, the library's
// entry on top, stack entries of the methods it went through.
void FailToOpen(DWORD dwError)
{
    HTRY {
        throw CHException::FromWin32Error(dwError, HSITE).AddEntry(HError::OpenFileFailed).AddValue(L"File", L"C:\\x");
    } HCATCH
}

CHException Win32Failure(DWORD dwError)
{
    return CatchThrown([&] { FailToOpen(dwError); });
}

class CHUIErrorHandlerTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_strSavedDefault = CHUIErrorHandler::GetDefaultErrorText();
        m_strSavedName = CHUIErrorHandler::GetApplicationName();
        static int s_nCounter = 0;
        m_strAppName =
            L"Error handler test " + std::to_wstring(::GetCurrentProcessId()) + L"." + std::to_wstring(++s_nCounter);
        CHUIErrorHandler::SetApplicationName(m_strAppName);
    }
    void TearDown() override
    {
        CHUIErrorHandler::SetDefaultErrorText(m_strSavedDefault);
        CHUIErrorHandler::SetApplicationName(m_strSavedName);
    }

    std::wstring m_strAppName, m_strSavedDefault, m_strSavedName;
    CHUIErrorHandler m_handler;
};
}  // namespace

TEST_F(CHUIErrorHandlerTest, ShowsTheTextABlankLineAndTheWin32DescriptionAndLogsTheWholeError)
{
    CHWindowImpl owner;
    RECT rc{10, 10, 200, 100};
    owner.Create(nullptr, &rc, L"owner", WS_POPUP, 0);
    CHException error = Win32Failure(ERROR_ACCESS_DENIED);
    ASSERT_EQ(ErrorCodesOf(error).front(), static_cast<int>(0x80070005));
    const std::wstring strText = L"The settings could not be saved.";

    CLogCapture capture;
    CShownBox shown = WatchMessageBox(capture, [&] { m_handler.HandleError(strText, error, owner); });
    ASSERT_TRUE(shown.bFound);
    const std::wstring strWin32Description = CHException::FromWin32Error(ERROR_ACCESS_DENIED, HSITE).GetDescription(0);
    EXPECT_EQ(shown.strText, strText + L"\n\n" + strWin32Description);
    EXPECT_EQ(shown.strCaption, m_strAppName);
    EXPECT_EQ(shown.hWndOwner, owner.GetHandle());
    EXPECT_TRUE(shown.bHasOkButton);
    EXPECT_EQ(shown.hIcon, ::LoadIconW(nullptr, IDI_ERROR));

    // Logged as an error before the box appeared: the text, a blank line, the
    // whole description with codes and stack trace.
    EXPECT_EQ(shown.nLogLinesWhileShown, 1u);
    ASSERT_EQ(capture.Messages().size(), 1u);
    EXPECT_EQ(capture.Levels()[0], HLOG_ERROR);
    const std::wstring strLogged = capture.Messages()[0];
    EXPECT_EQ(strLogged, shown.strText + L"\n\n" + error.GetDescription(7));
    EXPECT_NE(strLogged.find(L"Stack trace:"), std::wstring::npos);
    EXPECT_NE(strLogged.find(L"FailToOpen"), std::wstring::npos);
    EXPECT_NE(strLogged.find(HErrorText(HError::OpenFileFailed)), std::wstring::npos);
}

TEST_F(CHUIErrorHandlerTest, WithoutAWin32EntryTheTextStandsAlone)
{
    CHException error = CatchThrown([] {
        HTRY {
            throw CHException(HError::InvalidParameter, HSITE);
        } HCATCH
    });
    CLogCapture capture;
    CShownBox shown = WatchMessageBox(capture, [&] { m_handler.HandleError(L"Nothing was changed.", error, nullptr); });
    ASSERT_TRUE(shown.bFound);
    EXPECT_EQ(shown.strText, L"Nothing was changed.");
    EXPECT_EQ(shown.hWndOwner, nullptr);
    ASSERT_EQ(capture.Messages().size(), 1u);
    EXPECT_EQ(capture.Messages()[0], L"Nothing was changed.\n\n" + error.GetDescription(7));
}

TEST_F(CHUIErrorHandlerTest, AnEmptyTextIsReplacedByTheDefaultText)
{
    CHException error = Win32Failure(ERROR_FILE_NOT_FOUND);
    const std::wstring strWin32Description = CHException::FromWin32Error(ERROR_FILE_NOT_FOUND, HSITE).GetDescription(0);
    CLogCapture capture;

    CHUIErrorHandler::SetDefaultErrorText(L"Something went wrong.");
    CShownBox shown = WatchMessageBox(capture, [&] { m_handler.HandleError(L"", error, nullptr); });
    ASSERT_TRUE(shown.bFound);
    EXPECT_EQ(shown.strText, L"Something went wrong.\n\n" + strWin32Description);

    // No language set yet: only what the system said.
    CHUIErrorHandler::SetDefaultErrorText(L"");
    shown = WatchMessageBox(capture, [&] { m_handler.HandleError(L"", error, nullptr); });
    ASSERT_TRUE(shown.bFound);
    EXPECT_EQ(shown.strText, L"\n\n" + strWin32Description);

    // No application name: an empty caption.
    CHUIErrorHandler::SetApplicationName(L"");
    shown = WatchMessageBox(capture, [&] { m_handler.HandleError(L"text", error, nullptr); });
    ASSERT_TRUE(shown.bFound);
    EXPECT_EQ(shown.strCaption, L"");
}

TEST_F(CHUIErrorHandlerTest, OnlyTheFirstWin32EntryIsAdded)
{
    CHException error = Win32Failure(ERROR_ACCESS_DENIED);
    error.AddEntry(GetErrorMessageText(ERROR_FILE_NOT_FOUND), static_cast<int>(HResultFromWin32(ERROR_FILE_NOT_FOUND)));
    std::wstring strText = L"text";
    CHUIErrorHandler::AddErrorSpecificInfo(strText, error);
    EXPECT_EQ(strText, L"text\n\n" + CHException::FromWin32Error(ERROR_ACCESS_DENIED, HSITE).GetDescription(0));

    // HRESULTs of other facilities and the library's own codes add nothing.
    CHException other(L"no interface", static_cast<int>(E_NOINTERFACE), HSITE);
    other.AddEntry(HError::InvalidParameter);
    strText = L"text";
    CHUIErrorHandler::AddErrorSpecificInfo(strText, other);
    EXPECT_EQ(strText, L"text");
}

TEST_F(CHUIErrorHandlerTest, TheProcessWideTextsAreReadWholeWhileAnotherThreadWritesThem)
{
    const std::wstring strA(300, L'a'), strB(500, L'b');
    CHUIErrorHandler::SetDefaultErrorText(strA);
    CHUIErrorHandler::SetApplicationName(strA);
    std::atomic<bool> bStop{false};
    std::thread writer([&] {
        for (int i = 0; !bStop; ++i) {
            CHUIErrorHandler::SetDefaultErrorText(i % 2 ? strA : strB);
            CHUIErrorHandler::SetApplicationName(i % 2 ? strB : strA);
        }
    });
    int nTorn = 0;
    for (int i = 0; i < 20000; ++i) {
        std::wstring strDefault = CHUIErrorHandler::GetDefaultErrorText();
        std::wstring strName = CHUIErrorHandler::GetApplicationName();
        if ((strDefault != strA && strDefault != strB) || (strName != strA && strName != strB))
            ++nTorn;
    }
    bStop = true;
    writer.join();
    EXPECT_EQ(nTorn, 0);
}
