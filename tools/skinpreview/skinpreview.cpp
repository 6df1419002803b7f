// skinpreview FOLDER FORM LANGUAGE OUT.png [/dpi=N] [/rtl]
//
// Draws a form of the skin in FOLDER (FOLDER\SkinningConfig.xml and its
// images) into a PNG file, without running an install, so that a skin author
// sees what the launcher would show:
//
//   wait-dialog   the launcher's wait dialog, prepared as the launcher
//                 prepares it, with its caption and message in LANGUAGE
//   controls      a dialog holding one control of every kind the skin dresses
//                 (its texts are the template's own)
//
// /dpi=N draws it as a screen of N pixels per inch shows it (48 to 480; the
// screen's by default): the skin's images, fonts and caption at the scale
// N / 96, and the dialog's layout through its template's font. /rtl reads it
// right to left, which a right-to-left language ("ar", "iw") does anyway.
//
// Prints on standard output, in UTF-8, the picture's size and one line per
// string the form shows that has no text for LANGUAGE:
//
//   OUT.png: 438 x 251 pixels
//   FOLDER\SkinningConfig.xml(LINE,COLUMN): string "ids-..." has no text for "de-de": ...
//
// Exit code 0 when the picture was written and no string is lacking, 1 when
// strings are lacking (the picture is written all the same), 2 when it could
// not run: bad usage, an unknown form, a folder or skin file that cannot be
// read (with the system's reason), a skin the reader stops in (with the
// position), or a picture that cannot be drawn or written.
//
// The dialog shows on the screen for the moment it is drawn: its client area
// is read from the screen (off the screen, Wine gives it black), as the
// gallery reads it. It is gone before the program ends.
#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <optional>
#include <string>
#include <vector>

#include "InstallerShim/FileDeleter.h"
#include "InstallerShim/HWaitDialog.h"
#include "RAde/DEVEDar/HDialog.h"
#include "RAde/DEVEDar/HSkinControlsDialog.h"
#include "RAde/HException.h"
#include "RAde/HFileUtilities.h"
#include "RAde/HStringHelper.h"
#include "RAde/HXmlNode.h"
#include "tools/common/ToolSupport.h"

using ToolSupport::WriteUtf8;

namespace {
const wchar_t kSkinFile[] = L"SkinningConfig.xml";
const wchar_t kUsage[] =
    L"usage: skinpreview FOLDER FORM LANGUAGE OUT.png [/dpi=N] [/rtl]\n"
    L"  draws FORM (wait-dialog or controls) of the skin in FOLDER, with its texts in LANGUAGE, into OUT.png;\n"
    L"  /dpi=N as a screen of N (48 to 480) pixels per inch shows it, /rtl read right to left\n";
constexpr int kMinDpi = 48, kMaxDpi = 480;
// Where the controls dialog shows while it is drawn, as in the gallery.
constexpr int kShownAt = 40;

enum class EExit : int
{
    drawn = 0,
    stringsLacking = 1,
    couldNotRun = 2
};

// Why the preview could not run, in words for its user.
CHException Failure(const std::wstring& strText)
{
    return CHException(strText, static_cast<int>(EExit::couldNotRun), HSITE);
}

struct COptions
{
    std::wstring strFolder, strForm, strLanguage, strOut;
    int nDpi = 0;  // 0: the screen's
    bool bRightToLeft = false;
};

// A string a form shows, and what shows when the language has no text for it.
struct CShownString
{
    const wchar_t* pszId;
    const wchar_t* pszInstead;
};
// The wait dialog's texts, as the launcher's file deleter takes them.
constexpr CShownString kWaitDialogStrings[] = {{L"ids-deleting-files-title", L"the caption is empty"},
                                               {L"ids-deleting-files", L"the message is empty"}};

// "/name" or "/name=value"; "/tmp/out.png" (a path Wine takes) is none.
bool LooksLikeOption(const std::wstring& strArg)
{
    return !strArg.empty() && strArg[0] == L'/' && strArg.find_first_of(L"/\\", 1) == std::wstring::npos;
}

// "/dpi=N": false for another argument; throws for a number out of range.
bool ParseDpi(const std::wstring& strArg, int& nDpi)
{
    if (!CHStringHelper::StartsWithNoCase(strArg, L"/dpi="))
        return false;
    const std::wstring strValue = strArg.substr(5);
    const bool bNumber =
        !strValue.empty() && strValue.size() <= 4 &&
        std::all_of(strValue.begin(), strValue.end(), [](wchar_t ch) { return std::iswdigit(ch) != 0; });
    nDpi = bNumber ? std::stoi(strValue) : 0;
    if (nDpi < kMinDpi || nDpi > kMaxDpi)
        throw Failure(L"/dpi takes a number of pixels per inch from " + std::to_wstring(kMinDpi) + L" to " +
                      std::to_wstring(kMaxDpi) + L", not \"" + strValue + L"\"");
    return true;
}

COptions ParseArguments(int argc, wchar_t** argv)
{
    COptions options;
    std::vector<std::wstring> positional;
    for (int i = 1; i < argc; ++i) {
        const std::wstring strArg = argv[i];
        if (!LooksLikeOption(strArg))
            positional.push_back(strArg);
        else if (CHStringHelper::EqualsNoCase(strArg, L"/rtl"))
            options.bRightToLeft = true;
        else if (!ParseDpi(strArg, options.nDpi))
            throw Failure(L"unknown option " + strArg);
    }
    if (positional.size() != 4)
        throw Failure(L"FOLDER, FORM, LANGUAGE and OUT.png are needed");
    options.strFolder = positional[0];
    options.strForm = positional[1];
    options.strLanguage = positional[2];
    options.strOut = positional[3];
    if (options.strForm != L"wait-dialog" && options.strForm != L"controls")
        throw Failure(L"unknown form \"" + options.strForm + L"\" (wait-dialog or controls)");
    return options;
}

// The system's reason for an error code, on one line.
std::wstring SystemReason(DWORD dwError)
{
    return ToolSupport::OneLineDescription(CHException::FromWin32Error(dwError, HSITE));
}

// The dialog of every skinned control, named to the skin by no form (the
// general form dresses it).
class CControlsDialog : public CHDialog<CControlsDialog>
{
public:
    CControlsDialog() : CHDialog(IDD_SKIN_CONTROLS) {}
};

// The launcher's wait dialog, drawn once; a failure of its initialisation
// ends it instead of showing a message box.
class CPreviewWaitDialog : public CHRenderedWaitDialog
{
public:
    void HandleError(const std::wstring&, const CHException& error, HWND) override
    {
        m_failure = ToolSupport::OneLineDescription(error);
        EndDialog(2);
    }

