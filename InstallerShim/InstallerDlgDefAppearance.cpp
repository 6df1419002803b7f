#include "InstallerShim/InstallerDlgDefAppearance.h"

#include <algorithm>
#include <climits>
#include <cwctype>

#include "InstallerShim/HWaitDialog.h"
#include "RAde/DEVEDar/HDpiImage.h"
#include "RAde/DEVEDar/HWndShadow.h"
#include "RAde/HException.h"
#include "RAde/HFileUtilities.h"
#include "RAde/HStringHelper.h"

CInstallerDlgDefAppearance g_installerAppearance;

namespace {
constexpr int kTopCornerSize = 5;
constexpr int kButtonRightMargin = 7;
constexpr int kIconLeftOffset = 5;
constexpr int kIconTextGap = 10;
}  // namespace

CInstallerDlgDefAppearance::CInstallerDlgDefAppearance()
{
    m_options.m_bWindowShadow = true;
    m_options.m_bCustomCaption = true;
    m_options.m_bRoundedRegion = true;
    m_options.m_nTopCornerSize = kTopCornerSize;
    m_options.m_nBottomCornerSize = 0;
    m_options.m_bSkinPushButtons = true;
    m_options.m_bButtonOption = true;
    m_options.m_bSkinComboBoxes = true;
    m_options.m_bSkinListBoxes = true;
}

void CInstallerDlgDefAppearance::Init(float fDpiScale)
{
    HTRY {
        g_pAppearance = this;
        SetDpiScale(fDpiScale);
        // "SkinningConfig.xml" of the current directory, where the skin's images lie too.
        ReadSkinFile(CHFileUtilities::GetCurrentDirectory());
    } HCATCH
}

void CInstallerDlgDefAppearance::SetUILanguage(const std::wstring& strLanguage)
{
    HTRY {
        SetLanguage(strLanguage);
        SetCaptionButtonTooltip(captionButtonClose, LoadUIString(L"ids-capt-close"));
        SetCaptionButtonTooltip(captionButtonMinimize, LoadUIString(L"ids-capt-minimise"));
        CHUIErrorHandler::SetDefaultErrorText(LoadUIString(L"ids-def-error"));
        CHUIErrorHandler::SetApplicationName(LoadUIString(L"ids-app-name"));
    } HCATCH
}

void CInstallerDlgDefAppearance::LoadConfigFromXml()
{
    HTRY {
        AttachSkin();
        auto resourcePath = [&](const wchar_t* pszName) {
            return GetConfig().GetImageDirectory() + L"\\Resources\\" + pszName + L".png";
        };
        CHDefaultControlImages& defaults = CHDialogSkinXmlConfig::DefaultControlImages();
        defaults.m_progressFull.Load(resourcePath(L"progress_full"));
        defaults.m_progressEmpty.Load(resourcePath(L"progress_empty"));
        CHImage shadow;
        CHDpiImage::Load(shadow, resourcePath(L"shadow"), GetDpiScale(), false);
        CHWndShadow::SetDefaultImage(shadow, GetDpiScale());
        PremultiplyAlpha(defaults.m_progressFull);
        PremultiplyAlpha(defaults.m_progressEmpty);
        CHWaitDialog::LoadWaitAnimFramesFromSkin();
    } HCATCH
}

std::wstring CInstallerDlgDefAppearance::LoadUIString(const std::wstring& strId) const
{
    std::wstring strText = GetConfig().GetString(strId).value_or(std::wstring());
    for (size_t nAt = strText.find(L"\\n"); nAt != std::wstring::npos; nAt = strText.find(L"\\n", nAt + 1))
        strText.replace(nAt, 2, L"\n");
    return strText;
}

std::wstring CInstallerDlgDefAppearance::GetConfigOption(const std::wstring& strId,
                                                         const std::wstring& strDefault) const
{
    HTRY {
        std::optional<std::wstring> value = GetConfig().GetOption(strId);
        return value && !value->empty() ? *value : strDefault;
    } HCATCH
}

