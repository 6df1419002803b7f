// Opening a skinned dialog: the time from DoModal to its first complete
// paint, for a dialog the size of the launcher's wait dialog skinned with the
// sample skin (custom caption, drop shadow, skinned button, stretched
// background), against the same template as a plain system dialog; and one
// repaint of the custom caption. Each opening is timed up to the moment the
// dialog's first paint has been handled (a message posted while painting
// arrives right after it); closing is not timed (under Wine without a window
// manager it takes about two seconds).
//
// Then the launcher's wait dialog with the program's spinner frames made for
// a DPI scale of 1 (the frames' own 15 x 15 pixels) and of 2 (scaled once, at
// loading): opening to the first paint, and one tick of the spinner (its timer
// message and the repaint it causes), each against the same at a scale of 1.
// Run it in a prefix of 192 dpi too (scripts/wine-run --dpi 192) for the
// dialog's own layout and fonts at that scale.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "BenchMain.h"
#include "BenchSupport.h"
#include "InstallerShim/HWaitDialog.h"
#include "RAde/DEVEDar/HDialog.h"
#include "RAde/DEVEDar/HDialogSkinXmlConfig.h"

namespace {

constexpr UINT kTemplate = 100;
constexpr UINT kPainted = WM_APP + 1;
constexpr int kOpenings = 4;

LONGLONG s_nPainted = 0;

INT_PTR CALLBACK PlainDialogProc(HWND hWnd, UINT uMsg, WPARAM, LPARAM)
{
    if (uMsg == WM_PAINT)
        ::PostMessageW(hWnd, kPainted, 0, 0);
    if (uMsg == kPainted && s_nPainted == 0) {
        s_nPainted = Now();
        ::EndDialog(hWnd, 0);
    }
    return uMsg == WM_INITDIALOG;
}

class CSkinnedDialog : public CHDialog<CSkinnedDialog>
{
public:
    CSkinnedDialog() : CHDialog(kTemplate) {}
};

// A dialog timed to its first complete paint; there it runs m_whenPainted
// (another measurement) and ends.
template <class Dialog>
class CTimedToFirstPaint : public Dialog
{
public:
    std::function<void(Dialog&)> m_whenPainted;

    BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override
    {
        if (uMsg == WM_PAINT)
            ::PostMessageW(hWnd, kPainted, 0, 0);
        if (uMsg != kPainted || s_nPainted != 0)
            return Dialog::ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lResult);
        s_nPainted = Now();
        if (m_whenPainted)
            m_whenPainted(*this);
        this->EndDialog(1);
        return TRUE;
    }
};

// The wait dialog's timer that steps its spinner.
constexpr WPARAM kSpinnerTimerId = 21;

// The median time of the openings, in milliseconds.
template <class Open>
double MedianOpening(Open&& open)
{
    std::vector<double> times;
    for (int i = 0; i < kOpenings; ++i) {
        s_nPainted = 0;
        const LONGLONG nStart = Now();
        open();
        times.push_back(Seconds(s_nPainted - nStart) * 1000.0);
    }
    std::sort(times.begin(), times.end());
    return (times[kOpenings / 2 - 1] + times[kOpenings / 2]) / 2;
}

void Run()
{
    // The sample skin lies beside the test programs; the appearance takes it
    // as the launcher's does, with shadow, caption and skinned buttons.
    CHDialogAppeareaceDef appearance;
    g_pAppearance = &appearance;
    appearance.m_options.m_bWindowShadow = true;
    appearance.m_options.m_bSkinPushButtons = true;
    appearance.ReadSkinFile(OwnFolder() + L"skin");
    appearance.AttachSkin();

    const double dPlain = MedianOpening([] {
        ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kTemplate), nullptr, PlainDialogProc, 0);
    });
    double dCaptionRepaint = 0;
    const double dSkinned = MedianOpening([&] {
        CTimedToFirstPaint<CSkinnedDialog> dialog;
        dialog.m_whenPainted = [&](CSkinnedDialog& self) {
            dCaptionRepaint = MicrosecondsPerFrame([&] { self.GetCaption().Repaint(); }, 0.3);
        };
        dialog.DoModal(nullptr);
    });
    std::printf("opening a 200 x 80 dialog unit dialog up to its first complete paint (median of %d)\n", kOpenings);
    std::printf("%-44s %9.1f ms\n", "plain system dialog", dPlain);
    std::printf("%-44s %9.1f ms   ratio %6.2f\n", "skinned (caption, shadow, button, background)", dSkinned,
                dSkinned / dPlain);
    std::printf("%-44s %9.1f us\n", "one repaint of the custom caption", dCaptionRepaint);

    std::printf("\nthe wait dialog on a screen of %d dpi, its spinner frames made for a scale (median of %d)\n",
                static_cast<int>(CHDialogAppeareaceDef::ScreenDpiScale() * 96 + 0.5f), kOpenings);
    double dOpenAt1 = 0, dTickAt1 = 0;
    for (float fScale : {1.0f, 2.0f}) {
        appearance.SetDpiScale(fScale);
        CHWaitDialog::LoadWaitAnimFramesFromResources();
        double dTick = 0;
        const double dOpen = MedianOpening([&] {
            CTimedToFirstPaint<CHWaitDialog> dialog;
            dialog.m_strTitle = L"Finishing the installation";
            dialog.m_strMessage = L"Removing the temporary installation files.";
            dialog.m_whenPainted = [&](CHWaitDialog& self) {
                HWND hSpinner = ::GetDlgItem(self, CHWaitDialog::kAnimationId);
                dTick = MicrosecondsPerFrame(
                    [hSpinner] {
                        ::SendMessageW(hSpinner, WM_TIMER, kSpinnerTimerId, 0);
                        ::UpdateWindow(hSpinner);
                    },
                    0.3);
            };
            dialog.Run();
        });
        if (fScale == 1.0f) {
            dOpenAt1 = dOpen;
            dTickAt1 = dTick;
        }
        const int nSide = CHWaitDialog::WaitAnimFrames()[0].GetWidth();
        std::printf("scale %.1f (%2d x %2d frames): opening %7.1f ms   ratio %5.2f   one tick %8.1f us   ratio %5.2f\n",
                    fScale, nSide, nSide, dOpen, dOpen / dOpenAt1, dTick, dTick / dTickAt1);
    }
}

}  // namespace

int wmain()
{
    return RunBenchmark(&Run);
}
