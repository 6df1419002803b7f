// The skin configuration: small purpose-built skins read into an appearance,
// and the sample skin as the launcher reads it.
#include <gtest/gtest.h>

#include <functional>

#include "RAde/DEVEDar/HDialogAppeareaceDef.h"
#include "SkinTestSupport.h"
#include "WindowTestSupport.h"

namespace {
// Height, weight, italic flag and face of a font handle.
std::wstring FontText(HFONT hFont)
{
    LOGFONTW font = {};
    if (!hFont || !::GetObjectW(hFont, sizeof(font), &font))
        return L"none";
    return std::to_wstring(font.lfHeight) + L" " + std::to_wstring(font.lfWeight) +
           (font.lfItalic ? L" italic " : L" ") + font.lfFaceName;
}

std::wstring TextOrNone(const std::optional<std::wstring>& text)
{
    return text ? *text : L"none";
}

using CQuery = std::function<std::wstring(CHDialogAppeareaceDef&)>;

CQuery Color(const wchar_t* pszId)
{
    return [=](CHDialogAppeareaceDef& appearance) {
        BYTE nOpacity = 0;
        std::optional<COLORREF> cr = appearance.GetConfig().FindColor(pszId, &nOpacity);
        return ColorText(cr) + (cr ? L" @" + std::to_wstring(nOpacity) : L"");
    };
}

CQuery Font(const wchar_t* pszId)
{
    return [=](CHDialogAppeareaceDef& appearance) { return FontText(appearance.GetConfig().FindFont(pszId)); };
}

CQuery String(const wchar_t* pszId)
{
    return [=](CHDialogAppeareaceDef& appearance) { return TextOrNone(appearance.GetConfig().GetString(pszId)); };
}

struct CValueCase
{
    const char* pszName;
    std::wstring strBody;
    std::wstring strLanguage;
    float fDpiScale;
    CQuery query;
    std::wstring strExpected;
};

const std::wstring kFontF1 = L"<fonts><font id=\"f1\" face=\"Face A\" size=\"10\"/></fonts>";

const CValueCase kValueCases[] = {
    {"colour with opacity", L"<colors><color id=\"c\" value=\"#ff8000\" opacity=\"128\"/></colors>", L"", 1.0f,
     Color(L"c"), L"255,128,0 @128"},
    {"opacity defaults to 255", L"<colors><color id=\"c\" value=\"#0a0b0c\"/></colors>", L"", 1.0f, Color(L"c"),
     L"10,11,12 @255"},
    {"a value without the number sign is skipped", L"<colors><color id=\"c\" value=\"ff8000\"/></colors>", L"", 1.0f,
     Color(L"c"), L"none"},
    {"a value of fewer than three pairs is skipped", L"<colors><color id=\"c\" value=\"#fff\"/></colors>", L"", 1.0f,
     Color(L"c"), L"none"},
    {"the first of two equal ids counts",
     L"<colors><color id=\"c\" value=\"#010101\"/><color id=\"c\" value=\"#020202\"/></colors>", L"", 1.0f, Color(L"c"),
     L"1,1,1 @255"},
    {"9.5 pt at 120 dpi is made at 12 pt", L"<fonts><font id=\"f\" face=\"Tahoma\" size=\"9.5\"/></fonts>", L"", 1.25f,
     Font(L"f"), L"-16 400 Tahoma"},
    {"9.5 pt at 96 dpi is made at 10 pt", L"<fonts><font id=\"f\" face=\"Tahoma\" size=\"9.5\"/></fonts>", L"", 1.0f,
     Font(L"f"), L"-13 400 Tahoma"},
    {"an adjustment of the current language",
     kFontF1 + L"<fontadjustments><fontadjustment lang=\"fre-ca\" id=\"f1\" offset=\"-1\" face=\"Face B\"/>"
               L"</fontadjustments>",
     L"fre-ca", 1.0f, Font(L"f1"), L"-12 400 Face B"},
    {"an adjustment of another language is ignored",
     kFontF1 + L"<fontadjustments><fontadjustment lang=\"fre-ca\" id=\"f1\" offset=\"-1\"/></fontadjustments>", L"de",
     1.0f, Font(L"f1"), L"-13 400 Face A"},
    {"only \"true\" switches a style on",
     L"<fonts><font id=\"f\" face=\"Tahoma\" size=\"9\" bold=\"true\" italic=\"True\"/></fonts>", L"", 1.0f, Font(L"f"),
     L"-12 700 Tahoma"},
    {"an unreadable size gives 0", L"<fonts><font id=\"f\" face=\"Tahoma\" size=\"big\"/></fonts>", L"", 1.0f,
     Font(L"f"), L"0 400 Tahoma"},
    {"a size beyond any screen gives the default size",
     L"<fonts><font id=\"f\" face=\"Tahoma\" size=\"1e30\"/></fonts>", L"", 1.0f, Font(L"f"), L"0 400 Tahoma"},
    {"with a language, a string without one is not found", L"<strings><string id=\"a\" text=\"plain\"/></strings>",
     L"en", 1.0f, String(L"a"), L"none"},
    {"languages compare ignoring case",
     L"<strings><string id=\"a\" text=\"plain\"/><string id=\"a\" lang=\"en-uk\" text=\"English\"/></strings>",
     L"EN-UK", 1.0f, String(L"a"), L"English"},
    {"without a language, the first string of the id",
     L"<strings><string id=\"a\" lang=\"de\" text=\"Deutsch\"/><string id=\"a\" text=\"plain\"/></strings>", L"", 1.0f,
     String(L"a"), L"Deutsch"},
    {"a language holding path syntax matches nothing",
     L"<strings><string id=\"a\" text=\"plain\"/><string id=\"a\" lang=\"x/y\" text=\"odd\"/></strings>", L"x/y", 1.0f,
     String(L"a"), L"none"},
    {"an id holding path syntax matches nothing", L"<strings><string id=\"a\" text=\"first\"/></strings>", L"", 1.0f,
     String(L"a\"][id=\"b"), L"none"},
    {"options", L"<application-config><option id=\"o\" value=\"v\"/></application-config>", L"", 1.0f,
     [](CHDialogAppeareaceDef& a) { return TextOrNone(a.GetConfig().GetOption(L"o")); }, L"v"},
    {"a form's caption text is a string id",
     L"<forms><form id=\"f2\" text=\"t\"/></forms><strings><string id=\"t\" text=\"Title\"/></strings>", L"", 1.0f,
     [](CHDialogAppeareaceDef& a) {
         a.SetSkinLoaded(true);
         return TextOrNone(a.GetFormText(CTestNameMap(L"f2")));
     },
     L"Title"},
};

void PrintTo(const CValueCase& test, std::ostream* pStream)
{
    *pStream << test.pszName;
}

class CSkinValueTest : public testing::TestWithParam<CValueCase>
{};

TEST_P(CSkinValueTest, IsReadAsTheSkinSays)
{
    const CValueCase& test = GetParam();
    CSkinFolder folder(test.strBody);
    CHDialogAppeareaceDef appearance;
    LoadSkin(appearance, folder.Path(), test.strLanguage, test.fDpiScale);
    EXPECT_EQ(test.query(appearance), test.strExpected);
}

INSTANTIATE_TEST_SUITE_P(Snippets, CSkinValueTest, testing::ValuesIn(kValueCases),
                         [](const testing::TestParamInfo<CValueCase>& info) { return std::to_string(info.index); });

const wchar_t kFormsSkin[] =
    L"<colors><color id=\"c1\" value=\"#010101\"/><color id=\"c2\" value=\"#020202\"/>"
    L"<color id=\"c3\" value=\"#030303\"/><color id=\"c4\" value=\"#040404\"/><color id=\"c5\" value=\"#050505\"/>"
    L"<color id=\"c6\" value=\"#060606\"/><color id=\"c7\" value=\"#070707\"/></colors>"
    L"<fonts><font id=\"fc\" face=\"Caption Face\" size=\"9\"/></fonts>"
    L"<forms><form id=\"general\"><class id=\"general\" color=\"c1\"/>"
    L"<classes><class id=\"STATIC\" color=\"c2\" bkcolor=\"c3\" color-r=\"c5\"/>"
    L"<class id=\"caption\" color=\"c4\" font=\"fc\"/><class id=\"list\" selcolor=\"c6\" seltxtcolor=\"c7\"/></classes>"
    L"<controls><control id=\"ok\" color=\"c7\"/></controls><background color=\"c3\"/></form>"
    L"<form id=\"f2\"><classes><class id=\"button\" color=\"c5\"/></classes>"
    L"<controls><control id=\"ok\" color=\"c6\" color-s=\"c7\" selcolor=\"c4\"/><control id=\"caption\" color=\"c1\"/>"
    L"</controls><background type=\"Image\" imagemode=\"STRETCH\" path=\"bk.png\"/></form></forms>";

TEST(CHDialogSkinXmlConfig, FormsFillTheirRecordsAndFallBackToTheGeneralForm)
{
    CSkinFolder folder(kFormsSkin);
    folder.AddImage(L"bk.png", 4, 2, AnimationTest::Bgra(1, 2, 3, 255));
    CHDialogAppeareaceDef appearance;
    LoadSkin(appearance, folder.Path());

    CHFormSkinData& general = appearance.GetGeneralForm();
    EXPECT_EQ(ColorText(general.m_crText), L"1,1,1");
    EXPECT_EQ(ColorText(general.m_crCaptionText), L"4,4,4");
    EXPECT_EQ(FontText(general.m_hCaptionFont), L"-12 400 Caption Face");
    EXPECT_EQ(ColorText(ColorOf(general.m_classTextColors.Lookup(WM_CTLCOLORSTATIC))), L"2,2,2");
    EXPECT_EQ(ColorText(ColorOf(general.m_classStateColors.Lookup(stateHover))), L"5,5,5");
    EXPECT_NE(general.m_classBrushes.LookupBrush(WM_CTLCOLORSTATIC), nullptr);
    EXPECT_EQ(ColorText(general.m_crListSelection), L"6,6,6");
    EXPECT_EQ(ColorText(general.m_crListSelectedText), L"7,7,7");
    EXPECT_EQ(general.m_controlTextColors.GetCount(), 0u) << "controls need a dialog's name map";
    EXPECT_TRUE(general.m_bHasBackground);
    EXPECT_EQ(general.m_crBackground, RGB(3, 3, 3));

    const CTestNameMap f2Map(L"f2", {{1, L"ok"}});
    CHFormSkinData& f2 = appearance.GetFormRecord(&f2Map);
    EXPECT_EQ(&appearance.GetFormRecord(&f2Map), &f2) << "a form is loaded once";
    EXPECT_EQ(appearance.GetForms().size(), 1u);
    EXPECT_FALSE(f2.m_crText) << "the form has no general class of its own";
    EXPECT_EQ(ColorText(ColorOf(f2.m_classTextColors.LookupInChain(WM_CTLCOLORBTN))), L"5,5,5");
    EXPECT_EQ(ColorText(ColorOf(f2.m_classTextColors.LookupInChain(WM_CTLCOLORSTATIC))), L"2,2,2")
        << "the general form's class colour shows through";
    EXPECT_EQ(ColorText(ColorOf(f2.m_controlTextColors.Lookup(1))), L"6,6,6");
    EXPECT_EQ(ColorText(ColorOf(f2.m_controlStateColors.Lookup(65536 + statePressed))), L"7,7,7");
    EXPECT_EQ(ColorText(ColorOf(f2.m_controlSelectionColors.Lookup(1))), L"4,4,4");
    EXPECT_FALSE(f2.m_crCaptionText) << "a control named caption is no caption class";
    EXPECT_EQ(f2.m_nBackgroundMode, CHFormSkinData::backgroundStretchedImage);
    EXPECT_EQ(f2.m_imgBackground.GetWidth(), 4);

    EXPECT_EQ(&appearance.GetFormRecord(nullptr), &general);
    const CTestNameMap unknownMap(L"nowhere");
    EXPECT_EQ(&appearance.GetFormRecord(&unknownMap), &general);
}

TEST(CHDialogSkinXmlConfig, CaptionButtonsNeedTheirNormalImageAndFrameImagesSetTheFlag)
{
    CSkinFolder folder(L"<nonclient type=\"IMAGES\" dir=\"nc\"/>");
    for (const wchar_t* pszState : {L"n", L"s", L"r", L"nu"})
        folder.AddImage(std::wstring(L"nc\\btn_close_") + pszState + L".png", 10, 8, 0xFF0000FF);
    for (const wchar_t* pszState : {L"s", L"r"})
        folder.AddImage(std::wstring(L"nc\\btn_minimize_") + pszState + L".png", 10, 8, 0xFF0000FF);
    folder.AddImage(L"nc\\caption.png", 16, 30, 0xFF102030);
    CHDialogAppeareaceDef appearance;
    LoadSkin(appearance, folder.Path());

    ASSERT_EQ(appearance.GetCaptionButtons().size(), 1u);
    const CHCaptionButtonImages& close = *appearance.GetCaptionButtons()[0];
    EXPECT_EQ(close.m_nButton, captionButtonClose);
    EXPECT_FALSE(close.m_images[CHCaptionButtonImages::slotNormalInactive].IsNull());
    EXPECT_TRUE(close.m_images[CHCaptionButtonImages::slotHoverInactive].IsNull());
    EXPECT_TRUE(appearance.AreFrameImagesLoaded());
    EXPECT_EQ(appearance.GetFrameImages()[frameCaption].GetHeight(), 30);
    EXPECT_TRUE(appearance.GetFrameImages()[frameEdgeLeft].IsNull());
}

TEST(CHDialogSkinXmlConfig, ImagesThatCannotBeLoadedFailTheLoadWithTheImageLayersError)
{
    CSkinFolder missing(L"<images><image id=\"i\" value=\"none.png\"/></images>");
    CHDialogAppeareaceDef appearance;
    auto contains = [](const auto& items, const auto& item) {
        return std::find(items.begin(), items.end(), item) != items.end();
    };
    CHException e = CatchThrown([&] { LoadSkin(appearance, missing.Path()); });
    EXPECT_EQ(ErrorCodesOf(e).front(), static_cast<int>(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)));
    EXPECT_TRUE(contains(ErrorFunctionsOf(e), L"CHImage::Load"));
    EXPECT_TRUE(contains(ErrorFunctionsOf(e), L"CHDialogSkinXmlConfig::LoadDynImages"));

