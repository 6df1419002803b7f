// Opening a skinned dialog: the time from DoModal to its first complete
// paint, for a dialog the size of the launcher's wait dialog skinned with the
// sample skin (custom caption, drop shadow, skinned button, stretched
// background), against the same template as a plain system dialog; and one
// repaint of the custom caption. Each opening is timed up to the moment the
// dialog's first paint has been handled (a message posted while painting
// arrives right after it); closing is not timed (under Wine without a window
// manager it takes about two seconds).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "BenchMain.h"
#include "BenchSupport.h"
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

    BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override
    {
        if (uMsg == WM_PAINT)
            ::PostMessageW(hWnd, kPainted, 0, 0);
        if (uMsg != kPainted || s_nPainted != 0)
            return CHDialog::ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lResult);
        s_nPainted = Now();
        m_dCaptionRepaint = MicrosecondsPerFrame([&] { GetCaption().Repaint(); }, 0.3);
        EndDialog(0);
        return TRUE;
    }

    double m_dCaptionRepaint = 0;
};

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
        CSkinnedDialog dialog;
        dialog.DoModal(nullptr);
        dCaptionRepaint = dialog.m_dCaptionRepaint;
    });
    std::printf("opening a 200 x 80 dialog unit dialog up to its first complete paint (median of %d)\n", kOpenings);
    std::printf("%-44s %9.1f ms\n", "plain system dialog", dPlain);
    std::printf("%-44s %9.1f ms   ratio %6.2f\n", "skinned (caption, shadow, button, background)", dSkinned,
                dSkinned / dPlain);
    std::printf("%-44s %9.1f us\n", "one repaint of the custom caption", dCaptionRepaint);
}

}  // namespace

int wmain()
{
    return RunBenchmark(&Run);
}
