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

// One autorun value, program and argument, appended to autoruns when its
// program is a file that is there (otherwise a warning is logged).
void ParseAutorunProgramAndArgument(const std::wstring& strValue, AutorunList& autoruns);
// Each line of the answer that begins with "autorun=", "language=" or
// "delete-files=" (in any case) sets what its key names in answer; other
// lines are ignored.
void ApplyAnswerLines(const std::wstring& strText, CInstallerAnswer& answer);

}  // namespace InstallParsers
