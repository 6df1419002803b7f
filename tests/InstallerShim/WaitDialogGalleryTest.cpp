// The launcher's wait dialog in the gallery of skinned dialogs: the real
// CHWaitDialog, prepared as the file deleter prepares it (the launcher's
// appearance, the sample skin as the current directory, the deleter's texts),
// left to right and right to left, compared with its reference pictures in
// tests/RAde/DEVEDar/gallery. scripts/refresh-gallery renders these too.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "InstallerShim/FileDeleter.h"
#include "InstallerShim/HWaitDialog.h"
#include "InstallerShim/InstallerDlgDefAppearance.h"
#include "RAde/DEVEDar/DialogTestSupport.h"
#include "RAde/DEVEDar/GallerySupport.h"
#include "RAde/DEVEDar/HighContrastTestSupport.h"

using namespace Gallery;

namespace {
struct CWaitCase
{
    const char* pszName;
    const wchar_t* pszLanguage;
    bool bHighContrast = false;  // drawn at 96 dpi only
};

void PrintTo(const CWaitCase& test, std::ostream* pStream)
{
    *pStream << test.pszName;
}

// Each case leaves the current directory and the process-wide appearance as it found them.
class CGalleryTestWaitDialog : public testing::TestWithParam<CWaitCase>
{
protected:
    CGalleryTestWaitDialog()
    {
        ::SetCursorPos(1270, 1015);
        wchar_t szOld[MAX_PATH] = {};
        ::GetCurrentDirectoryW(MAX_PATH, szOld);
        m_strOldDirectory = szOld;
    }
    ~CGalleryTestWaitDialog() override { ::SetCurrentDirectoryW(m_strOldDirectory.c_str()); }

    std::wstring m_strOldDirectory;
    CDefaultImagesScope m_defaults;
    CAppearanceScope m_scope{g_installerAppearance};
};

const CWaitCase kCases[] = {
    {"wait-dialog-english", L"en-uk"}, {"wait-dialog-arabic", L"ar"}, {"wait-dialog-english-contrast", L"en-uk", true}};
}  // namespace

TEST_P(CGalleryTestWaitDialog, MatchesItsReference)
{
    const CWaitCase& test = GetParam();
    if (test.bHighContrast && ScreenDpi() != 96)
        GTEST_SKIP() << "drawn at 96 dpi only";
    HighContrastTest::CHighContrastScope contrast(test.bHighContrast);
    // Built before the skin is read, as the launcher's deleter is.
    CHRenderedWaitDialog dialog;
    ASSERT_TRUE(::SetCurrentDirectoryW(SampleSkinFolder().c_str()));
    PrepareDeletionDialog(dialog, test.pszLanguage);
    ASSERT_EQ(dialog.Run(), 1) << "ended by its render";
    ExpectMatchesReference(dialog.m_render, NameAtScreenDpi(test.pszName));
}

INSTANTIATE_TEST_SUITE_P(Launcher, CGalleryTestWaitDialog, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<CWaitCase>& info) {
                             std::string strName = info.param.pszName;
                             std::replace(strName.begin(), strName.end(), '-', '_');
                             return strName;
                         });
