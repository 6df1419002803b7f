#include "RAde/DEVEDar/HDialogBase.h"

#include <cstring>
#include <vector>

#include "RAde/DEVEDar/HAccessibleProxy.h"
#include "RAde/DEVEDar/HTextDrawing.h"
#include "RAde/DEVEDar/HParentBackground.h"
#include "RAde/DEVEDar/HOwnerDrawReflection.h"
#include "RAde/HException.h"

namespace {
// The list and combo messages of a dialog's initialisation data (the 16-bit
// numbers resource compilers still write).
constexpr WORD kInitListAddString = 0x0401;
constexpr WORD kInitComboAddString = 0x0403;
// The resource type of that data.
const wchar_t* const kDialogInitType = MAKEINTRESOURCEW(240);

bool IsColorMessage(UINT uMsg) noexcept
{
    return uMsg >= WM_CTLCOLORMSGBOX && uMsg <= WM_CTLCOLORSTATIC;
}
}  // namespace

CHDialogBase::CHDialogBase(UINT nTemplateId) : CHDialogImpl(nTemplateId)
{
    CHDialogBase::TakeAppearanceOptions();
}

void CHDialogBase::TakeAppearanceOptions()
{
    m_options = g_pAppearance->m_options;
    m_bRightToLeft = g_pAppearance->IsRightToLeft();
    m_bRightToLeftReading = g_pAppearance->IsRightToLeftReading();
    // Not every system's static control reads right to left when told
    // (WS_EX_RTLREADING): a dialog in such a language draws its texts itself.
    if (m_bRightToLeftReading)
        m_options.m_bSkinStaticText = true;
}

void CHDialogBase::PaintBackground(HDC hDC, const RECT& rc)
{
    g_pAppearance->DrawBackground(hDC, rc);
}

RECT CHDialogBase::GetBackgroundRect(HWND hWnd)
{
    RECT rc{};
    ::GetClientRect(hWnd, &rc);
    return rc;
}

void CHDialogBase::CC_DrawCaptionBKGround(const CHCaptionDrawContext& context)
{
    g_pAppearance->CC_DrawCaptionBKGround(context);
}

void CHDialogBase::DrawCaptionButton(const CHCaptionDrawContext& context, int nButton, int nState)
{
    g_pAppearance->DrawCaptionButton(context, nButton, nState);
}

void CHDialogBase::CC_DrawText(const CHCaptionDrawContext& context, HWND, const std::wstring& strText)
{
    // In the dialog's own caption font and colour; right-aligned and read
    // right to left for a right-to-left language.
    CHCaptionSkin::DrawCaptionText(context, strText, m_hCaptionFont, m_crCaptionText, m_bRightToLeftReading);
}

void CHDialogBase::CC_DrawEdge(const CHCaptionDrawContext& context, int nEdge)
{
    g_pAppearance->CC_DrawEdge(context, nEdge);
}

std::wstring CHDialogBase::GetButtonTooltip(int nButton)
{
    return g_pAppearance->GetButtonTooltip(nButton);
}

void CHDialogBase::OnCaptionButtonClick(HWND hWnd, int nButton, int x, int y)
{
    g_pAppearance->OnCaptionButtonClick(hWnd, nButton, x, y);
}

void CHDialogBase::ButtonPressed(int nButton, int nData)
{
    if (m_pButtonReceiver != nullptr)
        m_pButtonReceiver->ButtonPressed(nButton, nData);
}

BOOL CHDialogBase::ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    if (m_bShadowActive)
        m_shadow.OnDialogMessage(uMsg, wParam, lParam);
    // The dialog's own handlers first, then the parts it passes its messages through.
    return CHDialogImpl::ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lResult) ||
           ReflectOwnerDrawMessage(m_hWnd, uMsg, wParam, lParam, lResult) ||
           m_caption.OnMessage(uMsg, wParam, lParam, lResult) ||
           (m_bBackgroundActive && m_background.OnMessage(uMsg, wParam, lParam, lResult)) ||
           m_cursors.OnMessage(uMsg, wParam, lParam, lResult);
}