    CSkinFolder damaged(L"<forms><form id=\"general\"><background type=\"image\" path=\"bad.png\"/></form></forms>");
    WriteFileBytes(damaged / L"bad.png", "\x89PNG not really");
    e = CatchThrown([&] { LoadSkin(appearance, damaged.Path()); });
    EXPECT_TRUE(contains(ErrorCodesOf(e), 1016));
    EXPECT_TRUE(contains(ErrorFunctionsOf(e), L"CHDialogSkinXmlConfig::LoadForm"));
}

TEST(CHDialogSkinXmlConfig, ControlsFindTheirFontsAndTextsThroughControlClassAndTheFirstClass)
{
    CSkinFolder folder(
        L"<fonts><font id=\"fa\" face=\"A\" size=\"9\"/><font id=\"fb\" face=\"B\" size=\"9\"/>"
        L"<font id=\"fc\" face=\"C\" size=\"9\"/></fonts>"
        L"<forms><form id=\"f2\"><class id=\"anything\" font=\"fc\"/>"
        L"<controls><control id=\"ok\" font=\"fa\" text=\"s-ok\"/></controls>"
        L"<classes><class id=\"text\" font=\"fb\"/></classes></form>"
        L"<form id=\"general\"><controls><control id=\"label\" text=\"s-label\"/></controls></form></forms>"
        L"<strings><string id=\"s-ok\" text=\"Fine\"/><string id=\"s-label\" text=\"Label\"/></strings>");
    CHDialogAppeareaceDef appearance;
    LoadSkin(appearance, folder.Path());
    CHWindowHandle parent(
        ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr));
    auto child = [&](const wchar_t* pszClass, DWORD dwStyle, int nId) {
        return ::CreateWindowExW(0, pszClass, L"x", WS_CHILD | dwStyle, 0, 0, 10, 10, parent.Get(),
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(nId)), nullptr, nullptr);
    };
    HWND hButton = child(L"BUTTON", BS_PUSHBUTTON, 1);
    HWND hLabel = child(L"STATIC", SS_LEFT, 2);
    HWND hCheck = child(L"BUTTON", BS_AUTOCHECKBOX, 3);
    const CTestNameMap map(L"f2", {{1, L"ok"}, {2, L"label"}});
    const CHDialogSkinXmlConfig& config = appearance.GetConfig();

    EXPECT_EQ(FontText(config.GetControlFont(hButton, map)), L"-12 400 A") << "the control's own node";
    EXPECT_EQ(FontText(config.GetControlFont(hLabel, map)), L"-12 400 B") << "its class node";
    EXPECT_EQ(FontText(config.GetControlFont(hCheck, map)), L"-12 400 C") << "the first class under the form";
    EXPECT_EQ(TextOrNone(config.GetControlText(hButton, map)), L"Fine");
    EXPECT_EQ(TextOrNone(config.GetControlText(hLabel, map)), L"Label") << "the general form's control node";
    EXPECT_EQ(TextOrNone(config.GetControlText(hCheck, map)), L"none");
    EXPECT_EQ(TextOrNone(appearance.GetControlText(hButton, map)), L"Fine");

    config.ApplyControlFonts(parent.Get(), map);
    EXPECT_EQ(FontText(reinterpret_cast<HFONT>(::SendMessageW(hLabel, WM_GETFONT, 0, 0))), L"-12 400 B");
    EXPECT_EQ(FontText(reinterpret_cast<HFONT>(::SendMessageW(hCheck, WM_GETFONT, 0, 0))), L"-12 400 C");
}

