// The wait dialog: its names for the skin, the spinner from the program's
// resources, the button, and ending it from another thread at any moment.
#include <gtest/gtest.h>

#include <thread>

#include "InstallerShim/HWaitDialog.h"
#include "RAde/DEVEDar/ControlTestSupport.h"
#include "RAde/DEVEDar/HGUIHelpers.h"
#include "TestSupport.h"

namespace {
// A wait dialog whose test runs inside its modal loop, once it is up.
class CDrivenDialog : public CHWaitDialog
{
public:
    std::function<void(CDrivenDialog&)> m_whenUp;
    bool m_bRanInside = false;
    bool m_bRequestDuringInit = false;

    BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override
    {
        if (uMsg == WM_INITDIALOG && m_bRequestDuringInit)
            std::thread([this] { RequestEnd(); }).join();  // while the dialog is still opening
        const BOOL bHandled = CHWaitDialog::ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lResult);
        if (uMsg == WM_INITDIALOG && m_bRequestDuringInit)
            std::thread([this] { RequestEnd(); }).join();  // opened, not yet shown
        if (uMsg == WM_INITDIALOG && m_whenUp)
            ::PostMessageW(hWnd, WM_APP + 77, 0, 0);
        if (uMsg == WM_APP + 77 && m_whenUp) {
            m_bRanInside = true;
            m_whenUp(*this);
        }
        return bHandled;
    }
    CHTransparentFrame& Spinner() { return GetAnimFrame(); }
    // The spinner's pixels after each of nTicks ticks of timer 21, the first before any.
    std::vector<std::string> SpinnerAfterTicks(int nTicks)
    {
        ::ShowWindow(*this, SW_SHOWNA);
        std::vector<std::string> shots;
        for (int i = 0; i <= nTicks; ++i) {
            if (i > 0)
                ::SendMessageW(Spinner(), WM_TIMER, 21, 0);
            const CHImage shot = ControlTest::CaptureClient(Spinner());
            shots.emplace_back(reinterpret_cast<const char*>(shot.GetPixelAddress(0, 0)),
                               static_cast<size_t>(shot.GetWidth()) * shot.GetHeight() * 4);
        }
        return shots;
    }
    CHImageAnimationSet& Animation() { return GetAnimSet(); }
};

class CWaitDialogTest : public testing::Test
{
protected:
    static void SetUpTestSuite() { CHWaitDialog::LoadWaitAnimFramesFromResources(); }
};
}  // namespace

TEST_F(CWaitDialogTest, NamesItsControlsForTheSkin)
{
    CHWaitDialog dialog;
    EXPECT_EQ(dialog.GetFormId(), std::optional<std::wstring>(L"wait-dialog"));
    EXPECT_EQ(dialog.GetControlId(L"ANIMATION"), 1029);
    EXPECT_EQ(dialog.GetControlId(L"message"), 1028);
    EXPECT_EQ(dialog.GetControlId(L"spinner"), 0);
    EXPECT_EQ(dialog.GetControlName(1), std::optional<std::wstring>(L"button"));
    EXPECT_EQ(dialog.GetControlName(2), std::nullopt);
    for (const CHImage& frame : CHWaitDialog::WaitAnimFrames()) {
        EXPECT_EQ(frame.GetWidth(), 15);
        EXPECT_EQ(frame.GetHeight(), 15);
    }
}

TEST_F(CWaitDialogTest, ShowsTheSpinnerCentredAndEndsOnAWorkersRequest)
{
    CDrivenDialog dialog;
    dialog.m_strTitle = L"Preparing installation";
    dialog.m_strMessage = L"Copying installation files...";
    RECT rcSpinner{}, rcTemplate{};
    bool bButtonVisible = true;
    int nFramesBefore = -1, nFramesAfter = -1;
    std::vector<std::string> spins;
    bool bShadowed = false;
    dialog.m_whenUp = [&](CDrivenDialog& self) {
        ::GetWindowRect(self.Spinner(), &rcSpinner);
        ::MapWindowPoints(nullptr, self, reinterpret_cast<POINT*>(&rcSpinner), 2);
        rcTemplate = RECT{60, 28, 60 + 129, 28 + 12};
        ::MapDialogRect(self, &rcTemplate);
        bButtonVisible = ::IsWindowVisible(::GetDlgItem(self, 1)) != FALSE;
        // Timer 21 steps the spinner on the frame control.
        nFramesBefore = self.Animation().GetFrameIndex();
        ::SendMessageW(self.Spinner(), WM_TIMER, 21, 0);
        nFramesAfter = self.Animation().GetFrameIndex();
        spins = self.SpinnerAfterTicks(8);
        bShadowed = self.GetShadow().GetDialog() == self.GetHandle();
        std::thread([&self] { self.RequestEnd(); }).join();
    };
    EXPECT_EQ(dialog.Run(), 1);
    ASSERT_TRUE(dialog.m_bRanInside);
    EXPECT_EQ(rcSpinner.right - rcSpinner.left, 15);
    EXPECT_EQ(rcSpinner.bottom - rcSpinner.top, 15);
    // Centred on the template's rectangle (the dialog manager rounds each edge itself).
    EXPECT_NEAR(rcSpinner.left, (rcTemplate.left + rcTemplate.right) / 2 - 7, 1);
    EXPECT_NEAR(rcSpinner.top, (rcTemplate.top + rcTemplate.bottom) / 2 - 7, 1);
    EXPECT_FALSE(bButtonVisible) << "no button text: no button";
    EXPECT_EQ(nFramesAfter, (nFramesBefore + 1) % 8);
    // By pixels: each tick shows the next frame, and eight ticks come round again.
    ASSERT_EQ(spins.size(), 9u);
    for (size_t i = 0; i < 8; ++i)
        EXPECT_NE(spins[i], spins[i + 1]) << "tick " << i + 1;
    EXPECT_EQ(spins[8], spins[0]);
    EXPECT_TRUE(bShadowed) << "the wait dialog always has its drop shadow";

    // Run again: still eight frames.
    dialog.m_whenUp = [](CDrivenDialog& self) { self.RequestEnd(); };
    EXPECT_EQ(dialog.Run(), 1);
    EXPECT_EQ(dialog.Animation().m_delays, std::vector<int>(8, 300));
    ASSERT_NE(dialog.Animation().GetAnim(0), nullptr);
    EXPECT_EQ(dialog.Animation().GetAnim(0)->m_frames.size(), 8u);
}

