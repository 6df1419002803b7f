#include "RAde/DEVEDar/HTransparentButton.h"

#include <algorithm>

#include "RAde/DEVEDar/HAccessibleProxy.h"
#include "RAde/DEVEDar/HDialogSkinXmlConfig.h"
#include "RAde/DEVEDar/HFormSkinData.h"
#include "RAde/DEVEDar/HTextDrawing.h"
#include "RAde/DEVEDar/HMessageCrackers.h"
#include "RAde/DEVEDar/HParentBackground.h"
#include "RAde/DEVEDar/HOwnerDrawReflection.h"
#include "RAde/HException.h"
#include "RAde/HLogging.h"

namespace {
constexpr int kMaxCaptionLength = 4096;
constexpr UINT kReflectedDrawItem = kReflectedMessageBase + WM_DRAWITEM;

// What the skin's defaults hold for a kind in a check state.
const std::array<CHImage, stateCount>& DefaultImagesFor(int nKind, int nCheck)
{
    const CHDefaultControlImages& defaults = CHDialogSkinXmlConfig::DefaultControlImages();
    if (nKind == CHTransparentButton::kindCheck) {
        if (nCheck == BST_CHECKED)
            return defaults.m_checkOn;
        return nCheck == BST_INDETERMINATE ? defaults.m_checkIndeterminate : defaults.m_checkOff;
    }
    if (nKind == CHTransparentButton::kindRadio)
        return nCheck == BST_CHECKED ? defaults.m_radioOn : defaults.m_radioOff;
    return defaults.m_button;
}

// The image set of a check state: checked 0, clear 1, indeterminate 2.
int ImageSetOfCheck(int nCheck) noexcept
{
    return nCheck == BST_CHECKED ? 0 : nCheck == BST_INDETERMINATE ? 2 : 1;
}

bool CanBlend(const CHImage& from, const CHImage& to) noexcept
{
    return !from.IsNull() && !to.IsNull() && from.GetWidth() == to.GetWidth() && from.GetHeight() == to.GetHeight();
}

LONG_PTR StyleOf(HWND hWnd) noexcept
{
    return ::GetWindowLongPtrW(hWnd, GWL_STYLE);
}

// The accessible state of a button of a kind, from the system object's: the
// check state and the default look, which the system's object cannot see in
// an owner-drawn button, are asked of the button itself.
LONG AccessibleState(HWND hWnd, int nKind, LONG nStandard)
{
    LONG nState = nStandard & ~(STATE_SYSTEM_CHECKED | STATE_SYSTEM_MIXED | STATE_SYSTEM_DEFAULT);
    if (nKind == CHTransparentButton::kindPush) {
        if ((::SendMessageW(hWnd, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON) != 0)
            nState |= STATE_SYSTEM_DEFAULT;
        return nState;
    }
    const LRESULT nCheck = ::SendMessageW(hWnd, BM_GETCHECK, 0, 0);
    if (nCheck == BST_CHECKED)
        nState |= STATE_SYSTEM_CHECKED;
    else if (nCheck == BST_INDETERMINATE)
        nState |= STATE_SYSTEM_MIXED;
    return nState;
}

CHAccessibleProxy::COverrides AccessibleOverrides(HWND hWnd, int nKind)
{
    const LONG nRole = nKind == CHTransparentButton::kindCheck   ? ROLE_SYSTEM_CHECKBUTTON
                       : nKind == CHTransparentButton::kindRadio ? ROLE_SYSTEM_RADIOBUTTON
                                                                 : ROLE_SYSTEM_PUSHBUTTON;
    return {[nRole] { return nRole; }, [hWnd, nKind](LONG nState) { return AccessibleState(hWnd, nKind, nState); },
            nullptr};
}
}  // namespace

CHTransparentButton::CHTransparentButton()
    : CHBitmapButtonImpl(BMPBTN_HOVER), CHImagePainter(2, 0.25), m_images(kStatesPerSet)
{
    m_crText.fill(kDefaultTextColor);
}

CHTransparentButton::~CHTransparentButton() = default;

BOOL CHTransparentButton::SubclassWindow(HWND hWnd) noexcept
{
    HTRY {
        const LONG_PTR nStyle = StyleOf(hWnd);
        // Read before the button becomes owner-drawn, when the system still
        // knows them: a box checked by the template or the dialog stays checked,
        // and the dialog's default button stays its default.
        const auto nSystemCheck = static_cast<int>(::SendMessageW(hWnd, BM_GETCHECK, 0, 0));
        if (!CHBitmapButtonImpl::SubclassWindow(hWnd))
            return FALSE;
        m_hFont = reinterpret_cast<HFONT>(::SendMessageW(hWnd, WM_GETFONT, 0, 0));
        m_strCaption = GetWindowTextOf(hWnd).substr(0, kMaxCaptionLength);
        m_bHideFocus = (::SendMessageW(hWnd, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS) != 0;
        switch (nStyle & BS_TYPEMASK) {
        case BS_CHECKBOX:
        case BS_AUTOCHECKBOX:
            m_nKind = kindCheck;
            break;
        case BS_3STATE:
        case BS_AUTO3STATE:
            m_nKind = kindCheck;
            m_bThreeState = true;
            break;
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON:
            m_nKind = kindRadio;
            break;
        default:
            m_nKind = kindPush;
            break;
        }
        if (m_nKind != kindPush)
            m_nCheck = nSystemCheck;
        else
            m_bDefault = (nStyle & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
        return TRUE;
    } HCATCH_LOG
    return FALSE;
}

CHMessageAnswer CHTransparentButton::AnswerMessage(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg) {
    case WM_ERASEBKGND:
        OnEraseBkGnd();
        return 1;
    case WM_PAINT:
    case WM_PRINTCLIENT:
        OnPaint(reinterpret_cast<HDC>(wParam), uMsg == WM_PAINT);
        return 0;
    case kDrawMessage:
        OnDraw(reinterpret_cast<HDC>(wParam));
        return 0;
    case WM_NCHITTEST:
        return OnNCHitTest(lParam);
    case WM_GETDLGCODE:
        return OnGetDlgCode();
    case WM_GETOBJECT:
        return OnGetObject(wParam, lParam);
    case WM_UPDATEUISTATE: {
        const LRESULT lResult = DefWindowProc(uMsg, wParam, lParam);
        OnUpdateUIState(wParam);
        return lResult;
    }
    case WM_SYSKEYUP:
        OnSysKeyUp();
        return std::nullopt;  // the system still sees the key (menus, mnemonics)
    case WM_TIMER:
        if (wParam != kFadeTimerId)
            return std::nullopt;
        OnTimer(wParam);
        return 0;
    case BM_SETSTYLE:
        return OnSetStyle(wParam, lParam);
    case BM_SETCHECK:
        OnSetCheck(static_cast<int>(wParam));
        return 0;
    case BM_GETCHECK:
        return m_nCheck;
    case WM_LBUTTONUP:
        return OnLButtonUp(wParam, lParam);
    case WM_SETTEXT:
        return OnSetText(lParam);
    case WM_SETFONT:
        m_hFont = reinterpret_cast<HFONT>(wParam);
        return std::nullopt;
    case kReflectedDrawItem:
        // The system asks the parent to draw an owner-drawn button; this
        // button has drawn itself already.
        return TRUE;
    case WM_DESTROY:
        StopFade();
        return CHBitmapButtonImpl::AnswerMessage(uMsg, wParam, lParam);
    default:
        return CHBitmapButtonImpl::AnswerMessage(uMsg, wParam, lParam);
    }
}

void CHTransparentButton::SetImgSet(int nSet)
{
    HTRY {
        if (nSet < 0)
            throw CHException(HError::InvalidParameter, HSITE);
        const size_t nNeeded = static_cast<size_t>(nSet) * kStatesPerSet + kStatesPerSet;
        if (m_images.size() < nNeeded) {
            // The fade's frames point into the images, which are about to move.
            StopFade();
            m_images.resize(nNeeded);
        }
        if (nSet == m_nImgSet)
            return;
        m_nImgSet = nSet;
        if (m_hWnd != nullptr)
            ::InvalidateRect(m_hWnd, nullptr, TRUE);
    } HCATCH
}

CHImage& CHTransparentButton::GetImgRef(int nState)
{
    if (nState < 0 || nState >= kStatesPerSet)
        throw CHException(HError::InvalidParameter, HSITE);
    return m_images[static_cast<size_t>(m_nImgSet * kStatesPerSet + nState)];
}

bool CHTransparentButton::IsSetLoaded(int nSet) const noexcept
{
    return static_cast<size_t>(nSet) < m_loadedSets.size() && m_loadedSets[static_cast<size_t>(nSet)];
}

void CHTransparentButton::LoadDefImages()
{
    HTRY {
        const std::array<CHImage, stateCount>& defaults = DefaultImagesFor(m_nKind, m_nCheck);
        for (int nState = 0; nState < kStatesPerSet; ++nState)
            if (!defaults[static_cast<size_t>(nState)].IsNull())
                GetImgRef(nState) = defaults[static_cast<size_t>(nState)];
    } HCATCH
}

void CHTransparentButton::LoadDefaults()
{
    HTRY {
        if (m_nKind != kindPush)
            SetImgSet(ImageSetOfCheck(m_nCheck));
        if (GetImgRef(stateNormal).IsNull() && !IsSetLoaded(m_nImgSet)) {
            LoadDefImages();
            for (int nState = 0; nState < kStatesPerSet; ++nState)
                if (PremultiplyAlpha(GetImgRef(nState)))
                    m_bHasTransparency = true;
            if (m_loadedSets.size() <= static_cast<size_t>(m_nImgSet))
                m_loadedSets.resize(static_cast<size_t>(m_nImgSet) + 1);
            m_loadedSets[static_cast<size_t>(m_nImgSet)] = true;
        }
        // Decided every time: the external device context and the animation
        // may have changed since the images were loaded.
        RefreshBackBufferState();
    } HCATCH
}

bool CHTransparentButton::NeedsBackground() const
{
    if (m_bHasTransparency || m_nKind != kindPush)
        return true;
    if (m_pAnimSet != nullptr && m_pAnimSet->IsRunning() && m_pAnimSet->m_bErase)
        return true;
    // Without an image nothing covers what the caption was drawn over before.
    return m_images[static_cast<size_t>(m_nImgSet * kStatesPerSet)].IsNull();
}

void CHTransparentButton::RefreshBackBufferState()
{
    HTRY {
        m_backBuffer.Enable(m_hExternalDC == nullptr && !m_bParentErase && NeedsBackground());
    } HCATCH
}

int CHTransparentButton::GetDrawState() const
{
    const int nSetStart = m_nImgSet * kStatesPerSet;
    if (m_nKind == kindPush && m_nCheck == BST_CHECKED)
        return statePressed;
    if (m_fPressed)
        return statePressed;
    if (m_hWnd != nullptr && !::IsWindowEnabled(m_hWnd))
        return stateDisabled;
    if (IsHoverMode() && m_fMouseOver)
        return m_bDefault && !m_images[static_cast<size_t>(nSetStart + stateHoverDefault)].IsNull() ? stateHoverDefault
                                                                                                    : stateHover;
    if (m_bDefault)
        return m_fFocus ? stateFocusedDefault : stateDefault;
    return m_fFocus ? stateFocused : stateNormal;
}

const CHImage& CHTransparentButton::GetStateImage(int nState)
{
    const CHImage* pImage = m_pAnimSet != nullptr ? m_pAnimSet->GetImage(nState) : nullptr;
    if (pImage == nullptr)
        pImage = &GetImgRef(nState);
    if (!pImage->IsNull())
        return *pImage;
    const CHImage* pAnimFirst = m_pAnimSet != nullptr ? m_pAnimSet->GetImage(0) : nullptr;
    return pAnimFirst != nullptr && !pAnimFirst->IsNull() ? *pAnimFirst : GetImgRef(stateNormal);
}

void CHTransparentButton::Draw(HDC hDC, const RECT& rc)
{
    HTRY {
        const int nState = GetDrawState();
        const CHImage& image = GetStateImage(nState);
        const LONG_PTR nStyle = StyleOf(m_hWnd);
        RECT rcImage = rc;
        RECT rcText = rc;
        UINT nFormat = DT_CENTER | DT_VCENTER | ((nStyle & BS_MULTILINE) ? DT_WORDBREAK : DT_SINGLELINE);
        if (m_nKind != kindPush)
            LayOutCheckOrRadio(nStyle, image, rcImage, rcText, nFormat);
        if (m_bSystemFace && m_nKind == kindPush)
            DrawSystemFace(hDC, rc, nState);
        else
            DrawImg(hDC, rcImage, image);
        DrawCaption(hDC, rcText, nFormat, nState);
        if (m_fFocus && !m_bHideFocus)
            DrawFocusCue(hDC, rc, rcText, nFormat);
    } HCATCH
}

void CHTransparentButton::LayOutCheckOrRadio(LONG_PTR nStyle, const CHImage& image, RECT& rcImage, RECT& rcText,
                                             UINT& nFormat) const
{
    nFormat &= ~(DT_CENTER | DT_VCENTER);
    const LONG_PTR nAlignment = nStyle & BS_CENTER;  // BS_CENTER is BS_LEFT | BS_RIGHT
    nFormat |= nAlignment == BS_RIGHT ? DT_RIGHT : nAlignment == BS_CENTER ? DT_CENTER : DT_LEFT;
    const int nImageWidth = image.GetWidth();
    const int nImageHeight = image.GetHeight();
    switch (nStyle & BS_VCENTER) {
    case BS_TOP:
        rcImage.top = rcText.top;
        nFormat |= DT_TOP;
        break;
    case BS_BOTTOM:
        rcImage.top = rcText.bottom - nImageHeight;
        nFormat |= DT_BOTTOM;
        break;
    default:
        rcImage.top = (rcText.top + rcText.bottom) / 2 - nImageHeight / 2;
        nFormat |= DT_VCENTER;
        break;
    }
    rcImage.bottom = rcImage.top + nImageHeight;
    if ((::GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE) & WS_EX_RIGHT) != 0) {
        rcImage.left = rcImage.right - nImageWidth;
        rcText.right = rcImage.left;
    } else {
        rcImage.right = rcImage.left + nImageWidth;
        rcText.left = rcImage.right;
    }
}

void CHTransparentButton::DrawImg(HDC hDC, const RECT& rc, const CHImage& image)
{
    HTRY {
        if (image.IsNull())
            return;
        // Images known to be opaque (loaded from the skin and checked) are
        // copied: the same pixels, at a fraction of the cost of blending.
        const bool bKnownOpaque = !m_bHasTransparency && IsSetLoaded(m_nImgSet) && m_pAnimSet == nullptr;
        PaintImage(hDC, rc, image, !bKnownOpaque);
    } HCATCH
}

void CHTransparentButton::DrawSystemFace(HDC hDC, const RECT& rc, int nState)
{
    CHBrushHandle hFace(::CreateSolidBrush(::GetSysColor(COLOR_BTNFACE)));
    ::FillRect(hDC, &rc, hFace.Get());
    const bool bMarked = nState != stateNormal && nState != stateDisabled;
    CHBrushHandle hFrame(::CreateSolidBrush(::GetSysColor(bMarked ? COLOR_HIGHLIGHT : COLOR_WINDOWTEXT)));
    RECT rcFrame = rc;
    for (int i = 0; i < (bMarked ? 2 : 1); ++i) {
        ::FrameRect(hDC, &rcFrame, hFrame.Get());
        ::InflateRect(&rcFrame, -1, -1);
    }
}

void CHTransparentButton::DrawCaption(HDC hDC, const RECT& rcText, UINT nFormat, int nState)
{
    if (m_strCaption.empty())
        return;
    const CHSavedDC saved(hDC);
    const CHSelectedObject font(hDC, m_hFont);
    ::SetBkMode(hDC, TRANSPARENT);
    ::SetTextColor(hDC, m_crText[static_cast<size_t>(nState)]);
    DrawTextInRect(hDC, m_strCaption, rcText, nFormat);
}

void CHTransparentButton::DrawFocusCue(HDC hDC, const RECT& rcClient, const RECT& rcText, UINT nFormat) const
{
    RECT rc = rcClient;
    if (m_nKind == kindPush) {
        ::InflateRect(&rc, -kFocusCueInset, -kFocusCueInset);
    } else {
        const RECT rcCaption = CaptionBounds(hDC, rcText, nFormat);
        ::IntersectRect(&rc, &rcClient, &rcCaption);
    }
    if (::IsRectEmpty(&rc))
        return;
    // DrawFocusRect inverts the pixels under its dots through the colours of
    // the device context: black on white, whatever the caption's colour.
    CHSavedDC saved(hDC);
    ::SetTextColor(hDC, RGB(0, 0, 0));
    ::SetBkColor(hDC, RGB(255, 255, 255));
    ::DrawFocusRect(hDC, &rc);
}

RECT CHTransparentButton::CaptionBounds(HDC hDC, const RECT& rcText, UINT nFormat) const
{
    if (m_strCaption.empty())
        return RECT{};
    RECT rcMeasured = rcText;
    {
        const CHSelectedObject font(hDC, m_hFont);
        ::DrawTextW(hDC, m_strCaption.c_str(), static_cast<int>(m_strCaption.size()), &rcMeasured,
                    (nFormat & ~(DT_CENTER | DT_RIGHT | DT_VCENTER | DT_BOTTOM)) | DT_CALCRECT);
    }
    // Placed as DrawCaption's format places the text, one pixel around it.
    const LONG nWidth = std::min(rcMeasured.right - rcMeasured.left, rcText.right - rcText.left);
    const LONG nHeight = std::min(rcMeasured.bottom - rcMeasured.top, rcText.bottom - rcText.top);
    const LONG nLeft = (nFormat & DT_RIGHT)    ? rcText.right - nWidth
                       : (nFormat & DT_CENTER) ? (rcText.left + rcText.right - nWidth) / 2
                                               : rcText.left;
    const LONG nTop = (nFormat & DT_BOTTOM)    ? rcText.bottom - nHeight
                      : (nFormat & DT_VCENTER) ? (rcText.top + rcText.bottom - nHeight) / 2
                                               : rcText.top;
    return RECT{nLeft - 1, nTop - 1, nLeft + nWidth + 1, nTop + nHeight + 1};
}

LRESULT CHTransparentButton::OnSetText(LPARAM lParam)
{
    const LRESULT lResult = DefWindowProc(WM_SETTEXT, 0, lParam);
    if (lResult) {
        const auto* pszText = reinterpret_cast<const wchar_t*>(lParam);
        m_strCaption.assign(pszText != nullptr ? pszText : L"");
        if (m_strCaption.size() > kMaxCaptionLength)
            m_strCaption.resize(kMaxCaptionLength);
    }
    ::InvalidateRect(m_hWnd, nullptr, FALSE);
    return lResult;
}

void CHTransparentButton::OnPaint(HDC hGivenDC, bool bNeedUpdateRegion)
{
    HTRY {
        if (bNeedUpdateRegion && !::GetUpdateRect(m_hWnd, nullptr, FALSE))
            return;
        const bool bExternal = hGivenDC == nullptr && m_hExternalDC != nullptr;
        if (bExternal) {
            // The parent shows the button in its own device context: a new
            // state is drawn by the parent's repaint.
            const int nState = GetDrawState();
            if (nState != m_nLastState) {
                m_nLastState = nState;
                ::ValidateRect(m_hWnd, nullptr);
                InvalidateParentUnderButton();
                return;
            }
        }
        const CHPaintTarget target(m_hWnd, hGivenDC, m_hExternalDC);
        LoadDefaults();
        RECT rcClient{};
        ::GetClientRect(m_hWnd, &rcClient);
        {
            CHBackBufferScope buffer(m_backBuffer, target.Get(), rcClient);
            HDC hDC = buffer.GetDC();
            CHSavedDC saved(hDC);
            if (bExternal)
                MoveOriginToPlaceInParent(m_hWnd, hDC);
            if (!m_bParentErase && NeedsBackground())
                FillWithParentBrush(m_hWnd, WM_CTLCOLORSTATIC, hDC, rcClient);
            Draw(hDC, rcClient);
        }
        if (bNeedUpdateRegion)
            ::ValidateRect(m_hWnd, nullptr);
    } HCATCH_LOG
}

void CHTransparentButton::OnDraw(HDC hDC)
{
    HTRY {
        LoadDefaults();
        RECT rcClient{};
        ::GetClientRect(m_hWnd, &rcClient);
        Draw(hDC, rcClient);
    } HCATCH_LOG
}

void CHTransparentButton::InvalidateParentUnderButton()
{
    HWND hParent = ::GetParent(m_hWnd);
    if (hParent == nullptr)
        return;
    RECT rc{};
    ::GetWindowRect(m_hWnd, &rc);
    ::MapWindowPoints(nullptr, hParent, reinterpret_cast<POINT*>(&rc), 2);
    ::InvalidateRect(hParent, &rc, TRUE);
    ::UpdateWindow(hParent);
}

void CHTransparentButton::OnEraseBkGnd()
{
    HTRY {
        if (m_bParentErase && m_hExternalDC == nullptr && NeedsBackground())
            InvalidateParentUnderButton();
    } HCATCH_LOG
}

LRESULT CHTransparentButton::OnNCHitTest(LPARAM lParam)
{
    HTRY {
        // A check box's or radio button's image covers only part of it, and
        // its text is as much the control as its image.
        if (m_bNoAlphaHitTest || m_nKind != kindPush)
            return HTCLIENT;
        LoadDefaults();
        const CHImage& image = GetStateImage(GetDrawState());
        if (image.IsNull() || image.GetBPP() != 32)
            return HTCLIENT;
        RECT rcWindow{};
        ::GetWindowRect(m_hWnd, &rcWindow);
        const POINT pt = PointFromLParam(lParam);
        const POINT ptImage = CoordScreenToImage(pt, rcWindow, image);
        if (ptImage.x < 0 || ptImage.y < 0)
            return HTCLIENT;
        return image.GetPixelAddress(ptImage.x, ptImage.y)[3] == 0 ? HTTRANSPARENT : HTCLIENT;
    } HCATCH_LOG
    return HTCLIENT;
}

UINT CHTransparentButton::OnGetDlgCode() const noexcept
{
    // A check box or radio button that called itself a push button would be
    // made the default button whenever it got the focus, and take Enter.
    if (m_nKind == kindRadio)
        return DLGC_BUTTON | DLGC_RADIOBUTTON;
    if (m_nKind == kindCheck)
        return DLGC_BUTTON;
    if (m_bPushLike || m_bDefault)
        return DLGC_BUTTON | (m_bDefault ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
    return DLGC_BUTTON;
}

CHMessageAnswer CHTransparentButton::OnGetObject(WPARAM wParam, LPARAM lParam) const noexcept
{
    HTRY {
        return CHAccessibleProxy::AnswerClient(m_hWnd, wParam, lParam, AccessibleOverrides(m_hWnd, m_nKind));
    } HCATCH_LOG
    return std::nullopt;
}

void CHTransparentButton::OnUpdateUIState(WPARAM wParam) noexcept
{
    // Read from the message, not asked of the system afterwards: Wine keeps
    // no UI state (its WM_QUERYUISTATE is always 0). Only what follows the
    // last input (UIS_INITIALIZE) is the system's to tell.
    if ((HIWORD(wParam) & UISF_HIDEFOCUS) == 0)
        return;
    const bool bWasHidden = m_bHideFocus;
    if (LOWORD(wParam) == UIS_INITIALIZE)
        m_bHideFocus = (::SendMessageW(m_hWnd, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS) != 0;
    else if (LOWORD(wParam) == UIS_SET || LOWORD(wParam) == UIS_CLEAR)
        m_bHideFocus = LOWORD(wParam) == UIS_SET;
    // The system's button repaints itself for the new state through
    // WM_DRAWITEM, which this button leaves undone: it repaints its cue itself.
    if (m_fFocus && m_bHideFocus != bWasHidden)
        Repaint();
}

void CHTransparentButton::OnSysKeyUp()
{
    HTRY {
        if (m_hWndCmdTarget == nullptr)
            return;
        if (!::PostMessageW(m_hWndCmdTarget, WM_COMMAND, LOWORD(m_nCmdId), 0)) {
            const CHException error = CHException::FromLastError(HSITE);
            CHLogging::LogDebug(L"%s\n", error.GetDescription(CHException::DescribeEverything).c_str());
        }
    } HCATCH_LOG
}

LRESULT CHTransparentButton::OnSetStyle(WPARAM wParam, LPARAM lParam)
{
    const auto nType = static_cast<UINT>(wParam & BS_TYPEMASK);
    if (m_nKind == kindPush && (nType == BS_PUSHBUTTON || nType == BS_DEFPUSHBUTTON))
        m_bDefault = nType == BS_DEFPUSHBUTTON;
    // Whatever the dialog manager asks for, the system keeps leaving the
    // drawing to this button.
    return DefWindowProc(BM_SETSTYLE, (wParam & ~static_cast<WPARAM>(0x04)) | BS_OWNERDRAW, lParam);
}

void CHTransparentButton::OnSetCheck(int nCheck)
{
    if (nCheck == m_nCheck)
        return;
    m_nCheck = nCheck;
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

LRESULT CHTransparentButton::OnLButtonUp(WPARAM wParam, LPARAM lParam)
{
    LRESULT lResult = 0;
    if (!IsHoverMode())
        lResult = DefWindowProc(WM_LBUTTONUP, wParam, lParam);
    if (::GetCapture() != m_hWnd)
        return lResult;
    const bool bClicked = IsHoverMode() && m_fPressed && IsInside(lParam);
    HWND hWnd = m_hWnd;
    // Released first, so that the button shows itself unpressed before the
    // parent acts on the click (which may open a dialog or destroy the button).
    ::ReleaseCapture();
    if (!bClicked)
        return lResult;
    ClickCheckOrRadio();
    ::SendMessageW(::GetParent(hWnd), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(hWnd), BN_CLICKED),
                   reinterpret_cast<LPARAM>(hWnd));
    return lResult;
}

void CHTransparentButton::ClickCheckOrRadio()
{
    if (m_nKind == kindCheck) {
        const int nNext = m_bThreeState ? (m_nCheck + 1) % 3 : (m_nCheck == BST_UNCHECKED ? 1 : 0);
        ::SendMessageW(m_hWnd, BM_SETCHECK, static_cast<WPARAM>(nNext), 0);
    } else if (m_nKind == kindRadio) {
        ::SendMessageW(m_hWnd, BM_SETCHECK, BST_CHECKED, 0);
        ClearRadioGroup();
    }
}

void CHTransparentButton::ClearRadioGroup()
{
    auto clearIfRadio = [](HWND hSibling) {
        if ((::SendMessageW(hSibling, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON) != 0)
            ::SendMessageW(hSibling, BM_SETCHECK, BST_UNCHECKED, 0);
    };
    // Back to the group's first button (the one with WS_GROUP), unless this is it.
    if ((StyleOf(m_hWnd) & WS_GROUP) == 0)
        for (HWND hPrev = ::GetWindow(m_hWnd, GW_HWNDPREV); hPrev; hPrev = ::GetWindow(hPrev, GW_HWNDPREV)) {
            clearIfRadio(hPrev);
            if ((StyleOf(hPrev) & WS_GROUP) != 0)
                break;
        }
    // Forward to the next group's first control, which is left alone.
    for (HWND hNext = ::GetWindow(m_hWnd, GW_HWNDNEXT); hNext; hNext = ::GetWindow(hNext, GW_HWNDNEXT)) {
        if ((StyleOf(hNext) & WS_GROUP) != 0)
            break;
        clearIfRadio(hNext);
    }
}

void CHTransparentButton::OnMouseMove(LPARAM lParam) noexcept
{
    HTRY {
        if (m_nFadeTime == 0 || ::GetCapture() == m_hWnd) {
            CHBitmapButtonImpl::OnMouseMove(lParam);
            return;
        }
        if (IsHoverMode() && !m_fMouseOver) {
            m_fMouseOver = 1;
            StartFade(stateNormal, stateHover);
            StartTrackMouseLeave();
        }
    } HCATCH_LOG
}

void CHTransparentButton::OnMouseLeave() noexcept
{
    HTRY {
        if (m_nFadeTime == 0) {
            CHBitmapButtonImpl::OnMouseLeave();
            return;
        }
        if (m_fMouseOver) {
            m_fMouseOver = 0;
            StartFade(stateHover, stateNormal);
        }
    } HCATCH_LOG
}

void CHTransparentButton::StartFade(int nFrom, int nTo)
{
    LoadDefaults();
    const CHImage& from = GetImgRef(nFrom);
    const CHImage& to = GetImgRef(nTo);
    // A reversed fade goes on from where the running one stood.
    const int nStart = m_animSet.IsRunning() ? m_animSet.GetTotalLength() - m_animSet.GetElapsed() : 0;
    StopFade();
    if (!CanBlend(from, to)) {
        Repaint();
        return;
    }
    m_animSet.Clear();
    m_animSet.SetOwner(m_hWnd);
    m_animSet.AddClient(m_hWnd);
    m_animSet.m_nFixedPeriod = kFadeTick;
    CHImageAnimation& fade = m_animSet.CreateAnim(nTo);
    fade.m_frames = {&from, &to};
    m_animSet.m_delays = {m_nFadeTime};
    m_pAnimSet = &m_animSet;
    m_animSet.Start(nStart);
    Repaint();
}

void CHTransparentButton::StopFade() noexcept
{
    HTRY {
        if (m_pAnimSet == &m_animSet)
            m_pAnimSet = nullptr;
        m_animSet.Stop();
    } HCATCH_LOG
}

void CHTransparentButton::OnTimer(UINT_PTR nId)
{
    HTRY {
        if (nId != kFadeTimerId)
            return;
        if (m_pAnimSet != nullptr)
            m_pAnimSet->Step();
        if (m_nFadeTime != 0 && m_pAnimSet == &m_animSet && m_animSet.GetCycles() >= 1)
            StopFade();
    } HCATCH_LOG
}
