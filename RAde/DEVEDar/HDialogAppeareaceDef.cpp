#include "RAde/DEVEDar/HDialogAppeareaceDef.h"

#include "RAde/DEVEDar/HWndBackGround.h"
#include "RAde/HException.h"
#include "RAde/HFileUtilities.h"
#include "RAde/HLogging.h"
#include "RAde/HStringHelper.h"

namespace {
// Built before the program's entry point; the pointer is set at compile time,
// so it is valid before any constructor runs.
CHDialogAppeareaceDef s_defaultAppearance;

constexpr COLORREF kDefaultBackground = RGB(233, 232, 236);
constexpr COLORREF kDefaultCaptionText = RGB(255, 255, 255);

// The colour of a set's key in this set alone.
std::optional<COLORREF> ColorOf(const CHCtlColorSet& set, INT_PTR nKey)
{
    std::optional<INT_PTR> value = set.Lookup(nKey);
    return value ? std::optional<COLORREF>(static_cast<COLORREF>(*value)) : std::nullopt;
}

// The first colour the lookups find, in order.
template <class... Lookups>
std::optional<COLORREF> FirstColor(Lookups&&... lookups)
{
    std::optional<COLORREF> cr;
    ((cr = cr ? cr : lookups()), ...);
    return cr;
}

// A window's size as a rectangle at (0, 0), as window regions are given.
RECT WindowSizeRect(HWND hWnd)
{
    RECT rcWindow = {};
    ::GetWindowRect(hWnd, &rcWindow);
    return {0, 0, rcWindow.right - rcWindow.left, rcWindow.bottom - rcWindow.top};
}

CHRegionHandle RoundedRegion(const RECT& rc, int nCorner)
{
    // Region rectangles exclude their right and bottom edges; a rounded one
    // is one pixel larger to cover the same pixels.
    CHRegionHandle hRegion(nCorner > 0
                               ? ::CreateRoundRectRgn(rc.left, rc.top, rc.right + 1, rc.bottom + 1, nCorner, nCorner)
                               : ::CreateRectRgn(rc.left, rc.top, rc.right, rc.bottom));
    HCHECK_WIN32(hRegion);
    return hRegion;
}

void CombineInto(HRGN hTarget, HRGN hSource, int nMode)
{
    HCHECK_WIN32(::CombineRgn(hTarget, hTarget, hSource, nMode) != ERROR);
}
}  // namespace

CHDialogAppeareaceDef* g_pAppearance = &s_defaultAppearance;

float CHDialogAppeareaceDef::ScreenDpiScale()
{
    static const float s_fScale = [] {
        CHWindowDC screen({nullptr, ::GetDC(nullptr)});
        const int nPixelsPerInch = screen.Get().hDC ? ::GetDeviceCaps(screen.Get().hDC, LOGPIXELSY) : 96;
        return static_cast<float>(nPixelsPerInch > 0 ? nPixelsPerInch : 96) / 96.0f;
    }();
    return s_fScale;
}