CHMessageAnswer CHDialogBase::AnswerMessage(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_PAINT:
        OnPaint();
        return 0;
    case WM_SIZE:
        OnSize(wParam, lParam);
        return 0;
    case WM_COMMAND:
        return OnCommand(wParam, lParam);
    case WM_GETOBJECT:
        return AnswerGetObject(wParam, lParam);
    case WM_SETTINGCHANGE:
        HTRY {
            OnSettingChange();
        } HCATCH_LOG
        return std::nullopt;
    default:
        return IsColorMessage(uMsg) ? DelegateColorToParentIfNotPopup(uMsg, wParam, lParam) : std::nullopt;
    }
}

void CHDialogBase::InitDialogLook()
{
    HWND hWnd = m_hWnd;
    // 1. Caption parameters, background, caption font and colour.
    g_pAppearance->RefreshHighContrast();
    m_captionParams.m_hWnd = hWnd;
    g_pAppearance->SetDefault(m_captionParams);
    m_background.Attach(hWnd, this);
    const CHFormSkinData& form = g_pAppearance->GetFormRecord(this);
    const CHFormSkinData& general = g_pAppearance->GetGeneralForm();
    m_hCaptionFont = form.m_hCaptionFont != nullptr ? form.m_hCaptionFont : general.m_hCaptionFont;
    TakeColors();
    // 2. No class brush (the background paints), and the template's list and combo strings.
    ::SetClassLongPtrW(hWnd, GCLP_HBRBACKGROUND, 0);
    ApplyDialogInitData();
    // 3. Fonts.
    ApplyFonts();
    // 4. Own background and popup.
    m_bOwnBackground = form.m_bHasBackground;
    m_bPopup = (::GetWindowLongPtrW(hWnd, GWL_STYLE) & WS_CHILD) == 0;
    // 5. Background, caption and shadow.
    m_bBackgroundActive = m_bPopup || m_bOwnBackground;
    if (m_bPopup) {
        if (m_options.m_bCustomCaption && (::GetWindowLongPtrW(hWnd, GWL_STYLE) & WS_CAPTION) == WS_CAPTION)
            AttachCaption();
        if (m_options.m_bWindowShadow) {
            m_shadow.Initialize(hWnd);
            m_bShadowActive = true;
        }
    }
    // 6. The skinned controls.
    SkinChildControls(hWnd, m_controls, m_options, this, *g_pAppearance);
    if (m_bRightToLeftReading)
        ApplyRightToLeft();
    // 7. Done.
    m_bInitialized = true;
    g_pAppearance->OnDialogInitialized(hWnd);
}

void CHDialogBase::TakeColors()
{
    g_pAppearance->FillBackgroundClient(m_background, this);
    const CHFormSkinData& form = g_pAppearance->GetFormRecord(this);
    const CHFormSkinData& general = g_pAppearance->GetGeneralForm();
    m_crCaptionText = g_pAppearance->UsesSystemColors()
                          ? ::GetSysColor(COLOR_HIGHLIGHTTEXT)
                          : form.m_crCaptionText.value_or(general.m_crCaptionText.value_or(kDefaultCaptionText));
}

