// The wait dialog: its names for the skin, the spinner from the program's
// resources, the button, and ending it from another thread at any moment.
#include <gtest/gtest.h>

#include <thread>

#include "InstallerShim/HWaitDialog.h"
#include "RAde/DEVEDar/AccessibilityTestSupport.h"
#include "RAde/DEVEDar/ControlTestSupport.h"
#include "RAde/DEVEDar/HTextDrawing.h"
#include "RAde/DEVEDar/SkinTestSupport.h"
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

TEST_F(CWaitDialogTest, AScreenReaderReadsTheMessageAsTheDialogsDescription)
{
    const wchar_t* const pszMessage = L"Removing the temporary installation files\u2026";
    // No apartment of the test's own: the dialog's run joins one, as the launcher's threads have none.
    CDrivenDialog dialog;
    dialog.m_strTitle = L"Preparing installation";
    dialog.m_strMessage = pszMessage;
    std::vector<AccessibilityTest::CAccessibleRead> reads;
    dialog.m_whenUp = [&](CDrivenDialog& self) {
        // The window object or the client object, as screen readers ask when a dialog opens.
        for (const LONG nObject : {OBJID_WINDOW, OBJID_CLIENT})
            reads.push_back(AccessibilityTest::ReadAccessible(self, static_cast<DWORD>(nObject)));
        ::SetDlgItemTextW(self, CHWaitDialog::kMessageId, L"Access is denied.");
        reads.push_back(AccessibilityTest::ReadAccessible(self));
        self.SetDescriptionControl(0);
        reads.push_back(AccessibilityTest::ReadAccessible(self));
        self.RequestEnd();
    };
    EXPECT_EQ(dialog.Run(), 1);
    ASSERT_EQ(reads.size(), 4u);
    for (const AccessibilityTest::CAccessibleRead& read : reads)
        EXPECT_EQ(read.hr, S_OK);
    EXPECT_EQ(reads[0].strDescription, pszMessage);
    EXPECT_EQ(reads[1].strDescription, pszMessage);
    EXPECT_EQ(reads[1].strName, L"Preparing installation") << "everything else is the system's";
    EXPECT_EQ(reads[2].strDescription, L"Access is denied.") << "the message as it reads now";
    EXPECT_EQ(reads[3].strDescription, L"") << "no description control, no description";
}

namespace {
// Where the spinner shows on the screen: its ink's bounding box (pixels unlike
// the dialog's background around the spinner's place), and the middle of the
// place the template gives it, in the dialog's client coordinates.
struct CSpinnerShot
{
    RECT rcInk{-1, -1, -1, -1};
    RECT rcSpinner{};
    POINT ptPlaceCentre{};
    DWORD dwMiddle = 0;
};

CSpinnerShot ShootSpinner()
{
    CSpinnerShot shot;
    CDrivenDialog dialog;
    dialog.m_whenUp = [&](CDrivenDialog& self) {
        ::ShowWindow(self, SW_SHOWNA);
        RECT rcPlace{60, 28, 60 + 129, 28 + 12};
        ::MapDialogRect(self, &rcPlace);
        shot.ptPlaceCentre = POINT{(rcPlace.left + rcPlace.right) / 2, (rcPlace.top + rcPlace.bottom) / 2};
        const CHImage client = ControlTest::CaptureClient(self);
        // The place grown by the largest spinner, so that none is cut.
        const RECT rcLook{0, std::max(0L, rcPlace.top - 40), client.GetWidth(),
                          std::min<LONG>(client.GetHeight(), rcPlace.bottom + 40)};
        const DWORD dwBackground = ControlTest::PixelAt(client, 1, rcLook.top);
        for (int y = rcLook.top; y < rcLook.bottom; ++y)
            for (int x = rcLook.left; x < rcLook.right; ++x) {
                if (ControlTest::ColourNear(ControlTest::PixelAt(client, x, y), dwBackground, 48))
                    continue;
                RECT& rc = shot.rcInk;
                rc = rc.left < 0 ? RECT{x, y, x + 1, y + 1}
                                 : RECT{std::min<LONG>(rc.left, x), std::min<LONG>(rc.top, y),
                                        std::max<LONG>(rc.right, x + 1), std::max<LONG>(rc.bottom, y + 1)};
            }
        RECT& rcSpinner = shot.rcSpinner;
        ::GetWindowRect(self.Spinner(), &rcSpinner);
        ::MapWindowPoints(nullptr, self, reinterpret_cast<POINT*>(&rcSpinner), 2);
        shot.dwMiddle = ControlTest::PixelAt(client, (rcSpinner.left + rcSpinner.right) / 2,
                                             (rcSpinner.top + rcSpinner.bottom) / 2);
        self.RequestEnd();
    };
    EXPECT_EQ(dialog.Run(), 1);
    return shot;
}

// The frames loaded as at a scale of the test's choice, the screen's again afterwards.
class CWaitDialogAtScreenDpi : public testing::Test
{
protected:
    ~CWaitDialogAtScreenDpi() override
    {
        g_pAppearance->SetDpiScale(m_fScreenScale);
        g_pAppearance->GetConfig().SetImageDirectory(m_strOldDirectory);
        CHWaitDialog::LoadWaitAnimFramesFromResources();
    }