bool CHDialogAppeareaceDef::IsHighContrastOn() noexcept
{
    HIGHCONTRASTW highContrast{};
    highContrast.cbSize = sizeof(highContrast);
    return ::SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(highContrast), &highContrast, 0) &&
           (highContrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

bool CHDialogAppeareaceDef::RefreshHighContrast()
{
    HTRY {
        const bool bOn = IsHighContrastOn();
        if (bOn == m_bSystemColors)
            return false;
        m_bSystemColors = bOn;
        CHLogging::LogInfo(bOn ? L"High contrast is on: the skinned dialogs draw in the system's colours.\n"
                               : L"High contrast is off: the skinned dialogs draw in the skin's colours.\n");
        return true;
    } HCATCH
}

CHDialogAppeareaceDef::CHDialogAppeareaceDef()
{
    HTRY {
        // Dialogs shown before an application's appearance (the phone's copy
        // dialog) grow with the screen too.
        m_fDpiScale = ScreenDpiScale();
        // GDI only: this may run before the program restricts its DLL search.
        m_captionFont.CreatePt(m_nCaptionFontSize, m_strCaptionFontFace);
        m_controlFont.CreatePt(m_nControlFontSize, m_strControlFontFace);
        m_generalForm.m_crCaptionText = kDefaultCaptionText;
        m_generalForm.m_crBackground = kDefaultBackground;
        m_generalForm.m_bHasBackground = true;
        m_generalForm.m_nBackgroundMode = CHFormSkinData::backgroundColor;
        m_generalForm.m_hCaptionFont = m_captionFont;
        CHDialogSkinXmlConfig::CBinding binding;
        binding.pGeneralForm = &m_generalForm;
        binding.pForms = &m_forms;
        binding.pFrameImages = &m_frameImages;
        binding.pFrameImagesLoaded = &m_bFrameImagesLoaded;
        binding.pCaptionButtons = &m_captionButtons;
        binding.pLanguage = &m_strLanguage;
        binding.pDpiScale = &m_fDpiScale;
        m_config.Bind(binding);
    } HCATCH_LOG
}

CHDialogAppeareaceDef::~CHDialogAppeareaceDef()
{
    // A dialog that outlives its appearance falls back to the default one.
    if (g_pAppearance == this)
        g_pAppearance = &s_defaultAppearance;
}

void CHDialogAppeareaceDef::DrawBackground(HDC /*hDC*/, const RECT& /*rc*/) {}

void CHDialogAppeareaceDef::OnAppearanceHook(LPARAM /*lParam*/) {}

void CHDialogAppeareaceDef::FillBackgroundClient(CHWndBackGround& background, const CNameMap* pNameMap)
{
    HTRY {
        if (m_bSystemColors) {
            background.SetDefaultTextColor(::GetSysColor(COLOR_WINDOWTEXT));
            background.SetSolidColor(::GetSysColor(COLOR_WINDOW));
            background.SetClassBrushes(nullptr);
            background.SetClassTextColors(nullptr);
            background.SetControlTextColors(nullptr);
            return;
        }
        CHFormSkinData& form = GetFormRecord(pNameMap);
        if (std::optional<COLORREF> crText = form.m_crText ? form.m_crText : m_generalForm.m_crText)
            background.SetDefaultTextColor(*crText);
        const CHFormSkinData* pSource = form.m_bHasBackground            ? &form
                                        : m_generalForm.m_bHasBackground ? &m_generalForm
                                                                         : nullptr;
        if (pSource) {
            switch (pSource->m_nBackgroundMode) {
            case CHFormSkinData::backgroundStretchedImage:
                background.SetStretchedImage(pSource->m_imgBackground);
                break;
            case CHFormSkinData::backgroundImage:
                if (!pSource->m_imgBackground.IsNull()) {
                    background.SetTiledImage(pSource->m_imgBackground);
                    break;
                }
                [[fallthrough]];
            default:
                background.SetSolidColor(pSource->m_crBackground);
            }
        }
        background.SetClassBrushes(&form.m_classBrushes);
        background.SetClassTextColors(&form.m_classTextColors);
        background.SetControlTextColors(&form.m_controlTextColors);
    } HCATCH
}

void CHDialogAppeareaceDef::SetDefault(CHCaptionParams& params)
{
    HTRY {
        params.m_bFrameImagesLoaded = m_bFrameImagesLoaded;
        const bool bResizable = params.m_hWnd && (::GetWindowLongPtrW(params.m_hWnd, GWL_STYLE) & WS_THICKFRAME);
        params.m_nBorderWidth = ::GetSystemMetrics(bResizable ? SM_CXFRAME : SM_CXDLGFRAME);
        params.m_nBorderHeight = ::GetSystemMetrics(bResizable ? SM_CYFRAME : SM_CYDLGFRAME);
        if (m_bFrameImagesLoaded) {
            // The caption's image is stretched to the caption: it grows with the screen's scale.
            const CHImage& caption = m_frameImages[frameCaption];
            const int nCaptionHeight = static_cast<int>(caption.GetHeight() * m_fDpiScale);
            if (!caption.IsNull() && nCaptionHeight != ::GetSystemMetrics(SM_CYCAPTION)) {
                params.m_nCaptionHeight = nCaptionHeight;
                params.m_bUseSystemCaptionHeight = false;
            }
            if (!m_frameImages[frameEdgeLeft].IsNull())
                params.m_nBorderWidth = m_frameImages[frameEdgeLeft].GetWidth();
            if (!m_frameImages[frameEdgeBottom].IsNull())
                params.m_nBorderHeight = m_frameImages[frameEdgeBottom].GetHeight();
        }
        params.m_nIconTextGap = Scaled(m_nIconTextGap);
        params.m_nTextMarginNoIcon = Scaled(m_nTextMarginNoIcon);
    } HCATCH
}

void CHDialogAppeareaceDef::SetLanguage(const std::wstring& strLanguage)
{
    HTRY {
        m_strLanguage = strLanguage;
        const bool bRightToLeft =
            CHStringHelper::EqualsNoCase(strLanguage, L"ar") || CHStringHelper::EqualsNoCase(strLanguage, L"iw");
        m_bRightToLeft = bRightToLeft;
        m_bRightToLeftReading = bRightToLeft;
    } HCATCH
}

bool CHDialogAppeareaceDef::HasClassProcedure(HWND hWnd, ESystemClass nClass)
{
    HTRY {
        if (!m_bClassProceduresKnown) {
            static constexpr const wchar_t* kClasses[classCount] = {L"BUTTON", L"Static", L"ComboBox", L"LISTBOX",
                                                                    L"SysListView32"};
            for (int i = 0; i < classCount; ++i) {
                WNDCLASSEXW wc = {};
                wc.cbSize = sizeof(wc);
                // A class that is not registered (no common controls yet) matches no window.
                if (::GetClassInfoExW(nullptr, kClasses[i], &wc))
                    m_classProcedures[static_cast<size_t>(i)] = wc.lpfnWndProc;
            }
            m_bClassProceduresKnown = true;
        }
        const WNDPROC pProcedure = m_classProcedures[nClass];
        return hWnd && pProcedure && reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(hWnd, GWLP_WNDPROC)) == pProcedure;
    } HCATCH
}

