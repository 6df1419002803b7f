// Paths and files. Every file-system call goes through the long-path form
// ("\\?\C:\..." or "\\?\UNC\server\share\...") of absolute paths, so the
// classic 260-character limit never applies. Both "\" and "/" separate path
// components when a path is read; "\" is what the functions write.
#pragma once

#include <windows.h>

#include <string>

#include "RAde/HUniqueHandle.h"

class CHBuf;

// Text encodings of files.
enum : int
{
    HTEXT_ENCODING_DETECT = 0,
    HTEXT_ENCODING_ANSI = 1,     // the system ANSI code page, no byte-order mark
    HTEXT_ENCODING_UTF16LE = 2,  // mark FF FE
    HTEXT_ENCODING_UTF16BE = 3,  // mark FE FF
    HTEXT_ENCODING_UTF8 = 4,     // mark EF BB BF
};

// How a path stands to links, looked at as itself.
enum class HLinkKind
{
    NotALink,  // a file or folder of its own (or nothing at all)
    // A junction, symbolic link or mount point that the system opens as
    // itself: deleting it removes the link alone.
    Link,
    // The system opens what it leads to (Wine does so with its Unix symbolic
    // links): deleting it would delete the target, so it is never deleted.
    LeadsElsewhere,
};

// The full path of the running executable.
std::wstring GetExePath();

class CHFileUtilities
{
public:
    // ---- Path arithmetic (pure string work)

    // The text after the last separator; the whole path when there is none.
    static std::wstring GetFilenameFromPath(const std::wstring& strPath);
    // The text up to and including the last separator; empty when there is none.
    static std::wstring GetPathFromFilename(const std::wstring& strPath);
    // Appends the separator unless the path is empty or already ends in "\" or "/".
    static void EnsurePathSeparatorAtEnd(std::wstring& strPath, const std::wstring& strSeparator);
    // str1 and str2 joined by exactly one "\"; str2 empty gives str1; str1 empty throws 1010.
    static std::wstring ConcatPathname(const std::wstring& str1, const std::wstring& str2);
    // Copy with every "/" and "\" made chSeparator.
    static std::wstring SetPathSeparator(const std::wstring& strPath, wchar_t chSeparator);
    // The runs of separators at the start and at the end of the path.
    static void GetStartEndSeparators(const std::wstring& strPath, std::wstring& strStart, std::wstring& strEnd);
    // False for "X:..." and "\\..." paths; true otherwise, also for "" and "\x".
    static bool IsRelativePath(const std::wstring& strPath);
    // The file name before its last "."; a name without "." gives "".
    static std::wstring GetFilenameWithoutExtension(const std::wstring& strPath);
    // From the last "." on, dot included; "" for none, for a leading dot, or a dot right after a separator.
    static std::wstring GetFileExtension(const std::wstring& strPath);
    // The long-path form of an absolute path; a relative path comes back with "\" separators.
    static std::wstring GetUnicodePath(const std::wstring& strPath);
    // Undoes GetUnicodePath: "\\?\UNC\s\x" becomes "\\s\x", "\\?\C:\x" becomes "C:\x".
    static void RemoveUnicodePath(std::wstring& strPath);
    // strPath made absolute against strBase, with "." kept and ".." applied.
    // A ".." with nothing before it, or one that would remove the drive or the
    // server and share, throws 1010.
    static std::wstring MakeAbsolutePath(const std::wstring& strBase, const std::wstring& strPath);
    // True when strPath lies below strFolder: all of the folder's components
    // (compared without regard to case), then at least one name that is not
    // ".". Neither path may hold "..".
    static bool IsBelowFolder(const std::wstring& strFolder, const std::wstring& strPath);

    // ---- Locations

    static std::wstring GetExeDirectory();  // with the trailing separator
    static std::wstring GetExeFile();
    static std::wstring GetCurrentDirectoryW();
    // %TEMP% in its long form, with a trailing "\".
    static std::wstring GetTempDirectory();
    // The 8.3 form, or the path unchanged when the system has none.
    static std::wstring GetShortFilePath(const std::wstring& strPath);
    static std::wstring GetLongFilePath(const std::wstring& strPath);

    // ---- Queries

    // False for names holding "*" or "?", which a search would take as patterns.
    static bool FileExists(const std::wstring& strPath);
    // Throws the system's file-not-found error with the value "File".
    static void CheckFileExists(const std::wstring& strPath);
    static bool IsDirectory(const std::wstring& strPath);
    // 0 when the file cannot be opened.
    static ULONGLONG GetFileSize(const std::wstring& strPath);

    // ---- Operations

    static void SetFileReadonly(const std::wstring& strPath, bool bReadOnly);
    static void DeleteFileW(const std::wstring& strPath, bool bClearReadOnly);
    // Without bFailIfExists an existing destination is deleted first.
    static void MoveFileW(const std::wstring& strSource, const std::wstring& strDestination, bool bFailIfExists);
    static void CopyFileW(const std::wstring& strSource, const std::wstring& strDestination, bool bFailIfExists);
    // Creates every missing directory of the path.
    static void BuildDirectory(const std::wstring& strPath);
    // What the path is when looked at as itself (a link as the link); where
    // it leads goes to *pstrLeadsTo for HLinkKind::LeadsElsewhere.
    static HLinkKind GetLinkKind(const std::wstring& strPath, std::wstring* pstrLeadsTo = nullptr);
    // Deletes a directory tree, read-only files included, never following a
    // link out of it: a link in the tree, or the directory itself when it is
    // one, is removed itself. One that the system opens as what it leads to
    // is left with a warning, and so are the folders that hold it (the
    // deletion then fails: "not empty"); false when strPath itself is one.
    static bool DeleteDirectory(const std::wstring& strPath);

    // Reads a whole text file. A byte-order mark, or failing that the
    // system's Unicode-text test, decides the encoding; nDefaultEncoding
    // applies to everything else.
    static std::wstring ReadTextFile(const std::wstring& strPath, int nDefaultEncoding);
    // Writes or appends text; a new file starts with the encoding's mark.
    // Appending with HTEXT_ENCODING_DETECT keeps the existing file's encoding.
    static void WriteTextFile(const std::wstring& strPath, const std::wstring& strContent, bool bAppend, int nEncoding);
    static std::wstring FileContentToString(CHBuf& buffer, int nDefaultEncoding);
    // Appends the encoded text (and first the mark, if asked) to the buffer.
    static void StringToFileContent(const std::wstring& strContent, CHBuf& buffer, int nEncoding, bool bWriteMark);
};
