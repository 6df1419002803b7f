// What the launcher makes of one installer answer, and the pitfalls in it.
//
// The answer is taken apart by the launcher's own parser (InstallParsers):
// this class only adds what the launcher passes over in silence. It
// collects two kinds of output lines: the description (each autorun as it
// would be started, the language, the delete flag, what the exit code leads
// to) and the findings, "SOURCE(LINE,COLUMN): finding" where the answer has a
// place for them, "SOURCE: finding" otherwise.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "InstallerShim/AnswerPipeServer.h"
#include "InstallerShim/InstallParsers.h"

class CAnswerCheck
{
public:
    // strSource names the answer in the findings: the file, or the pipe.
    explicit CAnswerCheck(std::wstring strSource) : m_strSource(std::move(strSource)) {}

    // The answer as it came, and what the launcher takes from it: described,
    // then checked line by line. No answer, an empty one and one over the
    // cap are described as none.
    void CheckAnswer(const CAnswerPipeServer::CReceipt& receipt, const InstallParsers::CInstallerAnswer& answer);
    // What stage two does after an installer that ended with this code.
    void DescribeExitCode(DWORD dwExitCode, const InstallParsers::CInstallerAnswer& answer);
    void Describe(const std::wstring& strLine) { m_description += strLine + L"\n"; }
    // A finding about the answer as a whole.
    void Report(const std::wstring& strFinding) { m_findings.push_back({0, m_strSource + L": " + strFinding}); }

    const std::wstring& GetDescription() const { return m_description; }
    // The findings about the whole answer first, then the others by their place.
    std::wstring GetFindings() const;
    bool HasFindings() const { return !m_findings.empty(); }

private:
    void Report(size_t nOffset, const std::wstring& strFinding);
    void DescribeAnswer(const InstallParsers::CInstallerAnswer& answer);
    void CheckEncoding(const std::vector<unsigned char>& bytes);
    void CheckLineEnds();
    void CheckLine(const InstallParsers::CAnswerLine& line);
    void CheckUnknownKey(const InstallParsers::CAnswerLine& line);

    std::wstring m_strSource;
    std::wstring m_strText;  // the answer as the launcher decodes it
    std::wstring m_description;
    // Each finding's line, after its place in the text plus one (0: none).
    std::vector<std::pair<size_t, std::wstring>> m_findings;
};