DWORD CHDialogAppeareaceDef::LowStyleBits(HWND hWnd, DWORD dwMask) noexcept
{
    return static_cast<DWORD>(::GetWindowLongPtrW(hWnd, GWL_STYLE)) & dwMask;
}

bool CHDialogAppeareaceDef::IsPushButton(HWND hWnd)
{
    HTRY {
        return HasClassProcedure(hWnd, classButton) && LowStyleBits(hWnd, 0x0F) <= BS_DEFPUSHBUTTON;
    } HCATCH
}

bool CHDialogAppeareaceDef::IsCheckOrRadio(HWND hWnd)
{
    HTRY {
        const DWORD dwType = LowStyleBits(hWnd, 0x0F);
        return HasClassProcedure(hWnd, classButton) &&
               ((dwType >= BS_CHECKBOX && dwType <= BS_AUTO3STATE) || dwType == BS_AUTORADIOBUTTON);
    } HCATCH
}

void CHDialogAppeareaceDef::GetButtonColors(HWND hWndButton, bool bCheckOrRadio, CHButtonColors& colors,
                                            const CNameMap* pNameMap)
{
    HTRY {
        if (m_bSystemColors) {
            // A push button's caption on the button face, a check box's on the window.
            colors.m_crText.fill(::GetSysColor(bCheckOrRadio ? COLOR_WINDOWTEXT : COLOR_BTNTEXT));
            colors.m_crText[stateDisabled] = ::GetSysColor(COLOR_GRAYTEXT);
            return;
        }
        const CHFormSkinData& form = GetFormRecord(pNameMap);
        const INT_PTR nId = ::GetDlgCtrlID(hWndButton);
        const INT_PTR nClassKey = bCheckOrRadio ? WM_CTLCOLORSTATIC : WM_CTLCOLORBTN;
        const std::optional<COLORREF> crText =
            FirstColor([&] { return ColorOf(form.m_controlTextColors, nId); },
                       [&] { return ColorOf(form.m_classTextColors, nClassKey); },
                       [&] { return ColorOf(m_generalForm.m_controlTextColors, nId); },
                       [&] { return ColorOf(m_generalForm.m_classTextColors, nClassKey); },
                       [&] { return m_generalForm.m_crText; });
        if (crText)
            colors.m_crText.fill(*crText);
        for (int nState = statePressed; nState < stateCount; ++nState) {
            const INT_PTR nControlKey = nId * 65536 + nState;
            if (std::optional<COLORREF> crState =
                    FirstColor([&] { return ColorOf(form.m_controlStateColors, nControlKey); },
                               [&] { return ColorOf(form.m_classStateColors, nState); },
                               [&] { return ColorOf(m_generalForm.m_controlStateColors, nControlKey); },
                               [&] { return ColorOf(m_generalForm.m_classStateColors, nState); }))
                colors.m_crText[static_cast<size_t>(nState)] = *crState;
        }
    } HCATCH
}

