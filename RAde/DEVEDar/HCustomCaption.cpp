#include "RAde/DEVEDar/HCustomCaption.h"

#include <commctrl.h>

#include "RAde/DEVEDar/HImage.h"
#include "RAde/DEVEDar/HMessageCrackers.h"
#include "RAde/HException.h"

namespace {
// The hit-test code of a caption button's number.
LRESULT HitCodeOf(int nNumber) noexcept
{
    switch (nNumber) {
    case captionButtonClose:
        return HTCLOSE;
    case captionButtonMaximize:
        return HTMAXBUTTON;
    case captionButtonMinimize:
        return HTMINBUTTON;
    case captionButtonHelp:
        return HTHELP;
    case captionButtonSysMenu:
        return HTSYSMENU;
    default:
        return HTNOWHERE;
    }
}

RECT ToScreen(RECT rc, const RECT& rcWindow) noexcept
{
    ::OffsetRect(&rc, rcWindow.left, rcWindow.top);
    return rc;
}
}  // namespace

CHCustomCaption::CHCustomCaption() noexcept : m_listener(*this)
{
    m_backBuffer.Enable(true);
}

CHCustomCaption::~CHCustomCaption()
{
    m_listener.DestroyWindow();
}

void CHCustomCaption::Attach(HWND hWnd, CClient* pClient, const CHCaptionParams& params)
{
    HTRY {
        if (hWnd == nullptr || pClient == nullptr)
            throw CHException(HError::InvalidParameter, HSITE);
        m_hWnd = hWnd;
        m_pClient = pClient;
        m_params = params;
        m_params.m_hWnd = hWnd;
        if (m_params.m_bUseSystemCaptionHeight)
            m_params.m_nCaptionHeight = ::GetSystemMetrics(SM_CYCAPTION);
        if (m_params.m_bUseSystemButtonSize) {
            m_params.m_nButtonWidth = ::GetSystemMetrics(SM_CXSIZE);
            m_params.m_nButtonHeight = ::GetSystemMetrics(SM_CYSIZE);
        }
        const LONG_PTR nStyle = ::GetWindowLongPtrW(hWnd, GWL_STYLE);
        const LONG_PTR nExStyle = ::GetWindowLongPtrW(hWnd, GWL_EXSTYLE);
        m_buttons.clear();
        const std::pair<bool, int> candidates[] = {{(nStyle & WS_SYSMENU) != 0, captionButtonClose},
                                                   {(nStyle & WS_MAXIMIZEBOX) != 0, captionButtonMaximize},
                                                   {(nStyle & WS_MINIMIZEBOX) != 0, captionButtonMinimize},
                                                   {(nExStyle & WS_EX_CONTEXTHELP) != 0, captionButtonHelp}};
        for (const auto& [bShown, nNumber] : candidates)
            if (bShown)
                m_buttons.push_back(CButton{nNumber, captionStateNormal, RECT{}});
        if (nStyle & WS_SYSMENU)
            m_params.m_hIcon = reinterpret_cast<HICON>(::SendMessageW(hWnd, WM_GETICON, ICON_SMALL, 0));
        LayOutButtons();
        if (!m_buttons.empty())
            CreateToolTip();
    } HCATCH
}

RECT CHCustomCaption::WindowSizeRect() const
{
    RECT rc{};
    ::GetWindowRect(m_hWnd, &rc);
    return RECT{0, 0, rc.right - rc.left, rc.bottom - rc.top};
}

SIZE CHCustomCaption::SystemBorder() const
{
    const bool bResizable = (::GetWindowLongPtrW(m_hWnd, GWL_STYLE) & WS_THICKFRAME) != 0;
    return SIZE{::GetSystemMetrics(bResizable ? SM_CXFRAME : SM_CXDLGFRAME),
                ::GetSystemMetrics(bResizable ? SM_CYFRAME : SM_CYDLGFRAME)};
}

