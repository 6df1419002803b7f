#include "InstallerShim/FileDeleter.h"

#include <algorithm>
#include <cwctype>

#include "InstallerShim/InstallUtils.h"
#include "InstallerShim/InstallerDlgDefAppearance.h"
#include "RAde/HException.h"
#include "RAde/HFileUtilities.h"
#include "RAde/HLogging.h"
#include "RAde/HStringHelper.h"

namespace {
bool IsSeparator(wchar_t ch)
{
    return ch == L'\\' || ch == L'/';
}

// The path's segments between separators (empty ones left out).
std::vector<std::wstring> Segments(const std::wstring& strPath)
{
    std::vector<std::wstring> segments;
    std::wstring strSegment;
    for (wchar_t ch : strPath + L'\\') {
        if (!IsSeparator(ch)) {
            strSegment += ch;
        } else if (!strSegment.empty()) {
            segments.push_back(strSegment);
            strSegment.clear();
        }
    }
    return segments;
}

bool IsDriveAbsolute(const std::wstring& strPath)
{
    return strPath.size() >= 3 && std::iswalpha(strPath[0]) && strPath[1] == L':' && IsSeparator(strPath[2]);
}

bool IsShareAbsolute(const std::wstring& strPath)
{
    return strPath.size() >= 2 && IsSeparator(strPath[0]) && IsSeparator(strPath[1]);
}

bool IsSameFolder(const std::wstring& str1, const std::wstring& str2)
{
    const std::vector<std::wstring> segments1 = Segments(str1), segments2 = Segments(str2);
    return !segments1.empty() && std::equal(segments1.begin(), segments1.end(), segments2.begin(), segments2.end(),
                                            CHStringHelper::EqualsNoCase);
}

bool IsInStagedSet(const std::wstring& strPath, const CStagingFolders& folders)
{
    return CHFileUtilities::IsBelowFolder(folders.strMedium, strPath) ||
           CHFileUtilities::IsBelowFolder(folders.strInstallerWorkingFolder, strPath) ||
           IsSameFolder(folders.strInstallerWorkingFolder, strPath);
}

// Why the path must not be deleted at all, or nullptr when it may.
const wchar_t* RefusalOf(const std::wstring& strPath, const CStagingFolders& folders)
{
    const bool bDrive = IsDriveAbsolute(strPath), bShare = IsShareAbsolute(strPath);
    if (!bDrive && !bShare)
        return L"it is not absolute";
    const std::vector<std::wstring> segments = Segments(strPath);
    for (const std::wstring& strSegment : segments)
        if (strSegment == L"..")
            return L"it holds a \"..\" segment";
    // "C:\" is one segment; "\\server\share" two.
    if (segments.size() <= (bDrive ? 1u : 2u))
        return bDrive ? L"it is a drive's root" : L"it is a share's root";
    if (!IsInStagedSet(strPath, folders))
        return L"it lies neither below the medium's folder nor in the installer's working folder";
    return nullptr;
}
}  // namespace

CFileDeleter::~CFileDeleter()
{
    HTRY {
        StopWorkerThread();
    } HCATCH_LOG
}

std::vector<std::wstring> CFileDeleter::KeepDeletablePaths(const std::vector<std::wstring>& paths,
                                                           const CStagingFolders& folders)
{
    HTRY {
        std::vector<std::wstring> kept;
        for (const std::wstring& strPath : paths) {
            if (strPath.empty())
                continue;
            if (const wchar_t* pszRefusal = RefusalOf(strPath, folders))
                CHLogging::LogWarning(L"The staged path %s is not deleted: %s.\n", strPath.c_str(), pszRefusal);
            else
                kept.push_back(strPath);
        }
        return kept;
    } HCATCH
}

bool CFileDeleter::IsOnDriveOf(const std::wstring& strPath, const std::wstring& strBaseDirectory)
{
    // The letters are compared as characters: "c:\work" and "C:\work\x" differ.
    return strPath.size() >= 2 && strBaseDirectory.size() >= 2 && std::iswalpha(strPath[0]) && strPath[1] == L':' &&
           strBaseDirectory[1] == L':' && strPath[0] == strBaseDirectory[0];
}