bool CHDialogAppeareaceDef::IsGroupBox(HWND hWnd)
{
    HTRY {
        return HasClassProcedure(hWnd, classButton) && LowStyleBits(hWnd, 0x0F) == BS_GROUPBOX;
    } HCATCH
}

void CHDialogAppeareaceDef::GetGroupBoxColors(CHGroupBoxColors& colors)
{
    colors = m_groupBoxColors;
    if (m_bSystemColors)
        colors.m_crDark = colors.m_crLight = ::GetSysColor(COLOR_WINDOWTEXT);
}

bool CHDialogAppeareaceDef::IsStaticText(HWND hWnd)
{
    HTRY {
        const DWORD dwType = LowStyleBits(hWnd, SS_TYPEMASK);
        return HasClassProcedure(hWnd, classStatic) && (dwType < SS_ICON || dwType == SS_SIMPLE);
    } HCATCH
}

void CHDialogAppeareaceDef::GetStaticTextColors(HWND /*hWnd*/) {}

bool CHDialogAppeareaceDef::IsSkinnableCombo(HWND hWnd)
{
    HTRY {
        return HasClassProcedure(hWnd, classComboBox) &&
               LowStyleBits(hWnd, CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE) != 0 &&
               LowStyleBits(hWnd, CBS_HASSTRINGS) != 0;
    } HCATCH
}

void CHDialogAppeareaceDef::GetComboColors(HWND hWndCombo, CHSelectionColors& colors, const CNameMap* pNameMap)
{
    HTRY {
        GetSelectionColors(hWndCombo, colors, pNameMap, &CHFormSkinData::m_crComboSelection,
                           &CHFormSkinData::m_crComboSelectedText);
    } HCATCH
}

bool CHDialogAppeareaceDef::IsListBox(HWND hWnd)
{
    HTRY {
        return HasClassProcedure(hWnd, classListBox);
    } HCATCH
}

void CHDialogAppeareaceDef::GetListColors(HWND hWndList, CHSelectionColors& colors, const CNameMap* pNameMap)
{
    HTRY {
        GetSelectionColors(hWndList, colors, pNameMap, &CHFormSkinData::m_crListSelection,
                           &CHFormSkinData::m_crListSelectedText);
    } HCATCH
}

void CHDialogAppeareaceDef::GetSelectionColors(HWND hWndControl, CHSelectionColors& colors, const CNameMap* pNameMap,
                                               CClassColor pSelection, CClassColor pSelectedText)
{
    if (m_bSystemColors) {
        colors.m_crSelection = ::GetSysColor(COLOR_HIGHLIGHT);
        colors.m_crSelectedText = ::GetSysColor(COLOR_HIGHLIGHTTEXT);
        return;
    }
    const CHFormSkinData& form = GetFormRecord(pNameMap);
    const INT_PTR nId = ::GetDlgCtrlID(hWndControl);
    // The control's colour, else its class's, in the form, then in the general form.
    auto find = [&](const CHCtlColorrefSet CHFormSkinData::*pControlColors, CClassColor pClassColor) {
        return FirstColor([&] { return ColorOf(form.*pControlColors, nId); }, [&] { return form.*pClassColor; },
                          [&] { return ColorOf(m_generalForm.*pControlColors, nId); },
                          [&] { return m_generalForm.*pClassColor; });
    };
    if (std::optional<COLORREF> cr = find(&CHFormSkinData::m_controlSelectionColors, pSelection))
        colors.m_crSelection = *cr;
    if (std::optional<COLORREF> cr = find(&CHFormSkinData::m_controlSelectedTextColors, pSelectedText))
        colors.m_crSelectedText = *cr;
}