RECT CHCustomCaption::GetCaptionRect() const
{
    const RECT rcWindow = WindowSizeRect();
    const int nTop = m_params.m_nBorderHeight;
    return RECT{m_params.m_nBorderWidth, nTop, rcWindow.right - m_params.m_nBorderWidth,
                nTop + m_params.m_nCaptionHeight};
}

int CHCustomCaption::ButtonNumberShown(const CButton& button) const noexcept
{
    return button.nNumber == captionButtonMaximize && ::IsZoomed(m_hWnd) ? captionButtonRestore : button.nNumber;
}

void CHCustomCaption::LayOutButtons()
{
    const RECT rcCaption = GetCaptionRect();
    int nRight = rcCaption.right - m_params.m_nButtonRightMargin;
    for (CButton& button : m_buttons) {
        SIZE size{m_params.m_nButtonWidth, m_params.m_nButtonHeight};
        if (m_params.m_bUseImageSizes && button.nNumber < m_params.m_nImageSizes)
            size = m_params.m_imageSizes[static_cast<size_t>(button.nNumber)];
        const int nTop = m_params.m_nCenterButtonsVertically != 0 ? (rcCaption.top + rcCaption.bottom - size.cy) / 2
                                                                  : static_cast<int>(rcCaption.top);
        button.rc = RECT{nRight - size.cx, nTop, nRight, nTop + size.cy};
        nRight = button.rc.left - m_params.m_nButtonGap;
    }
}

int CHCustomCaption::ButtonAt(POINT ptScreen) const
{
    RECT rcWindow{};
    ::GetWindowRect(m_hWnd, &rcWindow);
    for (size_t i = 0; i < m_buttons.size(); ++i) {
        const RECT rc = ToScreen(m_buttons[i].rc, rcWindow);
        if (::PtInRect(&rc, ptScreen))
            return static_cast<int>(i);
    }
    return -1;
}

