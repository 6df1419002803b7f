// The launcher's text work: the switches of its command line, the delete
// list of "autorun.inf" kept below the executable's folder, an autorun value,
// and the lines of the installer's answer. These functions take the text
// they are given and open no file, pipe or registry key; only an autorun's
// program is looked for, since a program that is not there is never
// started. CInstallUtils and CAnswerPipeServer read the text and hand it here.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace InstallParsers {

using AutorunList = std::vector<std::pair<std::wstring, std::wstring>>;  // (program, argument)

// What the installer's answer sets.
struct CInstallerAnswer
{
    AutorunList autoruns;
    std::wstring strLanguage;
    bool bDeleteFiles = false;
};

// ---- Command line

// The relaunch switch that names the medium's folder, which the delete list
// lies below (a line without it is accepted: the caller then takes its own
// current directory for it).
inline constexpr wchar_t MediumFolderSwitch[] = L"/mediumFolder=";

// Splits the command line into the values of "/run=", "/runWorkingFolder=",
// "/deleteAfterInstall=" and, when pstrMediumFolder is given,
// "/mediumFolder=" (switches in any case, the last of each wins), and the
// other tokens, which are appended to strRemaining one blank apart as
// written. A token ends at a blank outside double quotes; a quoted value
// keeps its blanks as they are. An output that no token sets keeps its value.
void ParseCommandLine(const std::wstring& strCommandLine, std::wstring& strRun, std::wstring& strRunWorkingFolder,
                      std::wstring& strDeleteAfterInstall, std::wstring& strRemaining,
                      std::wstring* pstrMediumFolder = nullptr);
// The value of a switch token: without its first nPrefixLength
// characters, and without its outer quotes when it begins with one.
std::wstring GetTrimmedArgValue(const std::wstring& strToken, size_t nPrefixLength);
// True when the token opens a double quote that it does not close.
bool HasUnclosedQuote(const std::wstring& strToken);

// ---- "autorun.inf"

// What becomes of one entry of the ";"-separated deleteAfterInstall value.
enum class DeleteEntryVerdict
{
    Kept,            // relative and below the folder: it reaches the delete list
    Empty,           // nothing between two ";" (or before the first one)
    Absolute,        // a drive or share path, which could name any folder of the machine
    LeavesFolder,    // its ".." segments climb out of the folder, or above the drive
    HoldsSeparator,  // its absolute path holds a ";" (from the folder's name), which the list cannot carry
};

struct CDeleteEntry
{
    std::wstring strText;  // as written
    size_t nOffset = 0;    // where it begins in the value
    DeleteEntryVerdict verdict = DeleteEntryVerdict::Kept;
    std::wstring strPath;  // made absolute against the folder (Kept and HoldsSeparator)
};

// The entries of the deleteAfterInstall value in their order, each with its
// verdict. The piece after a final ";" is no entry.
std::vector<CDeleteEntry> ClassifyDeleteEntries(const std::wstring& strExeDirectory,
                                                const std::wstring& strDeleteValue);
// The ";"-separated deleteAfterInstall value reduced to the paths the deleter
// may have: the relative ones, made absolute against strExeDirectory and
// staying below it, again ";"-separated. One that leaves the folder, or that
// holds a ";" once absolute (the folder's name may), is logged and left out.
std::wstring DeleteListBelowFolder(const std::wstring& strExeDirectory, const std::wstring& strDeleteValue);
// False for a value that holds a double quote or a control character: no
// path holds one, and quoted on the relaunch line it would end its quotes
// early and write switches of its own.
bool CanReachTheCommandLine(const std::wstring& strValue);

// ---- The installer's answer

// The keys of the answer, compared without regard to case.
inline constexpr wchar_t AutorunKey[] = L"autorun=";
inline constexpr wchar_t LanguageKey[] = L"language=";
inline constexpr wchar_t DeleteFilesKey[] = L"delete-files=";
inline constexpr const wchar_t* AnswerKeys[] = {AutorunKey, LanguageKey, DeleteFilesKey};

// One line of the answer as the launcher reads it: the text between two line
// feeds (a carriage return before the line feed stays part of it), with the
// key it begins with and the value that key takes from it.
struct CAnswerLine
{
    size_t nNumber = 0;  // from 1
    size_t nOffset = 0;  // of the line's first character in the text
    std::wstring strText;
    const wchar_t* pszKey = nullptr;  // one of AnswerKeys; nullptr: the line is ignored
    std::wstring strValue;            // the value, its outer quotes taken off
};

// The answer's lines that hold anything, in order; empty lines are left out.
std::vector<CAnswerLine> SplitAnswerLines(const std::wstring& strText);
// The answer's bytes as text: UTF-16 or UTF-8 after a byte-order mark;
// without one, UTF-16 in the byte order the text's statistics suggest
// (little-endian when they suggest none).
std::wstring DecodeAnswer(const std::vector<unsigned char>& bytes);

// An autorun value split into program and argument, as it is started.
std::pair<std::wstring, std::wstring> SplitAutorunValue(const std::wstring& strValue);
// True when an autorun's program would be started: a file that is there,
// not a folder.
bool IsStartableProgram(const std::wstring& strProgram);
// One autorun value, program and argument, appended to autoruns when its
// program is a file that is there (otherwise a warning is logged).
void ParseAutorunProgramAndArgument(const std::wstring& strValue, AutorunList& autoruns);
// Each line of the answer that begins with "autorun=", "language=" or
// "delete-files=" (in any case) sets what its key names in answer; other
// lines are ignored.
void ApplyAnswerLines(const std::wstring& strText, CInstallerAnswer& answer);

}  // namespace InstallParsers
