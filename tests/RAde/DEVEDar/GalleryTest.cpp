// The gallery of skinned dialogs: each is built from a test template with the
// sample skin, drawn (its caption and frame into memory, its client area as
// the screen shows it) and compared with its reference picture in
// tests/RAde/DEVEDar/gallery, channel by channel within a small tolerance.
// Every render is kept in artefacts\gallery beside the test program;
// scripts/refresh-gallery copies them over the references, for a change of
// the look that is meant.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>

#include "DialogTestSupport.h"
#include "GallerySupport.h"
#include "HighContrastTestSupport.h"

using namespace Gallery;

namespace {
struct CGalleryCase
{
    const char* pszName;
    UINT nTemplate;
    const wchar_t* pszLanguage;
    std::function<void(CTestDialog&)> prepare;
    bool bWaitForm = false;
    // Also drawn at 144 and 192 dpi, in the prefixes of those scales.
    bool bEveryDpi = false;
};

void PrintTo(const CGalleryCase& test, std::ostream* pStream)
{
    *pStream << test.pszName;
}

// The wait dialog's form, with names for the gallery dialog's controls.
class CGalleryDialog : public CTestDialog
{
public:
    CGalleryDialog(UINT nTemplate, bool bWaitForm)
        : CTestDialog(nTemplate, bWaitForm ? std::optional<std::wstring>(L"wait-dialog") : std::nullopt)
    {
    }
    std::optional<std::wstring> GetControlName(int nId) const override
    {
        static const std::map<int, std::wstring> kNames = {
            {IDC_GALLERY_MESSAGE, L"message"}, {IDCANCEL, L"button"}, {IDC_GALLERY_ANIMATION, L"animation"}};
        auto it = kNames.find(nId);
        return GetFormId() && it != kNames.end() ? std::optional<std::wstring>(it->second) : std::nullopt;
    }
};

class CGalleryTest : public testing::TestWithParam<CGalleryCase>
{
protected:
    void SetUp() override { ::SetCursorPos(1270, 1015); }

    CDefaultImagesScope m_defaults;
    CHDialogAppeareaceDef m_appearance;
    CAppearanceScope m_scope{m_appearance};
};

void FillControls(CTestDialog& dialog)
{
    FillSkinControls(dialog);
}

const CGalleryCase kGallery[] = {
    {"plain", IDD_CAPTION_DIALOG, L"en-uk", nullptr},
    {"wait-english", IDD_GALLERY_WAIT, L"en-uk", nullptr, true, true},
    {"wait-arabic", IDD_GALLERY_WAIT, L"ar", nullptr, true, true},
    {"controls", IDD_SKIN_CONTROLS, L"en-uk", FillControls, false, true},
    {"controls-arabic", IDD_SKIN_CONTROLS, L"ar", FillControls, false, true},
    {"child", IDD_GALLERY_HOST, L"en-uk", nullptr},
    {"inactive", IDD_GALLERY_WAIT, L"en-uk",
     [](CTestDialog& dialog) { ::SendMessageW(dialog, WM_NCACTIVATE, FALSE, 0); }, true},
    // Zoomed in place (the style alone): the restore button replaces maximize.
    {"zoomed", IDD_GALLERY_WAIT, L"en-uk",
     [](CTestDialog& dialog) {
         ::SetWindowLongPtrW(dialog, GWL_STYLE, ::GetWindowLongPtrW(dialog, GWL_STYLE) | WS_MAXIMIZE);
     },
     true},
};
}  // namespace

// The sample skin as the gallery's dialogs take it: every kind of control skinned.
void LoadGallerySkin(CHDialogAppeareaceDef& appearance, const wchar_t* pszLanguage)
{
    LoadSkin(appearance, SampleSkinFolder(), pszLanguage, CHDialogAppeareaceDef::ScreenDpiScale());
    appearance.m_options.SkinEveryKind();
}

void ShowForRender(CTestDialog& dialog)
{
    ::SetWindowPos(dialog, HWND_TOPMOST, 40, 40, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

TEST_P(CGalleryTest, MatchesItsReference)
{
    const CGalleryCase& test = GetParam();
    if (ScreenDpi() != 96 && !test.bEveryDpi)
        GTEST_SKIP() << "drawn at 96 dpi only";
    LoadGallerySkin(m_appearance, test.pszLanguage);

    CGalleryDialog dialog(test.nTemplate, test.bWaitForm);
    ASSERT_NE(dialog.Create(nullptr), nullptr);
    CTestDialog child(IDD_CHILD_DIALOG);
    if (test.nTemplate == IDD_GALLERY_HOST) {
        child.Create(dialog);
        ::SetWindowPos(child, nullptr, 10, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW);
    }
    if (test.prepare)
        test.prepare(dialog);
    ShowForRender(dialog);
    ExpectMatchesReference(dialog.RenderWindow(), NameAtScreenDpi(test.pszName));
}

// High contrast turned on, then off while the dialog is up: the system's
// colours, then (told by WM_SETTINGCHANGE) the skin's again, pixel for pixel.
TEST_F(CGalleryTest, HighContrastOnThenOffRepaintsTheDialogInEachLook)
{
    if (ScreenDpi() != 96)
        GTEST_SKIP() << "drawn at 96 dpi only";
    HighContrastTest::CHighContrastScope contrast;
    LoadGallerySkin(m_appearance, L"en-uk");
    CGalleryDialog dialog(IDD_SKIN_CONTROLS, false);
    ASSERT_NE(dialog.Create(nullptr), nullptr);
    FillControls(dialog);
    ShowForRender(dialog);
    ExpectMatchesReference(dialog.RenderWindow(), "controls-contrast");
    const CHImage inContrast = dialog.RenderWindow();
    EXPECT_TRUE(ColourNear(PixelAt(inContrast, inContrast.GetWidth() - 20, inContrast.GetHeight() - 20),
                           PixelOf(::GetSysColor(COLOR_WINDOW))))
        << "the window colour behind the controls";

    contrast.Off();
    ::SendMessageW(dialog, WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, 0);
    ExpectMatchesReference(dialog.RenderWindow(), "controls");
}

INSTANTIATE_TEST_SUITE_P(SkinnedDialogs, CGalleryTest, testing::ValuesIn(kGallery),
                         [](const testing::TestParamInfo<CGalleryCase>& info) {
                             std::string strName = info.param.pszName;
                             std::replace(strName.begin(), strName.end(), '-', '_');
                             return strName;
                         });
