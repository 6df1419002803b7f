#include "RAde/DEVEDar/HDialogImpl.h"

#include <cmath>
#include <cstring>

#include "RAde/HException.h"

namespace {
// The offset just past a menu or class field of a template (none, an
// ordinal, or a string); past the end when the template ends first.
size_t SkipNameOrOrdinal(const std::vector<BYTE>& bytes, size_t nOffset)
{
    WORD wFirst = 0;
    if (nOffset + 2 > bytes.size())
        return bytes.size();
    std::memcpy(&wFirst, bytes.data() + nOffset, 2);
    if (wFirst == 0x0000)
        return nOffset + 2;
    if (wFirst == 0xFFFF)
        return nOffset + 4;
    for (WORD wChar = wFirst; nOffset + 2 <= bytes.size(); nOffset += 2) {
        std::memcpy(&wChar, bytes.data() + nOffset, 2);
        if (wChar == 0)
            return nOffset + 2;
    }
    return bytes.size();
}

// Where the point size of a DS_SETFONT template lies (DIALOG or DIALOGEX
// layout); 0 when the template sets no font.
size_t FontSizeOffset(const std::vector<BYTE>& bytes)
{
    WORD wVersion = 0, wSignature = 0;
    DWORD dwStyle = 0;
    if (bytes.size() < sizeof(DLGTEMPLATE))
        return 0;
    std::memcpy(&wVersion, bytes.data(), 2);
    std::memcpy(&wSignature, bytes.data() + 2, 2);
    const bool bExtended = wVersion == 1 && wSignature == 0xFFFF;
    // DLGTEMPLATEEX: version, signature, help id, extended style, style, count, x, y, cx, cy.
    const size_t nStyleOffset = bExtended ? 12 : 0, nItemsEnd = bExtended ? 26 : 18;
    if (bytes.size() < nItemsEnd)
        return 0;
    std::memcpy(&dwStyle, bytes.data() + nStyleOffset, 4);
    if ((dwStyle & DS_SETFONT) == 0)
        return 0;
    size_t nOffset = nItemsEnd;
    for (int nField = 0; nField < 3; ++nField)  // menu, class, title
        nOffset = SkipNameOrOrdinal(bytes, nOffset);
    return nOffset + 2 <= bytes.size() ? nOffset : 0;
}
}  // namespace

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

LPCDLGTEMPLATEW CHDialogImpl::ScaledTemplate()
{
    HTRY {
        HINSTANCE hInstance = GetResourceInstance();
        HRSRC hResource = ::FindResourceW(hInstance, MAKEINTRESOURCEW(m_nTemplateId), RT_DIALOG);
        const void* pTemplate = hResource ? ::LockResource(::LoadResource(hInstance, hResource)) : nullptr;
        HCHECK_WIN32(pTemplate, .AddValue(L"template", static_cast<int>(m_nTemplateId), false));
        const auto* pBytes = static_cast<const BYTE*>(pTemplate);
        m_scaledTemplate.assign(pBytes, pBytes + ::SizeofResource(hInstance, hResource));
        if (const size_t nOffset = FontSizeOffset(m_scaledTemplate)) {
            WORD wPoints = 0;
            std::memcpy(&wPoints, m_scaledTemplate.data() + nOffset, 2);
            const long nScaled = std::lround(wPoints * m_fTemplateFontScale);
            wPoints = static_cast<WORD>(nScaled < 1 ? 1 : nScaled > 0x7FFF ? 0x7FFF : nScaled);
            std::memcpy(m_scaledTemplate.data() + nOffset, &wPoints, 2);
        }
        return reinterpret_cast<LPCDLGTEMPLATEW>(m_scaledTemplate.data());
    } HCATCH
}

INT_PTR CHDialogImpl::DoModal(HWND hWndParent, LPARAM lInitParam)
{
    HTRY {
        PrepareToCreate(lInitParam, true);
        const LPARAM lThis = reinterpret_cast<LPARAM>(this);
        INT_PTR nResult = m_fTemplateFontScale == 1.0f
                              ? ::DialogBoxParamW(GetResourceInstance(), MAKEINTRESOURCEW(m_nTemplateId), hWndParent,
                                                  StaticDialogProc, lThis)
                              : ::DialogBoxIndirectParamW(GetResourceInstance(), ScaledTemplate(), hWndParent,
                                                          StaticDialogProc, lThis);
        // -1 is also a result EndDialog may be given, and the dialog's handlers
        // may leave any last error behind: only a dialog that never reached
        // WM_INITDIALOG has failed.
        HCHECK_WIN32(nResult != -1 || m_bInitialised);
        return nResult;
    } HCATCH
}

HWND CHDialogImpl::Create(HWND hWndParent, LPARAM lInitParam)
{
    HTRY {
        PrepareToCreate(lInitParam, false);
        const LPARAM lThis = reinterpret_cast<LPARAM>(this);
        HWND hWnd = m_fTemplateFontScale == 1.0f
                        ? ::CreateDialogParamW(GetResourceInstance(), MAKEINTRESOURCEW(m_nTemplateId), hWndParent,
                                               StaticDialogProc, lThis)
                        : ::CreateDialogIndirectParamW(GetResourceInstance(), ScaledTemplate(), hWndParent,
                                                       StaticDialogProc, lThis);
        HCHECK_WIN32(hWnd);
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