void CHCustomCaption::CreateToolTip()
{
    HWND hToolTip = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_hWnd, nullptr,
                                      ::GetModuleHandleW(nullptr), nullptr);
    HCHECK_WIN32(hToolTip);
    m_toolTip.Reset(hToolTip);
    for (size_t i = 0; i < m_buttons.size(); ++i) {
        std::wstring strText = m_pClient->GetButtonTooltip(ButtonNumberShown(m_buttons[i]));
        if (strText.empty())
            continue;
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof(tool);
        tool.hwnd = m_hWnd;
        tool.uId = i + 1;
        tool.lpszText = strText.data();
        ::SendMessageW(hToolTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    UpdateToolTips();
}

void CHCustomCaption::UpdateToolTips()
{
    if (!m_toolTip)
        return;
    // Tool rectangles are in client coordinates: the caption lies above the client area.
    RECT rcWindow{};
    ::GetWindowRect(m_hWnd, &rcWindow);
    for (size_t i = 0; i < m_buttons.size(); ++i) {
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof(tool);
        tool.hwnd = m_hWnd;
        tool.uId = i + 1;
        tool.rect = ToScreen(m_buttons[i].rc, rcWindow);
        ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&tool.rect), 2);
        ::SendMessageW(m_toolTip.Get(), TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
        if (m_buttons[i].nNumber == captionButtonMaximize) {
            std::wstring strText = m_pClient->GetButtonTooltip(ButtonNumberShown(m_buttons[i]));
            tool.lpszText = strText.data();
            ::SendMessageW(m_toolTip.Get(), TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
        }
    }
}

void CHCustomCaption::Paint(HDC hWindowDC)
{
    LayOutButtons();
    const RECT rcWindow = WindowSizeRect();
    const RECT rcCaption = GetCaptionRect();
    if (m_params.m_bFrameImagesLoaded) {
        const int nBorderWidth = m_params.m_nBorderWidth, nBorderHeight = m_params.m_nBorderHeight;
        const std::pair<int, RECT> edges[] = {
            {captionEdgeLeft, {0, 0, nBorderWidth, rcWindow.bottom}},
            {captionEdgeRight, {rcWindow.right - nBorderWidth, 0, rcWindow.right, rcWindow.bottom}},
            {captionEdgeTop, {nBorderWidth, 0, rcWindow.right - nBorderWidth, nBorderHeight}},
            {captionEdgeBottom,
             {nBorderWidth, rcWindow.bottom - nBorderHeight, rcWindow.right - nBorderWidth, rcWindow.bottom}}};
        for (const auto& [nEdge, rc] : edges)
            m_pClient->CC_DrawEdge(CHCaptionDrawContext{hWindowDC, rc, m_hWnd, m_bActive}, nEdge);
    }
    if (rcCaption.right <= rcCaption.left || rcCaption.bottom <= rcCaption.top)
        return;
    // The caption is put together off screen and shown in one copy.
    CHBackBufferScope buffer(m_backBuffer, hWindowDC, rcCaption);
    HDC hDC = buffer.GetDC();
    m_pClient->CC_DrawCaptionBKGround(CHCaptionDrawContext{hDC, rcCaption, m_hWnd, m_bActive});
    LONG nTextLeft = rcCaption.left + m_params.m_nTextMarginNoIcon;
    if (m_params.m_hIcon != nullptr) {
        const int nIconWidth = ::GetSystemMetrics(SM_CXSMICON), nIconHeight = ::GetSystemMetrics(SM_CYSMICON);
        const int x = rcCaption.left + m_params.m_nIconLeftOffset;
        ::DrawIconEx(hDC, x, (rcCaption.top + rcCaption.bottom - nIconHeight) / 2, m_params.m_hIcon, nIconWidth,
                     nIconHeight, 0, nullptr, DI_NORMAL);
        nTextLeft = x + nIconWidth + m_params.m_nIconTextGap;
    }
    LONG nTextRight = rcCaption.right;
    for (const CButton& button : m_buttons) {
        m_pClient->DrawCaptionButton(CHCaptionDrawContext{hDC, button.rc, m_hWnd, m_bActive}, ButtonNumberShown(button),
                                     button.nState);
        nTextRight = button.rc.left - 1;
    }
    UpdateToolTips();
    wchar_t szText[kMaxTextLength + 1] = {};
    ::GetWindowTextW(m_hWnd, szText, kMaxTextLength + 1);
    const RECT rcText{nTextLeft, rcCaption.top, nTextRight, rcCaption.bottom};
    m_pClient->CC_DrawText(CHCaptionDrawContext{hDC, rcText, m_hWnd, m_bActive}, m_hWnd, szText);
}

void CHCustomCaption::Repaint()
{
    CHWindowDC dc(CHWindowDCTraits::Handle{m_hWnd, ::GetWindowDC(m_hWnd)});
    if (dc.Get().hDC != nullptr)
        Paint(dc.Get().hDC);
}

bool CHCustomCaption::SetButtonStates(int nIndex, int nHotState)
{
    bool bChanged = false;
    for (size_t i = 0; i < m_buttons.size(); ++i) {
        const int nState = static_cast<int>(i) == nIndex ? nHotState : static_cast<int>(captionStateNormal);
        bChanged |= m_buttons[i].nState != nState;
        m_buttons[i].nState = nState;
    }
    return bChanged;
}

void CHCustomCaption::HideVisibleStyleUntilNextMessage()
{
    const LONG_PTR nStyle = ::GetWindowLongPtrW(m_hWnd, GWL_STYLE);
    if ((nStyle & WS_VISIBLE) == 0)
        return;
    ::SetWindowLongPtrW(m_hWnd, GWL_STYLE, nStyle & ~static_cast<LONG_PTR>(WS_VISIBLE));
    m_bRestoreVisible = true;
}

void CHCustomCaption::DoPendingWork()
{
    if (m_bRestoreVisible) {
        m_bRestoreVisible = false;
        ::SetWindowLongPtrW(m_hWnd, GWL_STYLE, ::GetWindowLongPtrW(m_hWnd, GWL_STYLE) | WS_VISIBLE);
    }
    if (m_bRepaintPending) {
        m_bRepaintPending = false;
        Repaint();
    }
}

LRESULT CHCustomCaption::DefaultWithoutVisibleStyle(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    // The system paints its own caption while it handles some messages, but
    // not for a window it takes as hidden.
    HideVisibleStyleUntilNextMessage();
    const bool bHidden = m_bRestoreVisible;
    const LRESULT lResult = ::DefWindowProcW(m_hWnd, uMsg, wParam, lParam);
    if (bHidden)
        DoPendingWork();
    return lResult;
}

BOOL CHCustomCaption::OnMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) noexcept
{
    if (m_hWnd == nullptr)
        return FALSE;
    HTRY {
        DoPendingWork();
        lResult = 0;
        switch (uMsg) {
        case WM_SETTEXT:
            lResult = DefaultWithoutVisibleStyle(uMsg, wParam, lParam);
            Repaint();
            return TRUE;
        case WM_NCACTIVATE:
            if (const bool bActive = ::IsWindowEnabled(m_hWnd) && wParam != 0; bActive != m_bActive) {
                m_bActive = bActive;
                ::SendMessageW(m_hWnd, WM_NCPAINT, 1, 0);
            }
            lResult = 1;
            return TRUE;
        case WM_NCCALCSIZE:
            if (m_params.m_bUseSystemCaptionHeight)
                return FALSE;
            lResult = OnNcCalcSize(wParam, lParam);
            return TRUE;
        case WM_NCHITTEST:
            lResult = OnNcHitTest(lParam);
            return TRUE;
        case WM_NCPAINT:
            OnNcPaint(wParam);
            return TRUE;
        case WM_NCMOUSEMOVE:
            OnNcMouseMove(lParam);
            return FALSE;
        case WM_NCLBUTTONDOWN:
            return OnNcLButtonDown(wParam, lParam, lResult);
        case WM_SETCURSOR:
            // Only over the window itself: a control's cursor is its own (and its dialog's).
            if (HIWORD(lParam) != WM_MOUSEMOVE || reinterpret_cast<HWND>(wParam) != m_hWnd)
                return FALSE;
            lResult = DefaultWithoutVisibleStyle(uMsg, wParam, lParam);
            return TRUE;
        case WM_CONTEXTMENU: {
            POINT pt = PointFromLParam(lParam);
            RECT rcClient{};
            ::GetClientRect(m_hWnd, &rcClient);
            ::ScreenToClient(m_hWnd, &pt);
            if (!::PtInRect(&rcClient, pt))
                HideVisibleStyleUntilNextMessage();
            return FALSE;
        }
        case WM_SYSCOMMAND:
            // A window without a maximize box is never maximized (a double click on the caption asks).
            return (wParam & 0xFFF0) == SC_MAXIMIZE && (::GetWindowLongPtrW(m_hWnd, GWL_STYLE) & WS_MAXIMIZEBOX) == 0;
        case WM_CAPTURECHANGED:
            m_nPressed = -1;
            if (SetButtonStates(-1, captionStateNormal))
                Repaint();
            m_bRepaintPending = true;
            return FALSE;
        case WM_NCMOUSELEAVE:
            if (SetButtonStates(-1, captionStateNormal))
                Repaint();
            return FALSE;
        case WM_WINDOWPOSCHANGED:
            // The buttons keep their place at the caption's right end.
            LayOutButtons();
            UpdateToolTips();
            return FALSE;
        case WM_SYSCOLORCHANGE:
        case WM_SETTINGCHANGE:
            lResult = ::DefWindowProcW(m_hWnd, uMsg, wParam, lParam);
            return TRUE;
        case kSystemCaptionMessage:
            return TRUE;
        default:
            return FALSE;
        }
    } HCATCH_LOG
    return FALSE;
}