    std::optional<std::wstring> m_failure;
};

CHDialogAppeareaceDef s_controlsAppearance;

class CSkinPreview
{
public:
    explicit CSkinPreview(COptions options) : m_options(std::move(options)) {}

    EExit Run();

private:
    std::wstring SkinPath() const { return CHFileUtilities::ConcatPathname(m_options.strFolder, kSkinFile); }
    float DpiScale() const;
    // The template font's scale that lays a dialog out at the DPI on this screen.
    float TemplateFontScale() const { return DpiScale() / CHDialogAppeareaceDef::ScreenDpiScale(); }
    // Reads the skin file as the library does, and stops where its reader stops.
    void ReadSkinText();
    CHImage DrawWaitDialog();
    CHImage DrawControls();
    void WritePicture(const CHImage& picture) const;
    // One line per string the form shows that the language lacks.
    std::vector<std::wstring> LackingStrings() const;
    std::wstring FindingAt(size_t nOffset, const std::wstring& strFinding) const;

    COptions m_options;
    std::wstring m_strText;
};

float CSkinPreview::DpiScale() const
{
    return m_options.nDpi == 0 ? CHDialogAppeareaceDef::ScreenDpiScale() : m_options.nDpi / 96.0f;
}

void CSkinPreview::ReadSkinText()
{
    const DWORD dwAttributes = ::GetFileAttributesW(m_options.strFolder.c_str());
    if (dwAttributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD dwError = ::GetLastError();
        throw Failure(m_options.strFolder + L": " + SystemReason(dwError));
    }
    if ((dwAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        throw Failure(m_options.strFolder + L": not a folder");
    try {
        m_strText = CHFileUtilities::ReadTextFile(SkinPath(), HTEXT_ENCODING_ANSI);
    } catch (const CHException& e) {
        throw Failure(SkinPath() + L": " + ToolSupport::OneLineDescription(e));
    }
    CHXmlNode skin;
    CHXmlParseInfo info;
    skin.Load(m_strText.c_str(), info);
    if (info.bErrorOccurred)
        throw Failure(FindingAt(static_cast<size_t>(info.pErrorPosition - m_strText.c_str()),
                                L"the reader stops here: " + info.strErrorMessage));
}

CHImage CSkinPreview::DrawWaitDialog()
{
    HTRY {
        // Built before the skin is read, as the launcher's deleter is; the
        // launcher reads its skin from the current directory.
        CPreviewWaitDialog dialog;
        if (!::SetCurrentDirectoryW(m_options.strFolder.c_str())) {
            const DWORD dwError = ::GetLastError();
            throw Failure(m_options.strFolder + L": " + SystemReason(dwError));
        }
        PrepareDeletionDialog(dialog, m_options.strLanguage, DpiScale(), m_options.bRightToLeft);
        dialog.SetTemplateFontScale(TemplateFontScale());
        if (dialog.Run() != 1 || dialog.m_render.IsNull())
            throw Failure(L"the wait dialog could not be drawn" + (dialog.m_failure ? L": " + *dialog.m_failure : L""));
        return dialog.m_render;
    } HCATCH
}

CHImage CSkinPreview::DrawControls()
{
    HTRY {
        CHDialogAppeareaceDef& appearance = s_controlsAppearance;
        g_pAppearance = &appearance;
        appearance.SetDpiScale(DpiScale());
        appearance.SetLanguage(m_options.strLanguage);
        if (m_options.bRightToLeft)
            appearance.SetRightToLeft(true);
        appearance.ReadSkinFile(m_options.strFolder);
        appearance.AttachSkin();
        appearance.m_options.SkinEveryKind();

        CControlsDialog dialog;
        dialog.SetTemplateFontScale(TemplateFontScale());
        dialog.Create(nullptr);
        FillSkinControls(dialog);
        ::SetWindowPos(dialog, HWND_TOPMOST, kShownAt, kShownAt, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        CHImage picture = dialog.RenderWindow();
        dialog.EndDialog(0);
        return picture;
    } HCATCH
}

void CSkinPreview::WritePicture(const CHImage& picture) const
{
    try {
        picture.Save(m_options.strOut);
    } catch (const CHException& e) {
        throw Failure(m_options.strOut + L": " + ToolSupport::OneLineDescription(e));
    }
}

std::wstring CSkinPreview::FindingAt(size_t nOffset, const std::wstring& strFinding) const
{
    return SkinPath() + L"(" + ToolSupport::LineAndColumn(m_strText, nOffset) + L"): " + strFinding;
}

std::vector<std::wstring> CSkinPreview::LackingStrings() const
{
    HTRY {
        std::vector<std::wstring> lines;
        if (m_options.strForm != L"wait-dialog")
            return lines;
        const CHDialogSkinXmlConfig& config = g_pAppearance->GetConfig();
        const CHXmlNode* pStrings = g_pAppearance->GetXml().Find(L"strings");
        for (const CShownString& shown : kWaitDialogStrings) {
            if (config.GetString(shown.pszId))
                continue;
            // Where the string's texts for other languages begin, else the string list.
            const CHXmlNode* pAt = pStrings;
            for (const CHXmlNode* pString : pStrings ? pStrings->GetChildren(L"string") : std::vector<CHXmlNode*>())
                if (const std::wstring* pId = pString->GetAttributeValue(L"id"); pId && *pId == shown.pszId) {
                    pAt = pString;
                    break;
                }
            lines.push_back(FindingAt(pAt ? pAt->GetSourceOffset() : kNoSourceOffset,
                                      std::wstring(L"string \"") + shown.pszId + L"\" has no text for \"" +
                                          m_options.strLanguage + L"\": " + shown.pszInstead));
        }
        return lines;
    } HCATCH
}

EExit CSkinPreview::Run()
{
    HTRY {
        ReadSkinText();
        const CHImage picture = m_options.strForm == L"wait-dialog" ? DrawWaitDialog() : DrawControls();
        WritePicture(picture);
        std::wstring strOut = m_options.strOut + L": " + std::to_wstring(picture.GetWidth()) + L" x " +
                              std::to_wstring(picture.GetHeight()) + L" pixels\n";
        const std::vector<std::wstring> lacking = LackingStrings();
        for (const std::wstring& strLine : lacking)
            strOut += strLine + L"\n";
        WriteUtf8(STD_OUTPUT_HANDLE, strOut);
        return lacking.empty() ? EExit::drawn : EExit::stringsLacking;
    } HCATCH
}
}  // namespace

int wmain(int argc, wchar_t** argv)
{
    // The screen's real pixels per inch, not those of a scaled-up old program.
    ::SetProcessDPIAware();
    COptions options;
    try {
        options = ParseArguments(argc, argv);
    } catch (const CHException& e) {
        WriteUtf8(STD_ERROR_HANDLE, L"skinpreview: " + ToolSupport::OneLineDescription(e) + L"\n" + kUsage);
        return static_cast<int>(EExit::couldNotRun);
    }
    try {
        return static_cast<int>(CSkinPreview(options).Run());
    } catch (const CHException& e) {
        WriteUtf8(STD_ERROR_HANDLE, L"skinpreview: " + ToolSupport::OneLineDescription(e) + L"\n");
    } catch (...) {
        WriteUtf8(STD_ERROR_HANDLE, L"skinpreview: an unexpected failure\n");
    }
    return static_cast<int>(EExit::couldNotRun);
}