TEST(CHDialogSkinXmlConfig, TheSampleSkinLoadsWholeAndItsArabicTextHasGlyphs)
{
    CHDialogAppeareaceDef appearance;
    LoadSkin(appearance, SampleSkinFolder(), L"ar");
    EXPECT_TRUE(appearance.IsRightToLeft());
    EXPECT_TRUE(appearance.AreFrameImagesLoaded());
    EXPECT_EQ(appearance.GetCaptionButtons().size(), 5u);
    EXPECT_FALSE(CHDialogSkinXmlConfig::DefaultControlImages().m_button[stateDefault].IsNull());
    EXPECT_FALSE(CHDialogSkinXmlConfig::DefaultControlImages().m_progressFull.IsNull());
    const CTestNameMap waitMap(L"wait-dialog", {{1028, L"message"}});
    EXPECT_EQ(appearance.GetFormRecord(&waitMap).m_nBackgroundMode, CHFormSkinData::backgroundStretchedImage);

    std::optional<std::wstring> message = appearance.GetConfig().GetString(L"ids-deleting-files");
    ASSERT_TRUE(message);
    EXPECT_NE(message->find(L"\\n"), std::wstring::npos) << "two lines";
    CHMemoryDC hDC(::CreateCompatibleDC(nullptr));
    ::SelectObject(hDC.Get(), appearance.GetConfig().FindFont(L"f-message"));
    std::vector<WORD> glyphs(message->size());
    ASSERT_EQ(::GetGlyphIndicesW(hDC.Get(), message->c_str(), static_cast<int>(message->size()), glyphs.data(),
                                 GGI_MARK_NONEXISTING_GLYPHS),
              message->size());
    EXPECT_EQ(std::count(glyphs.begin(), glyphs.end(), 0xFFFF), 0) << "every Arabic letter has a glyph";
}
}  // namespace