LRESULT CHCustomCaption::OnNcCalcSize(WPARAM wParam, LPARAM lParam)
{
    const LRESULT lResult = ::DefWindowProcW(m_hWnd, WM_NCCALCSIZE, wParam, lParam);
    // The proposed client rectangle comes first in both forms of lParam.
    RECT& rc = *reinterpret_cast<RECT*>(lParam);
    const SIZE border = SystemBorder();
    const int dx = m_params.m_nBorderWidth - border.cx, dy = m_params.m_nBorderHeight - border.cy;
    rc.top += m_params.m_nCaptionHeight - ::GetSystemMetrics(SM_CYCAPTION) + dy;
    rc.bottom -= dy;
    rc.left += dx;
    rc.right -= dx;
    return lResult;
}

LRESULT CHCustomCaption::OnNcHitTest(LPARAM lParam)
{
    const int nButton = ButtonAt(PointFromLParam(lParam));
    if (nButton >= 0)
        return HitCodeOf(m_buttons[static_cast<size_t>(nButton)].nNumber);
    const LRESULT lDefault = ::DefWindowProcW(m_hWnd, WM_NCHITTEST, 0, lParam);
    // The system's own buttons lie where this caption draws something else.
    for (const CButton& button : m_buttons)
        if (HitCodeOf(button.nNumber) == lDefault)
            return HTNOWHERE;
    return lDefault;
}