std::wstring CFileDeleter::LinkAbove(const std::wstring& strPath) const
{
    // The folders between the staged set's folder and the path: the folder
    // itself may lie behind a link (the user's %TEMP% or medium may), what
    // lies below it must not.
    const std::wstring& strRoot = CHFileUtilities::IsBelowFolder(m_folders.strMedium, strPath)
                                      ? m_folders.strMedium
                                      : m_folders.strInstallerWorkingFolder;
    const std::vector<std::wstring> segments = Segments(strPath);
    std::wstring strParent = strRoot;
    for (size_t i = Segments(strRoot).size(); i + 1 < segments.size(); ++i) {
        strParent = CHFileUtilities::ConcatPathname(strParent, segments[i]);
        if (CHFileUtilities::GetLinkKind(strParent) != HLinkKind::NotALink)
            return strParent;
    }
    return std::wstring();
}

void CFileDeleter::DeletePaths()
{
    size_t nDeleted = 0;
    for (size_t i = 0; i < m_paths.size(); ++i) {
        if (!IsOnBaseDrive(m_paths[i]))
            continue;
        // Read now, just before the deletion: what a link leads to is never
        // part of the staged set.
        if (const std::wstring strLink = LinkAbove(m_paths[i]); !strLink.empty()) {
            CHLogging::LogWarning(L"The staged path %s lies below the link %s; it is not deleted.\n",
                                  m_paths[i].c_str(), strLink.c_str());
            continue;
        }
        CInstallUtils::DeletePath(m_paths[i]);
        ++nDeleted;
    }
    CHLogging::LogDebug(L"Deleted the staged files: %d of %d paths on the drive of %s.\n", static_cast<int>(nDeleted),
                        static_cast<int>(m_paths.size()), m_baseDirectory.c_str());
}

void CFileDeleter::WorkerProc(DWORD)
{
    try {
        HTRY {
            DeletePaths();
            m_waitDialog.RequestEnd();
        } HCATCH
    } catch (const CHException& error) {
        // The dialog tells the user and stays until closed; the worker host
        // logs and keeps the error.
        m_waitDialog.RequestFailure(m_strFailureMessage.empty() ? error.GetDescription(CHException::DescribeNewest)
                                                                : m_strFailureMessage,
                                    m_strCloseButton);
        throw;
    }
}

void PrepareDeletionDialog(CHWaitDialog& dialog, const std::wstring& strLanguage, float fDpiScale, bool bRightToLeft)
{
    HTRY {
        CInstallerDlgDefAppearance& appearance = g_installerAppearance;
        appearance.Init(fDpiScale);
        appearance.SetUILanguage(strLanguage);
        if (bRightToLeft)
            appearance.SetRightToLeft(true);
        appearance.LoadConfigFromXml();
        appearance.GetConfig().ReloadFonts();
        dialog.TakeAppearanceOptions();
        dialog.m_strMessage = appearance.LoadUIString(L"ids-deleting-files");
        dialog.m_strTitle = appearance.LoadUIString(L"ids-deleting-files-title");
        appearance.GetFormRecord(&dialog);
    } HCATCH
}

void RunFileDeleter(CFileDeleter& deleter, const std::vector<std::wstring>& paths, const std::wstring& strBaseDirectory,
                    const std::wstring& strLanguage, const CStagingFolders& folders)
{
    HTRY {
        PrepareDeletionDialog(deleter.m_waitDialog, strLanguage);
        deleter.m_folders = folders;
        deleter.m_paths = CFileDeleter::KeepDeletablePaths(paths, folders);
        deleter.m_baseDirectory = strBaseDirectory;
        const CInstallerDlgDefAppearance& appearance = g_installerAppearance;
        deleter.m_strFailureMessage = appearance.LoadUIString(L"ids-deleting-files-failed");
        deleter.m_strCloseButton = appearance.LoadUIString(L"ids-capt-close");

        // The staged folder may be the current directory.
        HCHECK_WIN32(::SetCurrentDirectoryW(CHFileUtilities::GetTempDirectory().c_str()));
        deleter.StartWorkerThread(0);
        const INT_PTR nResult = deleter.m_waitDialog.Run();
        CHLogging::LogDebug(L"CWaitDialog closed. Cancel:%d\n", nResult != -1 ? 1 : 0);
    } HCATCH
}
