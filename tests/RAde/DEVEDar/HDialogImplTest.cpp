#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "DEVEDarTestResources.h"
#include "RAde/DEVEDar/HDialogImpl.h"
#include "TestSupport.h"
#include "WindowTestSupport.h"

namespace {
constexpr UINT kMissingTemplateId = 999;

// The test dialog with a handler the test gives; it records what it saw.
class CTestDialog : public CHDialogImpl
{
public:
    using Handler = std::function<BOOL(CTestDialog&, UINT, WPARAM, LPARAM, LRESULT&)>;

    explicit CTestDialog(Handler handler = nullptr, UINT nTemplateId = IDD_TEST_DIALOG)
        : CHDialogImpl(nTemplateId), m_handler(std::move(handler))
    {
    }

    BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override
    {
        if (uMsg == WM_INITDIALOG) {
            m_bInitDialogSeen = true;
            m_lInitDialogParam = lParam;
            m_pObjectAtInitDialog = FromHandle(hWnd);
            m_hStaticAtInitDialog = ::GetDlgItem(hWnd, IDC_TEST_STATIC);
            m_hButtonAtInitDialog = ::GetDlgItem(hWnd, IDC_TEST_BUTTON);
        }
        return m_handler ? m_handler(*this, uMsg, wParam, lParam, lResult) : FALSE;
    }

    bool m_bInitDialogSeen = false;
    LPARAM m_lInitDialogParam = 0;
    CHWindowImpl* m_pObjectAtInitDialog = nullptr;
    HWND m_hStaticAtInitDialog = nullptr;
    HWND m_hButtonAtInitDialog = nullptr;
    bool m_bFinalMessage = false;

protected:
    void OnFinalMessage(HWND) override { m_bFinalMessage = true; }

private:
    Handler m_handler;
};

INT_PTR CALLBACK NoDialogProc(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}
}  // namespace

TEST(CHDialogImpl, ModalDialogSeesItsInitParamAndReturnsWhatEndDialogWasGiven)
{
    CTestDialog dialog([](CTestDialog& self, UINT uMsg, WPARAM, LPARAM, LRESULT&) {
        if (uMsg == WM_INITDIALOG) {
            ::PostMessageW(self, WM_APP, 0, 0);
        } else if (uMsg == WM_APP) {
            EXPECT_TRUE(self.EndDialog(77));
        }
        return FALSE;
    });
    EXPECT_EQ(dialog.DoModal(nullptr, 0x5A5A), 77);
    EXPECT_TRUE(dialog.m_bInitDialogSeen);
    EXPECT_EQ(dialog.m_lInitDialogParam, 0x5A5A);
    EXPECT_EQ(dialog.GetInitParam(), 0x5A5A);
    EXPECT_EQ(dialog.m_pObjectAtInitDialog, &dialog);
    // The template's controls exist when WM_INITDIALOG comes.
    EXPECT_NE(dialog.m_hStaticAtInitDialog, nullptr);
    EXPECT_NE(dialog.m_hButtonAtInitDialog, nullptr);
    // The system destroys a modal dialog before DoModal returns.
    EXPECT_EQ(dialog.GetHandle(), nullptr);
    EXPECT_TRUE(dialog.m_bFinalMessage);
}

TEST(CHDialogImpl, ModalDialogEndedFromItsTimerMayReturnMinusOne)
{
    int nTicks = 0;
    CTestDialog dialog([&](CTestDialog& self, UINT uMsg, WPARAM wParam, LPARAM, LRESULT&) {
        if (uMsg == WM_INITDIALOG)
            self.SetTimer(5, 10);
        // Whatever error the dialog's last handler leaves behind, -1 is only a result here.
        if (uMsg == WM_NCDESTROY)
            ::SetLastError(ERROR_ACCESS_DENIED);
        if (uMsg != WM_TIMER || wParam != 5)
            return FALSE;
        if (++nTicks == 3) {
            self.KillTimer(5);
            self.EndDialog(-1);
        }
        return TRUE;
    });
    EXPECT_EQ(dialog.DoModal(nullptr), -1);
    EXPECT_EQ(nTicks, 3);
}