void CHCustomCaption::OnNcPaint(WPARAM wParam)
{
    RECT rcWindow{};
    ::GetWindowRect(m_hWnd, &rcWindow);
    CHRegionHandle hRegion(::CreateRectRgnIndirect(&rcWindow));
    if (wParam > 1)
        ::CombineRgn(hRegion.Get(), hRegion.Get(), reinterpret_cast<HRGN>(wParam), RGN_AND);
    const RECT rcCaption = ToScreen(GetCaptionRect(), rcWindow);
    CHRegionHandle hCaption(::CreateRectRgnIndirect(&rcCaption));
    ::CombineRgn(hRegion.Get(), hRegion.Get(), hCaption.Get(), RGN_DIFF);
    if (m_params.m_bFrameImagesLoaded) {
        // The edges are the frame images' too.
        RECT rcInner = rcWindow;
        ::InflateRect(&rcInner, -m_params.m_nBorderWidth, -m_params.m_nBorderHeight);
        CHRegionHandle hInner(::CreateRectRgnIndirect(&rcInner));
        ::CombineRgn(hRegion.Get(), hRegion.Get(), hInner.Get(), RGN_AND);
    }
    ::DefWindowProcW(m_hWnd, WM_NCPAINT, reinterpret_cast<WPARAM>(hRegion.Get()), 0);
    if (m_nPressed < 0) {
        POINT ptCursor{};
        ::GetCursorPos(&ptCursor);
        SetButtonStates(ButtonAt(ptCursor), ::GetKeyState(VK_LBUTTON) < 0 ? captionStatePressed : captionStateHover);
    }
    Repaint();
}

void CHCustomCaption::OnNcMouseMove(LPARAM lParam)
{
    const POINT pt = PointFromLParam(lParam);
    if (m_toolTip) {
        // The tooltip follows client-area moves only: the caption's are passed on.
        POINT ptClient = pt;
        ::ScreenToClient(m_hWnd, &ptClient);
        MSG msg{m_hWnd, WM_MOUSEMOVE, 0, MAKELPARAM(ptClient.x, ptClient.y), 0, pt};
        ::SendMessageW(m_toolTip.Get(), TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&msg));
    }
    if (m_nPressed >= 0)
        return;
    const int nButton = ButtonAt(pt);
    if (SetButtonStates(nButton, captionStateHover))
        Repaint();
    if (nButton >= 0)
        StartTracking();
}

