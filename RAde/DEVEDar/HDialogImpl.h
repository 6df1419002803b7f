// A dialog made from a dialog template resource, bound to a C++ object of the
// window layer (CHWindowImpl). The object is reachable from the dialog window
// (FromHandle) from WM_INITDIALOG on.
//
// Handled messages: a handler returns TRUE and its result in lResult; for the
// messages whose result a dialog procedure returns directly (WM_INITDIALOG,
// WM_CTLCOLOR*, ...) the result goes back that way, for the others through
// DWLP_MSGRESULT. Unhandled messages go to the dialog manager's own handling.
// A handler that wants the plain window default first (to adjust it) calls
// DefWindowProc: that is DefWindowProcW, which the dialog manager would use
// too for everything that is not dialog-specific (non-client area, text).
#pragma once

#include <vector>

#include "RAde/DEVEDar/HWindowImpl.h"

class CHDialogImpl : public CHWindowImpl
{
public:
    // nTemplateId names the DIALOG/DIALOGEX resource of the resource module.
    explicit CHDialogImpl(UINT nTemplateId) noexcept : m_nTemplateId(nTemplateId) {}

    // Runs the dialog modally; returns what EndDialog was given (-1 included).
    // Throws when the dialog cannot be created (no template, a control that fails).
    INT_PTR DoModal(HWND hWndParent = ::GetActiveWindow(), LPARAM lInitParam = 0);
    // Creates the dialog modeless (it ends with DestroyWindow). Throws on failure.
    HWND Create(HWND hWndParent, LPARAM lInitParam = 0);
    // Ends a modal dialog with nResult, or destroys a modeless one.
    BOOL EndDialog(INT_PTR nResult) noexcept;

    // The lParam given to DoModal or Create; also the lParam of WM_INITDIALOG.
    LPARAM GetInitParam() const noexcept { return m_lInitParam; }
    UINT GetTemplateId() const noexcept { return m_nTemplateId; }
    // Scales the template's font before the dialog is made, and with it the
    // dialog units that lay the dialog out: a dialog previewed at another DPI
    // than the screen's gets the font and layout it has on such a screen
    // (fScale = that DPI / the screen's). 1 keeps the template as it is.
    void SetTemplateFontScale(float fScale) noexcept { m_fTemplateFontScale = fScale; }

    // The module whose resources hold the templates (default: the program).
    static void SetResourceInstance(HINSTANCE hInstance) noexcept { s_hResourceInstance = hInstance; }
    static HINSTANCE GetResourceInstance() noexcept;

    LRESULT DefWindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

private:
    void PrepareToCreate(LPARAM lInitParam, bool bModal);
    // A copy of the template resource with its font scaled (kept in
    // m_scaledTemplate). Throws when there is no such template.
    LPCDLGTEMPLATEW ScaledTemplate();
    static INT_PTR CALLBACK StaticDialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) noexcept;
    static bool ReturnsResultDirectly(UINT uMsg) noexcept;

    UINT m_nTemplateId;
    float m_fTemplateFontScale = 1.0f;
    std::vector<BYTE> m_scaledTemplate;
    LPARAM m_lInitParam = 0;
    bool m_bModal = false;
    // Set at WM_INITDIALOG: tells a dialog ended with -1 from one never created.
    bool m_bInitialised = false;
    static inline HINSTANCE s_hResourceInstance = nullptr;
};