TEST_F(CWaitDialogTest, RequestsWhileTheDialogOpensAreNeverLost)
{
    // One request arrives before the dialog looks at it, one after: the first
    // ends the run at once (2); the second ends the next run (2 as well).
    CDrivenDialog dialog;
    dialog.m_bRequestDuringInit = true;
    EXPECT_EQ(dialog.Run(), 2);
    dialog.m_bRequestDuringInit = false;
    EXPECT_EQ(dialog.Run(), 2) << "the request that came after the first had ended";
}

TEST_F(CWaitDialogTest, ARequestBeforeTheWindowExistsEndsItAtOnceWith2)
{
    CHWaitDialog dialog;
    dialog.RequestEnd();
    EXPECT_EQ(dialog.Run(), 2);
    // The request was used up: the next run waits for its own.
    CDrivenDialog again;
    again.RequestEnd();
    EXPECT_EQ(again.Run(), 2);
    again.m_whenUp = [](CDrivenDialog& self) { ::PostMessageW(self, WM_COMMAND, IDCANCEL, 0); };
    EXPECT_EQ(again.Run(), 2);
    EXPECT_TRUE(again.m_bRanInside) << "the second run opened";
}

TEST_F(CWaitDialogTest, AFailureStopsTheSpinnerShowsTheMessageAndTheButtonUntilTheUserCloses)
{
    // The failure comes from another thread before the window exists, or while it is up.
    for (const bool bBeforeWindow : {true, false}) {
        SCOPED_TRACE(bBeforeWindow ? "reported before the window" : "reported while up");
        CDrivenDialog dialog;
        dialog.m_strMessage = L"Removing files";
        auto report = [&dialog] {
            std::thread([&dialog] { dialog.RequestFailure(L"Access is denied.\nD:\\Setup\\a.txt", L"Close"); }).join();
        };
        if (bBeforeWindow)
            report();
        bool bSpinnerVisible = true, bButtonVisible = false, bRunning = true;
        std::wstring strMessage, strButton;
        dialog.m_whenUp = [&](CDrivenDialog& self) {
            if (!bBeforeWindow)
                report();
            // The report arrives as a posted message: let it through first.
            MSG msg;
            while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
                ::DispatchMessageW(&msg);
            // The dialog itself shows only once its loop is idle: the controls' own style tells.
            bSpinnerVisible = (::GetWindowLongW(self.Spinner(), GWL_STYLE) & WS_VISIBLE) != 0;
            bRunning = self.Animation().IsRunning();
            bButtonVisible = (::GetWindowLongW(::GetDlgItem(self, 1), GWL_STYLE) & WS_VISIBLE) != 0;
            strMessage = GetWindowTextOf(::GetDlgItem(self, 1028));
            strButton = GetWindowTextOf(::GetDlgItem(self, 1));
            ::PostMessageW(self, WM_COMMAND, MAKEWPARAM(1, BN_CLICKED),
                           reinterpret_cast<LPARAM>(::GetDlgItem(self, 1)));
        };
        EXPECT_EQ(dialog.Run(), 1) << "the user closed it with the button";
        EXPECT_FALSE(bSpinnerVisible);
        EXPECT_FALSE(bRunning);
        EXPECT_TRUE(bButtonVisible);
        EXPECT_EQ(strMessage, L"Access is denied.\nD:\\Setup\\a.txt");
        EXPECT_EQ(strButton, L"Close");
    }
}