TEST(CHDialogImpl, ResultsGoBackDirectlyOrThroughDwlpMsgResult)
{
    HBRUSH hBrush = static_cast<HBRUSH>(::GetStockObject(GRAY_BRUSH));
    CTestDialog dialog([&](CTestDialog& self, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) {
        switch (uMsg) {
        case WM_CTLCOLORSTATIC:
            if (reinterpret_cast<HWND>(lParam) != ::GetDlgItem(self, IDC_TEST_STATIC))
                return FALSE;
            lResult = reinterpret_cast<LRESULT>(hBrush);
            return TRUE;
        case WM_APP + 1:
            lResult = 1234;
            return TRUE;
        case WM_APP + 2:
            // The plain window default, for a handler that adjusts it.
            lResult = self.DefWindowProc(WM_GETTEXTLENGTH, wParam, lParam);
            return TRUE;
        default:
            return FALSE;
        }
    });
    HWND hDlg = dialog.Create(nullptr);
    ASSERT_NE(hDlg, nullptr);
    HWND hStatic = ::GetDlgItem(hDlg, IDC_TEST_STATIC);
    HWND hButton = ::GetDlgItem(hDlg, IDC_TEST_BUTTON);
    HDC hDC = ::GetDC(hDlg);

    ::SetWindowLongPtrW(hDlg, DWLP_MSGRESULT, 555);
    EXPECT_EQ(::SendMessageW(hDlg, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(hDC), reinterpret_cast<LPARAM>(hStatic)),
              reinterpret_cast<LRESULT>(hBrush));
    EXPECT_EQ(::GetWindowLongPtrW(hDlg, DWLP_MSGRESULT), 555);
    // A colour message the handler leaves gets the dialog manager's brush, not ours.
    LRESULT nDefault =
        ::SendMessageW(hDlg, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(hDC), reinterpret_cast<LPARAM>(hButton));
    EXPECT_NE(nDefault, 0);
    EXPECT_NE(nDefault, reinterpret_cast<LRESULT>(hBrush));
    ::ReleaseDC(hDlg, hDC);

    EXPECT_EQ(::SendMessageW(hDlg, WM_APP + 1, 0, 0), 1234);
    EXPECT_EQ(::GetWindowLongPtrW(hDlg, DWLP_MSGRESULT), 1234);
    EXPECT_EQ(::SendMessageW(hDlg, WM_APP + 2, 0, 0), ::GetWindowTextLengthW(hDlg));
    EXPECT_GT(::GetWindowTextLengthW(hDlg), 0);
}

TEST(CHDialogImpl, ModelessDialogIsDestroyedByEndDialogOrWithItsObject)
{
    CTestDialog dialog;
    HWND hDlg = dialog.Create(nullptr, 9);
    ASSERT_NE(hDlg, nullptr);
    EXPECT_EQ(dialog.GetHandle(), hDlg);
    EXPECT_EQ(dialog.m_lInitDialogParam, 9);
    EXPECT_EQ(CHWindowImpl::FromHandle(hDlg), &dialog);
    EXPECT_EQ(dialog.m_pObjectAtInitDialog, &dialog);
    // A bound dialog cannot be started again.
    EXPECT_EQ(ErrorCodesOf(CatchThrown([&] { dialog.Create(nullptr); })).front(),
              static_cast<int>(HError::InvalidParameter));
    EXPECT_EQ(ErrorCodesOf(CatchThrown([&] { dialog.DoModal(nullptr); })).front(),
              static_cast<int>(HError::InvalidParameter));

    EXPECT_TRUE(dialog.EndDialog(3));
    EXPECT_FALSE(::IsWindow(hDlg));
    EXPECT_EQ(dialog.GetHandle(), nullptr);
    EXPECT_TRUE(dialog.m_bFinalMessage);
    EXPECT_FALSE(dialog.EndDialog(3));

    HWND hScoped = nullptr;
    {
        CTestDialog scoped;
        hScoped = scoped.Create(nullptr);
        ASSERT_TRUE(::IsWindow(hScoped));
    }
    EXPECT_FALSE(::IsWindow(hScoped));
}

TEST(CHDialogImpl, AMissingTemplateThrowsTheSystemsError)
{
    HINSTANCE hInstance = CHDialogImpl::GetResourceInstance();
    ::SetLastError(0xdeadbeef);
    ASSERT_EQ(::DialogBoxParamW(hInstance, MAKEINTRESOURCEW(kMissingTemplateId), nullptr, NoDialogProc, 0), -1);
    const DWORD dwModalError = ::GetLastError();
    ::SetLastError(0xdeadbeef);
    ASSERT_EQ(::CreateDialogParamW(hInstance, MAKEINTRESOURCEW(kMissingTemplateId), nullptr, NoDialogProc, 0), nullptr);
    const DWORD dwModelessError = ::GetLastError();
    EXPECT_NE(dwModalError, ERROR_SUCCESS);

    CTestDialog dialog(nullptr, kMissingTemplateId);
    CHException modal = CatchThrown([&] { dialog.DoModal(nullptr); });
    EXPECT_EQ(ErrorCodesOf(modal).front(), static_cast<int>(HResultFromWin32(dwModalError)));
    EXPECT_NE(modal.GetDescription(0).find(GetErrorMessageText(dwModalError)), std::wstring::npos)
        << modal.GetDescription(7);
    CHException modeless = CatchThrown([&] { dialog.Create(nullptr); });
    EXPECT_EQ(ErrorCodesOf(modeless).front(), static_cast<int>(HResultFromWin32(dwModelessError)));
    EXPECT_FALSE(dialog.m_bInitDialogSeen);
    EXPECT_EQ(dialog.GetHandle(), nullptr);
}