void CHDialogBase::OnSettingChange()
{
    // Only a change of high contrast changes the look; the whole dialog is repainted in it.
    if (!m_bInitialized || !g_pAppearance->RefreshHighContrast())
        return;
    TakeColors();
    ColorSkinnedControls(m_controls, this, *g_pAppearance);
    ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

void CHDialogBase::AttachCaption()
{
    RECT rcClientBefore{};
    ::GetClientRect(m_hWnd, &rcClientBefore);
    m_caption.Attach(m_hWnd, this, m_captionParams);
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    // The window grows by what its client area lost to the caption and the
    // frame, half above and half below (left and right), keeping the client area.
    RECT rcClient{}, rc{};
    ::GetClientRect(m_hWnd, &rcClient);
    ::GetWindowRect(m_hWnd, &rc);
    const int nWider = rcClientBefore.right - rcClient.right, nHigher = rcClientBefore.bottom - rcClient.bottom;
    if (nWider != 0 || nHigher != 0)
        ::SetWindowPos(m_hWnd, nullptr, rc.left - nWider / 2, rc.top - nHigher / 2, rc.right - rc.left + nWider,
                       rc.bottom - rc.top + nHigher, SWP_NOZORDER | SWP_NOACTIVATE);
}

void CHDialogBase::ApplyFonts()
{
    if (g_pAppearance->IsSkinLoaded()) {
        g_pAppearance->GetConfig().ApplyControlFonts(m_hWnd, *this);
        return;
    }
    for (HWND hChild = ::GetWindow(m_hWnd, GW_CHILD); hChild; hChild = ::GetWindow(hChild, GW_HWNDNEXT))
        ::SendMessageW(hChild, WM_SETFONT, reinterpret_cast<WPARAM>(g_pAppearance->GetControlFont()), FALSE);
}

void CHDialogBase::ApplyDialogInitData()
{
    // Entries: control ID, message, length of the data, the data (an ANSI
    // string); a control ID of 0 ends the list.
    HINSTANCE hInstance = GetResourceInstance();
    HRSRC hResource = ::FindResourceW(hInstance, MAKEINTRESOURCEW(GetTemplateId()), kDialogInitType);
    if (hResource == nullptr)
        return;
    const auto* pData = static_cast<const BYTE*>(::LockResource(::LoadResource(hInstance, hResource)));
    const DWORD nSize = ::SizeofResource(hInstance, hResource);
    for (DWORD nOffset = 0; pData != nullptr && nOffset + 8 <= nSize;) {
        WORD nId = 0, nMessage = 0;
        DWORD nLength = 0;
        std::memcpy(&nId, pData + nOffset, 2);
        std::memcpy(&nMessage, pData + nOffset + 2, 2);
        std::memcpy(&nLength, pData + nOffset + 4, 4);
        nOffset += 8;
        if (nId == 0 || nLength > nSize - nOffset)
            break;
        const std::vector<char> text(pData + nOffset, pData + nOffset + nLength);
        nOffset += nLength;
        if (text.empty() || text.back() != '\0')
            continue;  // not a string: nothing this dialog knows how to apply
        const UINT nAddString = nMessage == kInitListAddString    ? LB_ADDSTRING
                                : nMessage == kInitComboAddString ? CB_ADDSTRING
                                                                  : 0;
        if (nAddString != 0)
            ::SendDlgItemMessageA(m_hWnd, nId, nAddString, 0, reinterpret_cast<LPARAM>(text.data()));
    }
}

void CHDialogBase::ApplyRightToLeft()
{
    for (const auto& text : m_controls.m_staticTexts) {
        const LONG_PTR nStyle = ::GetWindowLongPtrW(*text, GWL_STYLE);
        if ((nStyle & SS_TYPEMASK) == SS_LEFT)
            ::SetWindowLongPtrW(*text, GWL_STYLE, (nStyle & ~static_cast<LONG_PTR>(SS_TYPEMASK)) | SS_RIGHT);
        text->SetExtraFormat(text->GetExtraFormat() | DT_RTLREADING);
    }
}

CHImage CHDialogBase::RenderWindow()
{
    HTRY {
        ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        RECT rcWindow{}, rcClient{};
        ::GetWindowRect(m_hWnd, &rcWindow);
        ::GetClientRect(m_hWnd, &rcClient);
        POINT ptClient{0, 0};
        ::ClientToScreen(m_hWnd, &ptClient);
        CHImage image;
        image.Create(rcWindow.right - rcWindow.left, rcWindow.bottom - rcWindow.top, 32, CHImage::createAlphaChannel);
        {
            CHImageDC imageDC(image);
            ::PatBlt(imageDC.Get(), 0, 0, image.GetWidth(), image.GetHeight(), BLACKNESS);
            if (m_caption.IsAttached())
                m_caption.Paint(imageDC.Get());
            CHWindowDC client({m_hWnd, ::GetDC(m_hWnd)});
            ::BitBlt(imageDC.Get(), ptClient.x - rcWindow.left, ptClient.y - rcWindow.top, rcClient.right,
                     rcClient.bottom, client.Get().hDC, 0, 0, SRCCOPY);
        }
        MakeOpaque(image);
        return image;
    } HCATCH
}

void CHDialogBase::PaintDialog()
{
    RECT rcUpdate{};
    if (!::GetUpdateRect(m_hWnd, &rcUpdate, FALSE))
        return;
    CHPaintDC paint(m_hWnd);
    ::MapWindowPoints(m_hWnd, nullptr, reinterpret_cast<POINT*>(&rcUpdate), 2);
    RedrawChildrenInRect(m_hWnd, rcUpdate);
}

void CHDialogBase::SizeDialog(WPARAM nSizeType, LPARAM lParam)
{
    g_pAppearance->ApplyWindowRegion(m_hWnd, static_cast<UINT>(nSizeType));
    // A stretched background follows the size too.
    LRESULT lIgnored = 0;
    if (m_bBackgroundActive)
        m_background.OnMessage(WM_SIZE, nSizeType, lParam, lIgnored);
}

CHMessageAnswer CHDialogBase::CommandDialog(WPARAM wParam, LPARAM lParam)
{
    if (m_bInitialized && !m_bPopup)
        return ::SendMessageW(::GetParent(m_hWnd), WM_COMMAND, wParam, lParam);
    const int nId = LOWORD(wParam);
    if (nId >= IDOK && nId <= IDCLOSE && CloseDialog(nId))
        return 0;
    return std::nullopt;
}

BOOL CHDialogBase::CloseDialog(int nCommandId)
{
    // Enter in a dialog without an OK button is no request to close it.
    if (nCommandId == IDOK && ::GetDlgItem(m_hWnd, IDOK) == nullptr)
        return FALSE;
    OnClosing(true);
    EndDialog(nCommandId);
    return TRUE;
}

CHMessageAnswer CHDialogBase::AnswerGetObject(WPARAM wParam, LPARAM lParam) noexcept
{
    HTRY {
        // A screen reader asks for either when the dialog opens: the window
        // object (Narrator) or the client object, which carries the dialog role.
        const LONG nObjectId = CHAccessibleProxy::ObjectIdOf(lParam);
        if (m_nDescriptionId == 0 || (nObjectId != OBJID_CLIENT && nObjectId != OBJID_WINDOW))
            return std::nullopt;
        CHAccessibleProxy::COverrides overrides;
        // Read when asked: a message the dialog changes later is read as it is then.
        overrides.description = [hWnd = m_hWnd, nId = m_nDescriptionId] {
            return GetWindowTextOf(::GetDlgItem(hWnd, nId));
        };
        const LRESULT lResult = CHAccessibleProxy::Answer(m_hWnd, wParam, nObjectId, std::move(overrides));
        return lResult != 0 ? CHMessageAnswer(lResult) : std::nullopt;
    } HCATCH_LOG
    return std::nullopt;
}

CHMessageAnswer CHDialogBase::DelegateColor(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (!m_bInitialized || m_bPopup || m_bOwnBackground)
        return std::nullopt;
    const LRESULT lResult = ::SendMessageW(::GetParent(m_hWnd), uMsg, wParam, lParam);
    LRESULT lIgnored = 0;
    m_background.OnMessage(uMsg, wParam, lParam, lIgnored);
    return lResult;
}