BOOL CHCustomCaption::OnNcLButtonDown(WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    const int nButton = ButtonAt(PointFromLParam(lParam));
    if (nButton >= 0) {
        m_nPressed = nButton;
        SetButtonStates(nButton, captionStatePressed);
        Repaint();
        StartTracking();
        return TRUE;
    }
    if (m_bFirstNcLButtonDown) {
        m_bFirstNcLButtonDown = false;
        HideVisibleStyleUntilNextMessage();
    }
    lResult = ::DefWindowProcW(m_hWnd, WM_NCLBUTTONDOWN, wParam, lParam);
    ::SendMessageW(m_hWnd, WM_NCPAINT, 1, 0);
    return TRUE;
}

void CHCustomCaption::StartTracking()
{
    if (m_listener.GetHandle() == nullptr) {
        const RECT rc{0, 0, 0, 0};
        m_listener.Create(nullptr, &rc, L"", WS_POPUP, WS_EX_TOOLWINDOW);
    }
    if (::GetCapture() != m_listener.GetHandle())
        ::SetCapture(m_listener.GetHandle());
}

void CHCustomCaption::EndTracking() noexcept
{
    if (m_listener.GetHandle() != nullptr && ::GetCapture() == m_listener.GetHandle())
        ::ReleaseCapture();
}

void CHCustomCaption::OnTrackMove(POINT ptScreen)
{
    const int nButton = ButtonAt(ptScreen);
    if (m_nPressed >= 0) {
        CButton& pressed = m_buttons[static_cast<size_t>(m_nPressed)];
        const int nState = nButton == m_nPressed ? captionStatePressed : captionStateNormal;
        if (pressed.nState != nState) {
            pressed.nState = nState;
            Repaint();
        }
        return;
    }
    if (SetButtonStates(nButton, captionStateHover))
        Repaint();
    if (nButton < 0)
        EndTracking();
}

void CHCustomCaption::OnTrackButtonDown(POINT ptScreen)
{
    const int nButton = ButtonAt(ptScreen);
    if (nButton >= 0) {
        m_nPressed = nButton;
        SetButtonStates(nButton, captionStatePressed);
        Repaint();
    }
    ::SendMessageW(m_hWnd, WM_NCACTIVATE, 1, 0);
}

void CHCustomCaption::OnTrackButtonUp(POINT ptScreen)
{
    const int nPressed = m_nPressed;
    m_nPressed = -1;
    const bool bClicked = nPressed >= 0 && ButtonAt(ptScreen) == nPressed;
    SetButtonStates(bClicked ? nPressed : -1, captionStateHover);
    Repaint();
    EndTracking();
    if (bClicked)
        m_pClient->OnCaptionButtonClick(m_hWnd, m_buttons[static_cast<size_t>(nPressed)].nNumber, ptScreen.x,
                                        ptScreen.y);
}

CHMessageAnswer CHCustomCaption::CListener::AnswerMessage(UINT uMsg, WPARAM, LPARAM lParam)
{
    POINT pt = PointFromLParam(lParam);
    ::ClientToScreen(m_hWnd, &pt);
    switch (uMsg) {
    case WM_MOUSEMOVE:
        m_caption.OnTrackMove(pt);
        return 0;
    case WM_LBUTTONDOWN:
        m_caption.OnTrackButtonDown(pt);
        return 0;
    case WM_LBUTTONUP:
        m_caption.OnTrackButtonUp(pt);
        return 0;
    case WM_CAPTURECHANGED:
        // Taken by someone else during a press: nothing stays pressed.
        if (m_caption.m_nPressed >= 0) {
            m_caption.m_nPressed = -1;
            if (m_caption.SetButtonStates(-1, captionStateNormal))
                m_caption.Repaint();
        }
        return 0;
    default:
        return std::nullopt;
    }
}