void CHDialogAppeareaceDef::OnListView(HWND /*hWnd*/) {}

bool CHDialogAppeareaceDef::IsListView(HWND hWnd)
{
    HTRY {
        return HasClassProcedure(hWnd, classListView);
    } HCATCH
}

void CHDialogAppeareaceDef::ApplyWindowRegion(HWND hWnd, UINT nSizeType)
{
    HTRY {
        if ((nSizeType != SIZE_RESTORED && nSizeType != SIZE_MAXIMIZED) || !m_options.m_bRoundedRegion || !hWnd ||
            (::GetWindowLongPtrW(hWnd, GWL_STYLE) & WS_CHILD))
            return;
        // The upper half is cut from a rectangle rounded with the top corner
        // size, the lower half from one rounded with the bottom size: each
        // spans the whole window, so the halves meet without a notch or a gap.
        const RECT rc = WindowSizeRect(hWnd);
        const int nMiddle = rc.bottom / 2;
        CHRegionHandle hUpper = RoundedRegion(rc, m_options.m_nTopCornerSize);
        CHRegionHandle hLower = RoundedRegion(rc, m_options.m_nBottomCornerSize);
        CHRegionHandle hUpperHalf = RoundedRegion({0, 0, rc.right, nMiddle}, 0);
        CHRegionHandle hLowerHalf = RoundedRegion({0, nMiddle, rc.right, rc.bottom}, 0);
        CombineInto(hUpper.Get(), hUpperHalf.Get(), RGN_AND);
        CombineInto(hLower.Get(), hLowerHalf.Get(), RGN_AND);
        CombineInto(hUpper.Get(), hLower.Get(), RGN_OR);
        HCHECK_WIN32(::SetWindowRgn(hWnd, hUpper.Get(), TRUE));
        hUpper.Detach();  // the window owns its region now
    } HCATCH
}

void CHDialogAppeareaceDef::OnDialogInitialized(HWND /*hWnd*/) {}

std::optional<std::wstring> CHDialogAppeareaceDef::GetControlText(HWND hWndControl, const CNameMap& nameMap)
{
    HTRY {
        return m_bSkinLoaded ? m_config.GetControlText(hWndControl, nameMap) : std::nullopt;
    } HCATCH
}

std::optional<std::wstring> CHDialogAppeareaceDef::GetFormText(const CNameMap& nameMap)
{
    HTRY {
        return m_bSkinLoaded ? m_config.GetFormText(nameMap) : std::nullopt;
    } HCATCH
}

CHFormSkinData& CHDialogAppeareaceDef::GetFormRecord(const CNameMap* pNameMap)
{
    HTRY {
        std::optional<std::wstring> formId = pNameMap ? pNameMap->GetFormId() : std::nullopt;
        if (!formId)
            return m_generalForm;
        for (const auto& record : m_forms)
            if (record->m_strFormId == *formId)
                return *record;
        CHFormSkinData* pLoaded = m_config.LoadForm(pNameMap);
        return pLoaded ? *pLoaded : m_generalForm;
    } HCATCH
}

void CHDialogAppeareaceDef::ReadSkinFile(const std::wstring& strFolder)
{
    HTRY {
        // Nothing may point into the tree while it is read again.
        m_bSkinLoaded = false;
        m_config.SetStringsRoot(nullptr);
        m_config.SetOptionsRoot(nullptr);
        m_config.Attach(nullptr);
        m_xml.LoadFromFile(CHFileUtilities::ConcatPathname(strFolder, L"SkinningConfig.xml"));
        m_config.SetImageDirectory(strFolder);
        m_config.SetStringsRoot(m_xml.Find(L"strings"));
        m_config.SetOptionsRoot(m_xml.Find(L"application-config"));
    } HCATCH
}

void CHDialogAppeareaceDef::AttachSkin()
{
    HTRY {
        m_config.Attach(&m_xml);
        m_bSkinLoaded = true;
    } HCATCH
}