    const float m_fScreenScale = CHDialogAppeareaceDef::ScreenDpiScale();
    const std::wstring m_strOldDirectory = g_pAppearance->GetConfig().GetImageDirectory();
};
}  // namespace

TEST_F(CWaitDialogAtScreenDpi, TheSpinnersInkGrowsWithTheScreenAndStaysCentred)
{
    g_pAppearance->SetDpiScale(1.0f);
    CHWaitDialog::LoadWaitAnimFramesFromResources();
    const CSpinnerShot plain = ShootSpinner();
    g_pAppearance->SetDpiScale(m_fScreenScale);
    CHWaitDialog::LoadWaitAnimFramesFromResources();
    const CSpinnerShot scaled = ShootSpinner();

    ASSERT_GE(plain.rcInk.left, 0) << "no spinner ink at a scale of 1";
    ASSERT_GE(scaled.rcInk.left, 0) << "no spinner ink at " << m_fScreenScale;
    EXPECT_NEAR(scaled.rcInk.right - scaled.rcInk.left, (plain.rcInk.right - plain.rcInk.left) * m_fScreenScale, 1);
    EXPECT_NEAR(scaled.rcInk.bottom - scaled.rcInk.top, (plain.rcInk.bottom - plain.rcInk.top) * m_fScreenScale, 1);
    // The spinner is centred on its place (whose edges the dialog manager
    // rounds, and which is halved twice); its ink sits in it as in the plain
    // frames, at the scale.
    EXPECT_NEAR((scaled.rcSpinner.left + scaled.rcSpinner.right) / 2.0, scaled.ptPlaceCentre.x, 2.0);
    EXPECT_NEAR((scaled.rcSpinner.top + scaled.rcSpinner.bottom) / 2.0, scaled.ptPlaceCentre.y, 2.0);
    EXPECT_NEAR(scaled.rcInk.left - scaled.rcSpinner.left, (plain.rcInk.left - plain.rcSpinner.left) * m_fScreenScale,
                1);
    EXPECT_NEAR(scaled.rcInk.top - scaled.rcSpinner.top, (plain.rcInk.top - plain.rcSpinner.top) * m_fScreenScale, 1);
}

TEST_F(CWaitDialogAtScreenDpi, ASkinsLargerFramesShowFromOneAndAHalfOn)
{
    constexpr DWORD kPlain = AnimationTest::Bgra(0, 0, 200, 255), kLarge = AnimationTest::Bgra(0, 160, 0, 255);
    CTempFolder skin(L"frames");
    ::CreateDirectoryW((skin / L"Resources").c_str(), nullptr);
    for (int n = 1; n <= 8; ++n) {
        const std::wstring strStem = skin / (L"Resources\\anim_wait_" + std::to_wstring(n));
        SavePng(AnimationTest::SolidImage(15, 15, kPlain), strStem + L".png");
        SavePng(AnimationTest::SolidImage(30, 30, kLarge), strStem + L"@2x.png");
    }
    g_pAppearance->GetConfig().SetImageDirectory(skin.Path());
    CHWaitDialog::LoadWaitAnimFramesFromSkin();
    EXPECT_EQ(CHWaitDialog::WaitAnimFrames()[7].GetWidth(), static_cast<int>(15 * m_fScreenScale + 0.5f));
    const CSpinnerShot shot = ShootSpinner();
    EXPECT_TRUE(ControlTest::ColourNear(shot.dwMiddle, m_fScreenScale >= 1.5f ? kLarge : kPlain, 8))
        << "at a scale of " << m_fScreenScale;
}
