#include "RAde/DEVEDar/HDialogImpl.h"

#include "RAde/HException.h"

HINSTANCE CHDialogImpl::GetResourceInstance() noexcept
{
    return s_hResourceInstance != nullptr ? s_hResourceInstance : ::GetModuleHandleW(nullptr);
}

void CHDialogImpl::PrepareToCreate(LPARAM lInitParam, bool bModal)
{
    // One dialog window per object at a time.
    if (m_hWnd != nullptr)
        throw CHException(HError::InvalidParameter, HSITE);
    m_lInitParam = lInitParam;
    m_bModal = bModal;
    m_bInitialised = false;
}

INT_PTR CHDialogImpl::DoModal(HWND hWndParent, LPARAM lInitParam)
{
    HTRY {
        PrepareToCreate(lInitParam, true);
        INT_PTR nResult = ::DialogBoxParamW(GetResourceInstance(), MAKEINTRESOURCEW(m_nTemplateId), hWndParent,
                                            StaticDialogProc, reinterpret_cast<LPARAM>(this));
        // -1 is also a result EndDialog may be given, and the dialog's handlers
        // may leave any last error behind: only a dialog that never reached
        // WM_INITDIALOG has failed.
        if (nResult == -1 && !m_bInitialised)
            throw CHException::FromLastError(HSITE);
        return nResult;
    } HCATCH
}

HWND CHDialogImpl::Create(HWND hWndParent, LPARAM lInitParam)
{
    HTRY {
        PrepareToCreate(lInitParam, false);
        HWND hWnd = ::CreateDialogParamW(GetResourceInstance(), MAKEINTRESOURCEW(m_nTemplateId), hWndParent,
                                         StaticDialogProc, reinterpret_cast<LPARAM>(this));
        if (hWnd == nullptr)
            throw CHException::FromLastError(HSITE);
        return hWnd;
    } HCATCH
}

BOOL CHDialogImpl::EndDialog(INT_PTR nResult) noexcept
{
    if (m_hWnd == nullptr)
        return FALSE;
    return m_bModal ? ::EndDialog(m_hWnd, nResult) : ::DestroyWindow(m_hWnd);
}

LRESULT CHDialogImpl::DefWindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    // Not DefDlgProcW: it would call this dialog's procedure again. What the
    // procedure leaves unhandled still gets the dialog manager's handling.
    return ::DefWindowProcW(m_hWnd, uMsg, wParam, lParam);
}

bool CHDialogImpl::ReturnsResultDirectly(UINT uMsg) noexcept
{
    switch (uMsg) {
    case WM_INITDIALOG:
    case WM_CHARTOITEM:
    case WM_COMPAREITEM:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_QUERYDRAGICON:
    case WM_VKEYTOITEM:
        return true;
    default:
        return false;
    }
}

INT_PTR CALLBACK CHDialogImpl::StaticDialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) noexcept
{
    if (uMsg == WM_INITDIALOG) {
        auto* pThis = reinterpret_cast<CHDialogImpl*>(lParam);
        pThis->Bind(hWnd, EBinding::Dialog);
        pThis->m_bInitialised = true;
        lParam = pThis->m_lInitParam;
    }
    auto* pThis = static_cast<CHDialogImpl*>(FromHandle(hWnd));
    if (pThis == nullptr)
        return FALSE;
    LRESULT lResult = 0;
    BOOL bHandled = pThis->RouteMessage(uMsg, wParam, lParam, lResult);
    if (uMsg == WM_NCDESTROY)
        pThis->FinishMessages(hWnd);
    if (!bHandled)
        return uMsg == WM_INITDIALOG ? TRUE : FALSE;  // an unhandled WM_INITDIALOG keeps the default focus
    if (ReturnsResultDirectly(uMsg))
        return static_cast<INT_PTR>(lResult);
    ::SetWindowLongPtrW(hWnd, DWLP_MSGRESULT, lResult);
    return TRUE;
}
