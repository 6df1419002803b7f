#include "RAde/DEVEDar/HWindowImpl.h"

#include <commctrl.h>

#include "RAde/DEVEDar/HWindowClass.h"
#include "RAde/HException.h"

namespace {
// The window property that leads from a window to its object.
constexpr wchar_t kObjectProperty[] = L"DEVEDar.Object";
// One subclass per window and procedure; the object travels as reference data.
constexpr UINT_PTR kSubclassId = 1;

HINSTANCE ThisModule() noexcept
{
    return ::GetModuleHandleW(nullptr);
}
}  // namespace

CHWindowImpl::~CHWindowImpl()
{
    HWND hWnd = m_hWnd;
    EBinding binding = m_binding;
    if (hWnd == nullptr)
        return;
    // The derived parts of this object are gone already: the window's last
    // messages must not reach them.
    if (binding == EBinding::Subclassed) {
        UnsubclassWindow();
        return;
    }
    Unbind();
    ::DestroyWindow(hWnd);
}

void CHWindowImpl::Bind(HWND hWnd, EBinding binding) noexcept
{
    m_hWnd = hWnd;
    m_binding = binding;
    ::SetPropW(hWnd, kObjectProperty, this);
}

void CHWindowImpl::Unbind() noexcept
{
    if (m_hWnd != nullptr)
        ::RemovePropW(m_hWnd, kObjectProperty);
    m_hWnd = nullptr;
    m_binding = EBinding::None;
}

CHWindowImpl* CHWindowImpl::FromHandle(HWND hWnd) noexcept
{
    return hWnd != nullptr ? static_cast<CHWindowImpl*>(::GetPropW(hWnd, kObjectProperty)) : nullptr;
}

void CHWindowImpl::RegisterClassOnce() const
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    if (::GetClassInfoExW(ThisModule(), GetWndClassName(), &wc))
        return;
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = StaticWindowProc;
    wc.hInstance = ThisModule();
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = GetWndClassName();
    HCHECK_WIN32(RegisterWindowClass(wc));
}

HWND CHWindowImpl::Create(HWND hWndParent, const RECT* pRect, LPCWSTR pszTitle, DWORD dwStyle, DWORD dwExStyle,
                          UINT_PTR nIdOrMenu)
{
    HTRY {
        if (m_hWnd != nullptr)
            throw CHException(HError::InvalidParameter, HSITE);
        RegisterClassOnce();
        RECT rc = pRect != nullptr ? *pRect : RECT{CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT};
        int nWidth = pRect != nullptr ? rc.right - rc.left : CW_USEDEFAULT;
        int nHeight = pRect != nullptr ? rc.bottom - rc.top : CW_USEDEFAULT;
        // The object binds itself at WM_NCCREATE, so it sees WM_CREATE already.
        HWND hWnd = ::CreateWindowExW(dwExStyle, GetWndClassName(), pszTitle != nullptr ? pszTitle : L"", dwStyle,
                                      rc.left, rc.top, nWidth, nHeight, hWndParent, reinterpret_cast<HMENU>(nIdOrMenu),
                                      ThisModule(), this);
        HCHECK_WIN32(hWnd);
        return hWnd;
    } HCATCH
}

BOOL CHWindowImpl::SubclassWindow(HWND hWnd) noexcept
{
    if (hWnd == nullptr || m_hWnd != nullptr || FromHandle(hWnd) != nullptr)
        return FALSE;
    if (!::SetWindowSubclass(hWnd, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this)))
        return FALSE;
    Bind(hWnd, EBinding::Subclassed);
    return TRUE;
}

HWND CHWindowImpl::UnsubclassWindow() noexcept
{
    HWND hWnd = m_hWnd;
    if (hWnd == nullptr || m_binding != EBinding::Subclassed)
        return nullptr;
    ::RemoveWindowSubclass(hWnd, SubclassProc, kSubclassId);
    Unbind();
    return hWnd;
}

CHPaintTarget::CHPaintTarget(HWND hWnd, HDC hGivenDC, HDC hExternalDC)
{
    m_bExternal = hGivenDC == nullptr && hExternalDC != nullptr;
    m_hDC = hGivenDC != nullptr ? hGivenDC : hExternalDC;
    if (m_hDC == nullptr)
        m_hDC = m_paint.emplace(hWnd).Get();
    HCHECK_WIN32(m_hDC);
}

BOOL CHWindowImpl::DestroyWindow() noexcept
{
    return m_hWnd != nullptr && ::DestroyWindow(m_hWnd);
}

BOOL CHWindowImpl::ProcessWindowMessage(HWND, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    const CHMessageAnswer answer = AnswerMessage(uMsg, wParam, lParam);
    lResult = answer.value_or(0);
    return answer.has_value();
}

CHMessageAnswer CHWindowImpl::AnswerMessage(UINT, WPARAM, LPARAM)
{
    return std::nullopt;
}

LRESULT CHWindowImpl::DefWindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (m_binding == EBinding::Subclassed)
        return ::DefSubclassProc(m_hWnd, uMsg, wParam, lParam);
    return ::DefWindowProcW(m_hWnd, uMsg, wParam, lParam);
}

BOOL CHWindowImpl::RouteMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) noexcept
{
    HTRY {
        return ProcessWindowMessage(m_hWnd, uMsg, wParam, lParam, lResult);
    } HCATCH_LOG
    return FALSE;
}

void CHWindowImpl::FinishMessages(HWND hWnd) noexcept
{
    Unbind();
    HTRY {
        OnFinalMessage(hWnd);
    } HCATCH_LOG
}

LRESULT CALLBACK CHWindowImpl::StaticWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) noexcept
{
    if (uMsg == WM_NCCREATE) {
        auto* pCreate = reinterpret_cast<CREATESTRUCTW*>(lParam);
        if (auto* pThis = static_cast<CHWindowImpl*>(pCreate->lpCreateParams))
            pThis->Bind(hWnd, EBinding::Created);
    }
    CHWindowImpl* pThis = FromHandle(hWnd);
    if (pThis == nullptr)
        return ::DefWindowProcW(hWnd, uMsg, wParam, lParam);
    LRESULT lResult = 0;
    if (!pThis->RouteMessage(uMsg, wParam, lParam, lResult))
        lResult = pThis->DefWindowProc(uMsg, wParam, lParam);
    if (uMsg == WM_NCDESTROY)
        pThis->FinishMessages(hWnd);
    return lResult;
}

LRESULT CALLBACK CHWindowImpl::SubclassProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                            DWORD_PTR pRefData) noexcept
{
    auto* pThis = reinterpret_cast<CHWindowImpl*>(pRefData);
    LRESULT lResult = 0;
    if (!pThis->RouteMessage(uMsg, wParam, lParam, lResult))
        lResult = ::DefSubclassProc(hWnd, uMsg, wParam, lParam);
    if (uMsg == WM_NCDESTROY) {
        // A subclass is removed before the window is gone, never after.
        ::RemoveWindowSubclass(hWnd, SubclassProc, kSubclassId);
        pThis->FinishMessages(hWnd);
    }
    return lResult;
}
