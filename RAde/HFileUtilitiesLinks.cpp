// CHFileUtilities and links: what a path is when it is looked at as itself,
// and deleting a directory tree without ever following a link out of it. The
// other path operations are in HFileUtilities.cpp.
//
// A link (junction, symbolic link to a folder or a file, mount point) is a
// reparse point whose data names another path. Windows lets it be opened as
// itself (FILE_FLAG_OPEN_REPARSE_POINT); what is deleted through such a handle,
// or by DeleteFileW and RemoveDirectoryW on its path, is the link alone.
// Wine shows its Unix symbolic links otherwise: one to a folder carries the
// reparse-point attribute (tag 0), one to a file carries none, and both open
// as what they lead to, so that deleting them deletes the target (a file
// behind a link, a folder behind one if it is empty). Such a link shows in
// the path its handle resolves to, which is not the path it was opened by:
// it is never deleted, nor anything it leads to.
#include <windows.h>

#include <string>

#include "RAde/HException.h"
#include "RAde/HFileUtilities.h"
#include "RAde/HLogging.h"
#include "RAde/HUniqueHandle.h"

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kDeleteAccess = DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;

// A reparse point that names another path. Tag 0 is Wine's mark, which names
// no kind. Other reparse points (a cloud file's placeholder, a deduplicated
// file) hold their own data and are deleted as files.
bool IsLinkReparsePoint(DWORD dwAttributes, DWORD dwTag)
{
    return (dwAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && (dwTag == 0 || IsReparseTagNameSurrogate(dwTag));
}

// The entry at strLongPath opened as itself: a link as the link, where the system allows it.
CHFileHandle OpenAsItself(const std::wstring& strLongPath, DWORD dwAccess, DWORD dwShare)
{
    return CHFileHandle(::CreateFileW(strLongPath.c_str(), dwAccess, dwShare, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

// The path the system resolves an open handle to ("\\?\C:\..."), or "" where
// the file system cannot tell (some network redirectors).
std::wstring ResolvedPath(HANDLE hFile)
{
    std::wstring strPath(MAX_PATH, L'\0');
    for (;;) {
        const DWORD dwLength =
            ::GetFinalPathNameByHandleW(hFile, strPath.data(), static_cast<DWORD>(strPath.size()), VOLUME_NAME_DOS);
        if (dwLength == 0)
            return std::wstring();
        // Too small a buffer: the system reported the size it needs.
        if (dwLength < strPath.size()) {
            strPath.resize(dwLength);
            return strPath;
        }
        strPath.assign(dwLength + 1, L'\0');
    }
}

// Where the folder at strLongPath resolves to, links on the way followed;
// "" when it cannot be told.
std::wstring ResolvedFolder(const std::wstring& strLongPath)
{
    CHFileHandle hFolder(::CreateFileW(strLongPath.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return hFolder ? ResolvedPath(hFolder.Get()) : std::wstring();
}

bool SamePath(const std::wstring& str1, const std::wstring& str2)
{
    return ::CompareStringOrdinal(str1.c_str(), static_cast<int>(str1.size()), str2.c_str(),
                                  static_cast<int>(str2.size()), TRUE) == CSTR_EQUAL;
}

// Where the entry strName of the folder that resolves to strResolvedFolder
// leads, when its handle (opened as itself) resolves elsewhere; "" when it
// is where it was found, or when that cannot be told.
std::wstring ElsewhereOf(HANDLE hEntry, const std::wstring& strResolvedFolder, const std::wstring& strName)
{
    if (strResolvedFolder.empty())
        return std::wstring();
    const std::wstring strResolved = ResolvedPath(hEntry);
    if (strResolved.empty() || SamePath(strResolved, CHFileUtilities::ConcatPathname(strResolvedFolder, strName)))
        return std::wstring();
    return strResolved;
}

void WarnLeftLink(const std::wstring& strPath, const std::wstring& strTarget)
{
    CHLogging::LogWarning(L"%s leads to %s: it is left as it is, and nothing it leads to is deleted.\n",
                          strPath.c_str(), strTarget.c_str());
}

// Removes an empty folder. Another process (an indexer, a virus scanner) may
// still hold something that was just deleted in it: access denied or "not
// empty" get one more try.
DWORD RemoveEmptyFolder(const std::wstring& strLongPath)
{
    for (int nTry = 0;; ++nTry) {
        if (::RemoveDirectoryW(strLongPath.c_str()))
            return NO_ERROR;
        const DWORD dwError = ::GetLastError();
        if (nTry > 0 || (dwError != ERROR_ACCESS_DENIED && dwError != ERROR_DIR_NOT_EMPTY))
            return dwError;
        ::Sleep(10);
    }
}

// Sets the delete disposition of an open file or link, which goes when its
// last handle closes. A read-only file is made writable for it, and keeps its
// attribute if it still cannot go.
DWORD DeleteThroughHandle(HANDLE hEntry)
{
    FILE_DISPOSITION_INFO disposition = {TRUE};
    auto setDisposition = [&] {
        return ::SetFileInformationByHandle(hEntry, FileDispositionInfo, &disposition, sizeof(disposition)) != FALSE;
    };
    if (setDisposition())
        return NO_ERROR;
    DWORD dwError = ::GetLastError();
    FILE_BASIC_INFO basic = {};
    if (dwError != ERROR_ACCESS_DENIED ||
        !::GetFileInformationByHandleEx(hEntry, FileBasicInfo, &basic, sizeof(basic)) ||
        !(basic.FileAttributes & FILE_ATTRIBUTE_READONLY))
        return dwError;
    // Zero times leave the times as they are; zero attributes would too.
    const DWORD dwAttributes = basic.FileAttributes;
    const DWORD dwWritable = dwAttributes & ~FILE_ATTRIBUTE_READONLY;
    basic.FileAttributes = dwWritable ? dwWritable : FILE_ATTRIBUTE_NORMAL;
    basic.CreationTime.QuadPart = basic.LastAccessTime.QuadPart = basic.LastWriteTime.QuadPart = 0;
    basic.ChangeTime.QuadPart = 0;
    if (!::SetFileInformationByHandle(hEntry, FileBasicInfo, &basic, sizeof(basic)))
        return dwError;
    if (setDisposition())
        return NO_ERROR;
    dwError = ::GetLastError();
    basic.FileAttributes = dwAttributes;
    ::SetFileInformationByHandle(hEntry, FileBasicInfo, &basic, sizeof(basic));
    return dwError;
}

bool DeleteFolderTree(const std::wstring& strPath, const std::wstring& strResolved);

CHException DeletionFailure(DWORD dwError, bool bFolder, const std::wstring& strPath, const CHSourceSite& site)
{
    CHException e = CHException::FromWin32Error(dwError, site);
    if (!bFolder)
        e.AddEntry(HError::DeleteFileFailed, site);
    e.AddValue(bFolder ? L"Directory" : L"File", strPath);
    return e;
}

// One entry of a folder being deleted: a link is removed itself, one that
// resolves elsewhere is left with a warning, a folder goes with its tree.
// False when something was left (and the entry with it).
bool DeleteEntry(const std::wstring& strFolder, const WIN32_FIND_DATAW& data, const std::wstring& strResolvedFolder)
{
    const std::wstring strPath = CHFileUtilities::ConcatPathname(strFolder, data.cFileName);
    const bool bFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // A folder without the reparse-point attribute is a folder of its own:
    // Wine marks its links to folders too. It is emptied and removed by path
    // (Wine lists a folder through a handle that shares no deletion).
    if (bFolder && !IsLinkReparsePoint(data.dwFileAttributes, data.dwReserved0))
        return DeleteFolderTree(strPath, CHFileUtilities::ConcatPathname(strResolvedFolder, data.cFileName));
    // A file may be a link that Wine shows without a mark: only the path
    // its handle resolves to tells. The check and the deletion go through
    // one handle, so nothing can be put in its place between them.
    CHFileHandle hEntry = OpenAsItself(CHFileUtilities::GetUnicodePath(strPath), kDeleteAccess, kShareAll);
    if (!hEntry)
        throw DeletionFailure(::GetLastError(), bFolder, strPath, HSITE);
    if (const std::wstring strElsewhere = ElsewhereOf(hEntry.Get(), strResolvedFolder, data.cFileName);
        !strElsewhere.empty()) {
        WarnLeftLink(strPath, strElsewhere);
        return false;
    }
    if (const DWORD dwError = DeleteThroughHandle(hEntry.Get()); dwError != NO_ERROR)
        throw DeletionFailure(dwError, bFolder, strPath, HSITE);
    return true;
}

// Deletes what the folder holds, and then the folder (which resolves to
// strResolved). False when a link was left in the tree: the rest is gone,
// the folders that hold the link stay.
bool DeleteFolderTree(const std::wstring& strPath, const std::wstring& strResolved)
{
    HTRY {
        WIN32_FIND_DATAW data;
        const std::wstring strPattern = CHFileUtilities::ConcatPathname(CHFileUtilities::GetUnicodePath(strPath), L"*");
        CHFindHandle find(::FindFirstFileExW(strPattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                             FIND_FIRST_EX_LARGE_FETCH));
        HCHECK_WIN32(find || ::GetLastError() == ERROR_FILE_NOT_FOUND);
        bool bAllGone = true;
        for (bool bEntry = find.IsValid(); bEntry; bEntry = ::FindNextFileW(find.Get(), &data)) {
            const std::wstring strName = data.cFileName;
            if (strName != L"." && strName != L"..")
                bAllGone = DeleteEntry(strPath, data, strResolved) && bAllGone;
        }
        HCHECK_WIN32(!find || ::GetLastError() == ERROR_NO_MORE_FILES);
        find.Reset();
        // (Wine would take the folder's disposition and then keep it.)
        if (!bAllGone)
            return false;
        if (const DWORD dwError = RemoveEmptyFolder(CHFileUtilities::GetUnicodePath(strPath)); dwError != NO_ERROR)
            throw DeletionFailure(dwError, true, strPath, HSITE);
        return true;
    } HCATCH_ATTACH([&](CHException& e) { e.AddValue(L"CHFileUtilities::DeleteDirectory() Path", strPath); })
}

}  // namespace

HLinkKind CHFileUtilities::GetLinkKind(const std::wstring& strPath, std::wstring* pstrLeadsTo)
{
    HTRY {
        std::wstring strEntry = strPath;
        while (strEntry.size() > 1 && (strEntry.back() == L'\\' || strEntry.back() == L'/'))
            strEntry.pop_back();
        const std::wstring strLong = GetUnicodePath(strEntry);
        // A name holding "*" or "?" would be taken for a pattern.
        if (strEntry.find_first_of(L"*?") != std::wstring::npos)
            return HLinkKind::NotALink;
        WIN32_FIND_DATAW data;
        CHFindHandle find(
            ::FindFirstFileExW(strLong.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0));
        // Nothing there, or a root (which has no entry of its own): no link.
        if (!find)
            return HLinkKind::NotALink;
        const bool bLink = IsLinkReparsePoint(data.dwFileAttributes, data.dwReserved0);
        CHFileHandle hEntry = OpenAsItself(strLong, FILE_READ_ATTRIBUTES, kShareAll);
        if (!hEntry)
            return bLink ? HLinkKind::Link : HLinkKind::NotALink;
        const std::wstring strElsewhere =
            ElsewhereOf(hEntry.Get(), ResolvedFolder(GetPathFromFilename(strLong)), data.cFileName);
        if (strElsewhere.empty())
            return bLink ? HLinkKind::Link : HLinkKind::NotALink;
        if (pstrLeadsTo)
            *pstrLeadsTo = strElsewhere;
        return HLinkKind::LeadsElsewhere;
    } HCATCH
}

bool CHFileUtilities::DeleteDirectory(const std::wstring& strPath)
{
    HTRY {
        std::wstring strLeadsTo;
        switch (GetLinkKind(strPath, &strLeadsTo)) {
        case HLinkKind::LeadsElsewhere:
            WarnLeftLink(strPath, strLeadsTo);
            return false;
        case HLinkKind::Link:
            // The link alone: RemoveDirectoryW never enters it.
            HCHECK_WIN32(::RemoveDirectoryW(GetUnicodePath(strPath).c_str()), .AddValue(L"Directory", strPath));
            return true;
        case HLinkKind::NotALink:
            break;
        }
        // A link left inside keeps the folders that hold it: "not empty" says so.
        if (!DeleteFolderTree(strPath, ResolvedFolder(GetUnicodePath(strPath))))
            throw CHException::FromWin32Error(ERROR_DIR_NOT_EMPTY, HSITE).AddValue(L"Directory", strPath);
        return true;
    } HCATCH
}
