#include "RAde/HFileUtilities.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cwctype>
#include <string>
#include <vector>

#include "RAde/HException.h"
#include "RAde/HStringHelper.h"
#include "RAde/HUniqueHandle.h"

namespace {

constexpr wchar_t kLocalLongPrefix[] = L"\\\\?\\";
constexpr wchar_t kUncLongPrefix[] = L"\\\\?\\UNC\\";
constexpr wchar_t kSeparators[] = L"\\/";

bool IsSeparator(wchar_t ch)
{
    return ch == L'\\' || ch == L'/';
}

// How many leading tokens of a tokenized absolute path name its root, which
// ".." must never remove: the drive ("C:"), the server and share of a
// network path, and the "?" (and "UNC") of the long-path forms.
size_t CountRootTokens(const std::wstring& strPath, const std::vector<std::wstring>& tokens)
{
    std::wstring strBackslashed = CHFileUtilities::SetPathSeparator(strPath, L'\\');
    size_t nRoot = 0;
    if (strBackslashed.starts_with(kUncLongPrefix))
        nRoot = 4;
    else if (strBackslashed.starts_with(L"\\\\"))  // "\\?\" as well as "\\server"
        nRoot = 2;
    else if (!tokens.empty() && tokens[0].size() >= 2 && tokens[0][1] == L':')
        nRoot = 1;
    return std::min(nRoot, tokens.size());
}

// A first-file search for the path as given, which never takes the name for
// a pattern: names holding "*" or "?" (outside the long-path prefix) find nothing.
bool FindEntry(const std::wstring& strPath, WIN32_FIND_DATAW& data)
{
    std::wstring strPlain = strPath;
    CHFileUtilities::RemoveUnicodePath(strPlain);
    if (strPlain.empty() || strPlain.find_first_of(L"*?") != std::wstring::npos)
        return false;
    CHFindHandle find(::FindFirstFileExW(strPath.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0));
    return find.IsValid();
}

bool IsExistingDirectory(const std::wstring& strLongPath)
{
    DWORD dwAttributes = ::GetFileAttributesW(strLongPath.c_str());
    return dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Runs an operation that deletes or replaces the file strLongTarget, and
// returns its Win32 error (NO_ERROR on success). A read-only target makes it
// fail with access denied; then the read-only attribute is cleared and the
// operation tried once more. If that fails too, the attribute is put back:
// a failed operation leaves the target as it found it. Only files that need
// it are touched, so deleting a tree costs no attribute change per file.
template <class Operation>
DWORD RunClearingReadOnlyTarget(const std::wstring& strLongTarget, Operation&& operation)
{
    if (operation())
        return NO_ERROR;
    DWORD dwError = ::GetLastError();
    if (dwError != ERROR_ACCESS_DENIED)
        return dwError;
    DWORD dwAttributes = ::GetFileAttributesW(strLongTarget.c_str());
    if (dwAttributes == INVALID_FILE_ATTRIBUTES || (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        !(dwAttributes & FILE_ATTRIBUTE_READONLY))
        return dwError;
    // Attributes 0 would mean "leave them as they are".
    DWORD dwWritable = dwAttributes & ~FILE_ATTRIBUTE_READONLY;
    if (!::SetFileAttributesW(strLongTarget.c_str(), dwWritable ? dwWritable : FILE_ATTRIBUTE_NORMAL))
        return dwError;
    if (operation())
        return NO_ERROR;
    dwError = ::GetLastError();
    ::SetFileAttributesW(strLongTarget.c_str(), dwAttributes);
    return dwError;
}

// Calls a system function that fills a buffer with a text: it returns the
// text's length when it fits, the size it needs when it does not, and 0 on
// failure. Grows the buffer until the text fits; false on failure (the
// thread's last error tells why).
template <class Query>
bool QuerySizedText(Query&& query, std::wstring& strText)
{
    DWORD dwSize = query(nullptr, 0) + 1;
    for (;;) {
        if (dwSize == 1)
            return false;
        strText.assign(dwSize, L'\0');
        DWORD dwLength = query(strText.data(), dwSize);
        if (dwLength == 0)
            return false;
        if (dwLength < dwSize) {
            strText.resize(dwLength);
            return true;
        }
        // Whether the size asked for counts the terminating zero differs
        // between functions: one more character is always enough.
        dwSize = dwLength + 1;
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Path arithmetic

std::wstring CHFileUtilities::GetFilenameFromPath(const std::wstring& strPath)
{
    HTRY {
        size_t nSeparator = strPath.find_last_of(kSeparators);
        return nSeparator == std::wstring::npos ? strPath : strPath.substr(nSeparator + 1);
    } HCATCH
}

std::wstring CHFileUtilities::GetPathFromFilename(const std::wstring& strPath)
{
    HTRY {
        size_t nSeparator = strPath.find_last_of(kSeparators);
        return nSeparator == std::wstring::npos ? std::wstring() : strPath.substr(0, nSeparator + 1);
    } HCATCH
}

void CHFileUtilities::EnsurePathSeparatorAtEnd(std::wstring& strPath, const std::wstring& strSeparator)
{
    HTRY {
        if (!strPath.empty() && !IsSeparator(strPath.back()))
            strPath += strSeparator;
    } HCATCH
}

std::wstring CHFileUtilities::ConcatPathname(const std::wstring& str1, const std::wstring& str2)
{
    HTRY {
        if (str2.empty())
            return str1;
        if (str1.empty())
            throw CHException(HError::InvalidParameter, HSITE)
                .AddValue(L"CHFileUtilities::ConcatPathname() str1", str1)
                .AddValue(L"CHFileUtilities::ConcatPathname() str2", str2);
        std::wstring strResult = str1;
        EnsurePathSeparatorAtEnd(strResult, L"\\");
        strResult.append(str2, IsSeparator(str2.front()) ? 1 : 0);
        return strResult;
    } HCATCH
}

std::wstring CHFileUtilities::SetPathSeparator(const std::wstring& strPath, wchar_t chSeparator)
{
    HTRY {
        std::wstring strResult = strPath;
        std::replace_if(
            strResult.begin(), strResult.end(), [](wchar_t ch) { return ch == L'/' || ch == L'\\'; }, chSeparator);
        return strResult;
    } HCATCH
}

void CHFileUtilities::GetStartEndSeparators(const std::wstring& strPath, std::wstring& strStart, std::wstring& strEnd)
{
    HTRY {
        // A path made only of separators is both runs at once.
        size_t nStartLength = strPath.find_first_not_of(kSeparators);
        size_t nLastOther = strPath.find_last_not_of(kSeparators);
        strStart = strPath.substr(0, nStartLength == std::wstring::npos ? strPath.size() : nStartLength);
        strEnd = strPath.substr(nLastOther == std::wstring::npos ? 0 : nLastOther + 1);
    } HCATCH
}

bool CHFileUtilities::IsRelativePath(const std::wstring& strPath)
{
    HTRY {
        if (strPath.size() >= 2 && strPath[1] == L':')
            return false;
        return !strPath.starts_with(L"\\\\");
    } HCATCH
}

std::wstring CHFileUtilities::GetFilenameWithoutExtension(const std::wstring& strPath)
{
    HTRY {
        std::wstring strName = GetFilenameFromPath(strPath);
        size_t nDot = strName.rfind(L'.');
        return nDot == std::wstring::npos ? std::wstring() : strName.substr(0, nDot);
    } HCATCH
}

std::wstring CHFileUtilities::GetFileExtension(const std::wstring& strPath)
{
    HTRY {
        // The extension belongs to the name: a dot in a folder's name, or one
        // that begins the name (".profile"), makes none.
        std::wstring strName = GetFilenameFromPath(strPath);
        size_t nDot = strName.rfind(L'.');
        return nDot == std::wstring::npos || nDot == 0 ? std::wstring() : strName.substr(nDot);
    } HCATCH
}

std::wstring CHFileUtilities::GetUnicodePath(const std::wstring& strPath)
{
    HTRY {
        std::wstring strResult = SetPathSeparator(strPath, L'\\');
        if (IsRelativePath(strResult) || strResult.starts_with(kLocalLongPrefix))
            return strResult;
        if (strResult.starts_with(L"\\\\"))
            return kUncLongPrefix + strResult.substr(2);
        return kLocalLongPrefix + strResult;
    } HCATCH
}

void CHFileUtilities::RemoveUnicodePath(std::wstring& strPath)
{
    HTRY {
        if (strPath.starts_with(kUncLongPrefix))
            strPath.replace(0, std::size(kUncLongPrefix) - 1, L"\\\\");
        else if (strPath.starts_with(kLocalLongPrefix))
            strPath.erase(0, std::size(kLocalLongPrefix) - 1);
    } HCATCH
}

std::wstring CHFileUtilities::MakeAbsolutePath(const std::wstring& strBase, const std::wstring& strPath)
{
    HTRY {
        if (!IsRelativePath(strPath))
            return strPath;
        if (strBase.empty())
            throw CHException(HError::InvalidParameter, HSITE).AddValue(L"Path", strPath);

        std::wstring strCombined = strBase;
        EnsurePathSeparatorAtEnd(strCombined, L"\\");
        strCombined += strPath;
        std::vector<std::wstring> tokens = CHStringHelper::TokenizeString(strCombined, kSeparators);
        if (tokens.empty())
            return strCombined;
        std::wstring strStart, strEnd;
        GetStartEndSeparators(strCombined, strStart, strEnd);

        // ".." removes the nearest name before it. "." stays (the file system
        // reads it as "here"), so ".." passes over it. The root is never
        // removed: a path that climbs above it would name another place.
        const size_t nRoot = CountRootTokens(strCombined, tokens);
        std::vector<std::wstring> kept;
        for (const std::wstring& strToken : tokens) {
            if (strToken != L"..") {
                kept.push_back(strToken);
                continue;
            }
            auto itName = std::find_if(kept.rbegin(), kept.rend(), [](const std::wstring& s) { return s != L"."; });
            if (itName == kept.rend() || static_cast<size_t>(kept.rend() - itName) <= nRoot)
                throw CHException(HError::InvalidParameter, HSITE)
                    .AddValue(L"Base", strBase)
                    .AddValue(L"Path", strPath);
            kept.erase(std::next(itName).base());
        }
        return strStart + CHStringHelper::UnTokenizeString(kept, L"\\") + strEnd;
    } HCATCH
}

bool CHFileUtilities::IsBelowFolder(const std::wstring& strFolder, const std::wstring& strPath)
{
    HTRY {
        const std::vector<std::wstring> folderParts = CHStringHelper::TokenizeString(strFolder, kSeparators);
        const std::vector<std::wstring> pathParts = CHStringHelper::TokenizeString(strPath, kSeparators);
        if (folderParts.empty() || pathParts.size() <= folderParts.size() ||
            !std::equal(folderParts.begin(), folderParts.end(), pathParts.begin(), CHStringHelper::EqualsNoCase))
            return false;
        return std::any_of(pathParts.begin() + static_cast<std::ptrdiff_t>(folderParts.size()), pathParts.end(),
                           [](const std::wstring& strPart) { return strPart != L"."; });
    } HCATCH
}

// ---------------------------------------------------------------------------
// Locations

std::wstring GetExePath()
{
    HTRY {
        constexpr DWORD kBufferChars = 65536;
        std::wstring strPath(kBufferChars, L'\0');
        DWORD dwLength = ::GetModuleFileNameW(nullptr, strPath.data(), kBufferChars);
        // A name that fills the buffer was cut (the system reports the lack of room).
        HCHECK_WIN32(dwLength != 0 && dwLength < kBufferChars);
        strPath.resize(dwLength);
        return strPath;
    } HCATCH
}

std::wstring CHFileUtilities::GetExeDirectory()
{
    HTRY {
        return GetPathFromFilename(GetExePath());
    } HCATCH
}

std::wstring CHFileUtilities::GetExeFile()
{
    HTRY {
        return GetFilenameFromPath(GetExePath());
    } HCATCH
}

std::wstring CHFileUtilities::GetCurrentDirectoryW()
{
    HTRY {
        std::wstring strDirectory;
        HCHECK_WIN32(QuerySizedText(
            [](wchar_t* pBuffer, DWORD dwSize) { return ::GetCurrentDirectoryW(dwSize, pBuffer); }, strDirectory));
        return strDirectory;
    } HCATCH
}

std::wstring CHFileUtilities::GetTempDirectory()
{
    HTRY {
        std::wstring strTemp;
        HCHECK_WIN32(
            QuerySizedText([](wchar_t* pBuffer, DWORD dwSize) { return ::GetTempPathW(dwSize, pBuffer); }, strTemp));
        EnsurePathSeparatorAtEnd(strTemp, L"\\");
        // %TEMP% is often given in its 8.3 form ("C:\Users\ADMINI~1\...").
        return GetLongFilePath(strTemp);
    } HCATCH
}

std::wstring CHFileUtilities::GetShortFilePath(const std::wstring& strPath)
{
    HTRY {
        const std::wstring strLong = GetUnicodePath(strPath);
        std::wstring strShort(MAX_PATH, L'\0');
        DWORD dwLength = ::GetShortPathNameW(strLong.c_str(), strShort.data(), MAX_PATH);
        // Too small a buffer: the system reported the size it needs (terminator included).
        while (dwLength >= strShort.size()) {
            strShort.assign(dwLength, L'\0');
            dwLength = ::GetShortPathNameW(strLong.c_str(), strShort.data(), static_cast<DWORD>(strShort.size()));
        }
        if (dwLength == 0)
            return strPath;
        strShort.resize(dwLength);
        RemoveUnicodePath(strShort);
        return strShort;
    } HCATCH
}

std::wstring CHFileUtilities::GetLongFilePath(const std::wstring& strPath)
{
    HTRY {
        // The long-path form only where the plain one cannot go: Wine hands
        // a "\\?\" name back unexpanded, without even looking it up.
        const std::wstring strBackslashed = SetPathSeparator(strPath, L'\\');
        const std::wstring strSent = strPath.starts_with(L"\\\\") || strBackslashed.size() < MAX_PATH
                                         ? strBackslashed
                                         : GetUnicodePath(strBackslashed);
        std::wstring strResult;
        const auto getLongPathName = [&](wchar_t* pBuffer, DWORD dwSize) {
            return ::GetLongPathNameW(strSent.c_str(), pBuffer, dwSize);
        };
        HCHECK_WIN32(QuerySizedText(getLongPathName, strResult),
                     .AddValue(L"File", strPath).AddValue(L"FileSentToWin32", strSent));
        RemoveUnicodePath(strResult);
        return strResult;
    } HCATCH
}

// ---------------------------------------------------------------------------
// Queries

bool CHFileUtilities::FileExists(const std::wstring& strPath)
{
    HTRY {
        WIN32_FIND_DATAW data;
        // The long-path form is taken literally; the second search, on the
        // plain short form, lets the system resolve what the first could not
        // (".." in a path, for one).
        return FindEntry(GetUnicodePath(strPath), data) || FindEntry(GetShortFilePath(strPath), data);
    } HCATCH
}

void CHFileUtilities::CheckFileExists(const std::wstring& strPath)
{
    HTRY {
        if (!FileExists(strPath))
            throw CHException::FromWin32Error(ERROR_FILE_NOT_FOUND, HSITE).AddValue(L"File", strPath);
    } HCATCH
}

bool CHFileUtilities::IsDirectory(const std::wstring& strPath)
{
    HTRY {
        // A drive root has no entry of its own to find.
        if (strPath.size() == 3 && std::iswalpha(strPath[0]) && strPath[1] == L':' && IsSeparator(strPath[2]))
            return true;
        std::wstring strEntry = strPath;
        if (!strEntry.empty() && IsSeparator(strEntry.back()))
            strEntry.pop_back();
        WIN32_FIND_DATAW data;
        return FindEntry(GetUnicodePath(strEntry), data) && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    } HCATCH
}

ULONGLONG CHFileUtilities::GetFileSize(const std::wstring& strPath)
{
    HTRY {
        // Attribute access only: a file that others hold open is still measured.
        CHFileHandle file(::CreateFileW(GetUnicodePath(strPath).c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file)
            return 0;
        LARGE_INTEGER size = {};
        HCHECK_WIN32(::GetFileSizeEx(file.Get(), &size), .AddValue(L"File", strPath));
        return static_cast<ULONGLONG>(size.QuadPart);
    } HCATCH
}

// ---------------------------------------------------------------------------
// Operations

void CHFileUtilities::SetFileReadonly(const std::wstring& strPath, bool bReadOnly)
{
    HTRY {
        int nMode = bReadOnly ? _S_IREAD : (_S_IREAD | _S_IWRITE);
        if (::_wchmod(GetUnicodePath(strPath).c_str(), nMode) != 0) {
            int nErrno = errno;
            throw CHException::FromErrno(nErrno, HSITE);
        }
    } HCATCH
}

void CHFileUtilities::DeleteFileW(const std::wstring& strPath, bool bClearReadOnly)
{
    HTRY {
        const std::wstring strLong = GetUnicodePath(strPath);
        auto deleteFile = [&] { return ::DeleteFileW(strLong.c_str()); };
        DWORD dwError = bClearReadOnly ? RunClearingReadOnlyTarget(strLong, deleteFile)
                                       : (deleteFile() ? NO_ERROR : ::GetLastError());
        if (dwError != NO_ERROR)
            throw CHException::FromWin32Error(dwError, HSITE)
                .AddEntry(HError::DeleteFileFailed, HSITE)
                .AddValue(L"File", strPath);
    } HCATCH
}

namespace {

// Runs a copy or move (transfer) from strSource to strDestination. The system
// replaces the destination in the same step, never deleting it ahead of a
// transfer that may fail; without bFailIfExists a read-only destination is
// made writable for it first. A failure carries eFailure and both names.
template <class Transfer>
void TransferFile(const std::wstring& strSource, const std::wstring& strDestination, bool bFailIfExists,
                  HError eFailure, const CHSourceSite& site, Transfer&& transfer)
{
    const std::wstring strLongSource = CHFileUtilities::GetUnicodePath(strSource);
    const std::wstring strLongDestination = CHFileUtilities::GetUnicodePath(strDestination);
    auto run = [&] { return transfer(strLongSource.c_str(), strLongDestination.c_str()); };
    const DWORD dwError =
        bFailIfExists ? (run() ? NO_ERROR : ::GetLastError()) : RunClearingReadOnlyTarget(strLongDestination, run);
    if (dwError != NO_ERROR)
        throw CHException::FromWin32Error(dwError, site)
            .AddEntry(eFailure, site)
            .AddValue(L"SrcFile", strSource)
            .AddValue(L"DstFile", strDestination);
}

}  // namespace

void CHFileUtilities::MoveFileW(const std::wstring& strSource, const std::wstring& strDestination, bool bFailIfExists)
{
    HTRY {
        const DWORD dwFlags = MOVEFILE_COPY_ALLOWED | (bFailIfExists ? 0 : MOVEFILE_REPLACE_EXISTING);
        TransferFile(strSource, strDestination, bFailIfExists, HError::MoveFileFailed, HSITE,
                     [&](LPCWSTR pszSource, LPCWSTR pszDestination) {
                         return ::MoveFileExW(pszSource, pszDestination, dwFlags);
                     });
    } HCATCH
}

void CHFileUtilities::CopyFileW(const std::wstring& strSource, const std::wstring& strDestination, bool bFailIfExists)
{
    HTRY {
        TransferFile(strSource, strDestination, bFailIfExists, HError::CopyFileFailed, HSITE,
                     [&](LPCWSTR pszSource, LPCWSTR pszDestination) {
                         return ::CopyFileW(pszSource, pszDestination, bFailIfExists ? TRUE : FALSE);
                     });
    } HCATCH
}

void CHFileUtilities::BuildDirectory(const std::wstring& strPath)
{
    HTRY {
        HTRY {
            if (IsDirectory(strPath))
                return;
            // Anything else of that name is in the way. (Asked without trailing
            // separators, which a search does not take.)
            std::wstring strExisting = strPath;
            while (strExisting.size() > 1 && IsSeparator(strExisting.back()))
                strExisting.pop_back();
            if (FileExists(strExisting))
                throw CHException(HError::CreateDirectoryFailed, HSITE).AddValue(L"Directory", strPath);
            if (strPath.empty())
                throw CHException(HError::InvalidParameter, HSITE);

            std::wstring strPlain = strPath;
            RemoveUnicodePath(strPlain);
            std::vector<std::wstring> tokens = CHStringHelper::TokenizeString(strPlain, kSeparators);

            // The part that is never created: the drive, or the server and
            // share of a network path. A path rooted at "\" starts at the
            // current drive's root; a relative one at its first folder.
            std::wstring strPrefix;
            size_t nNext = 0;
            if (strPlain.size() >= 2 && IsSeparator(strPlain[0]) && IsSeparator(strPlain[1])) {
                if (tokens.size() < 2)
                    return;
                strPrefix = L"\\\\" + tokens[0] + L"\\" + tokens[1];
                nNext = 2;
            } else if (strPlain.find(L':') != std::wstring::npos) {
                strPrefix = tokens[0];
                nNext = 1;
            }
            const bool bRelative = IsRelativePath(strPlain) && !IsSeparator(strPlain[0]);

            for (size_t i = nNext; i < tokens.size(); ++i) {
                strPrefix = bRelative && i == 0 ? tokens[0] : strPrefix + L"\\" + tokens[i];
                // Created through the long-path form, so deep trees can be
                // built. A level that already exists as a folder is fine,
                // whatever the system answers (a share may deny creating it);
                // one that exists as a file is not.
                const std::wstring strLong = GetUnicodePath(strPrefix);
                if (!::CreateDirectoryW(strLong.c_str(), nullptr)) {
                    DWORD dwError = ::GetLastError();
                    if (!IsExistingDirectory(strLong))
                        throw CHException::FromWin32Error(dwError, HSITE);
                }
            }
        } HCATCH
    } HCATCH_ATTACH([&](CHException& e) {
        e.AddEntry(HError::CreateDirectoryFailed);
        e.AddValue(L"Directory", strPath);
    })
}