int CInstallerDlgDefAppearance::GetConfigOption(const std::wstring& strId) const
{
    HTRY {
        const std::wstring strValue = GetConfigOption(strId, L"");
        // Leading white space and a sign; reading stops at the first non-digit.
        size_t nAt = 0;
        while (nAt < strValue.size() && std::iswspace(strValue[nAt]))
            ++nAt;
        const bool bNegative = nAt < strValue.size() && strValue[nAt] == L'-';
        if (nAt < strValue.size() && (strValue[nAt] == L'-' || strValue[nAt] == L'+'))
            ++nAt;
        long long nValue = 0;
        for (; nAt < strValue.size() && strValue[nAt] >= L'0' && strValue[nAt] <= L'9'; ++nAt)
            nValue = std::min<long long>(nValue * 10 + (strValue[nAt] - L'0'), 0x80000000LL);
        nValue = bNegative ? -nValue : nValue;
        return static_cast<int>(std::clamp<long long>(nValue, INT_MIN, INT_MAX));
    } HCATCH
}

void CInstallerDlgDefAppearance::SetDefault(CHCaptionParams& params)
{
    HTRY {
        CHDialogAppeareaceDef::SetDefault(params);
        if (CHStringHelper::EqualsNoCase(GetConfigOption(L"caption-btn-valign", L"top"), L"top"))
            params.m_nCenterButtonsVertically = 0;
        // Each button as large as its normal image, the row as high as the tallest.
        if (!GetCaptionButtons().empty()) {
            params.m_bUseImageSizes = true;
            params.m_bUseSystemButtonSize = false;
            params.m_nButtonHeight = 0;
            for (const auto& pSet : GetCaptionButtons()) {
                const CHImage& normal = pSet->m_images[CHCaptionButtonImages::slotNormal];
                if (pSet->m_nButton < 0 || pSet->m_nButton >= CHCaptionParams::kMaxImageSizes)
                    continue;
                params.m_imageSizes[static_cast<size_t>(pSet->m_nButton)] = SIZE{normal.GetWidth(), normal.GetHeight()};
                params.m_nImageSizes = std::max(params.m_nImageSizes, pSet->m_nButton + 1);
                params.m_nButtonWidth = std::max(params.m_nButtonWidth, normal.GetWidth());
                params.m_nButtonHeight = std::max(params.m_nButtonHeight, normal.GetHeight());
            }
        }
        // Gaps in pixels at 96 dpi, grown with the screen like the images between them.
        params.m_nButtonRightMargin = Scaled(kButtonRightMargin);
        params.m_nIconLeftOffset = Scaled(kIconLeftOffset);
        params.m_nButtonGap = Scaled(GetConfigOption(L"caption-btn-spacing"));
        params.m_nIconTextGap = Scaled(kIconTextGap);
        // The caption image's height at the screen's scale, when that is more than the system's.
        const int nScaled = static_cast<int>(GetFrameImages()[frameCaption].GetHeight() * GetDpiScale());
        params.m_bUseSystemCaptionHeight = nScaled <= ::GetSystemMetrics(SM_CYCAPTION);
        params.m_nCaptionHeight = params.m_bUseSystemCaptionHeight ? ::GetSystemMetrics(SM_CYCAPTION) : nScaled;
    } HCATCH
}

void CInstallerDlgDefAppearance::CC_DrawCaptionBKGround(const CHCaptionDrawContext& context)
{
    HTRY {
        ::SetStretchBltMode(context.hDC, COLORONCOLOR);
        CHDialogAppeareaceDef::CC_DrawCaptionBKGround(context);
    } HCATCH
}

void CInstallerDlgDefAppearance::CC_DrawEdge(const CHCaptionDrawContext& context, int nEdge)
{
    HTRY {
        if (UsesSystemColors())
            return CHDialogAppeareaceDef::CC_DrawEdge(context, nEdge);
        const COLORREF crEdge =
            GetConfig().FindColor(GetConfigOption(L"edge-color", L"c-black")).value_or(RGB(0, 0, 0));
        CHBrushHandle hBrush(::CreateSolidBrush(crEdge));
        ::FillRect(context.hDC, &context.rc, hBrush.Get());
    } HCATCH
}
