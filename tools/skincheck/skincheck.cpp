// skincheck [FOLDER]
//
// Tells a skin author what is wrong with a skin before it ships. Reads
// FOLDER\SkinningConfig.xml (FOLDER defaults to the current directory) with
// the skinned GUI library's own reader and lookups, and prints one finding
// per line on standard output, in UTF-8:
//
//   FOLDER\SkinningConfig.xml(LINE,COLUMN): what is wrong
//
// The findings are those of CSkinCheck (SkinCheck.h).
//
// Exit code 0 when there is no finding, 1 when there are findings, 2 for bad usage.
#include <windows.h>

#include <string>
#include <vector>

#include "RAde/HException.h"
#include "RAde/HFileUtilities.h"
#include "tools/common/ToolSupport.h"
#include "tools/skincheck/SkinCheck.h"

int wmain(int argc, wchar_t** argv)
{
    const bool bBadUsage = argc > 2 || (argc == 2 && (argv[1][0] == L'/' || argv[1][0] == L'-'));
    std::wstring strFolder = argc == 2 ? argv[1] : L".";
    if (bBadUsage || !CHFileUtilities::IsDirectory(strFolder)) {
        ToolSupport::WriteUtf8(STD_ERROR_HANDLE,
                               L"usage: skincheck [FOLDER]\n  checks FOLDER\\SkinningConfig.xml and its images "
                               L"(FOLDER: an existing folder, the current one by default)\n");
        return 2;
    }
    try {
        CSkinCheck check(strFolder);
        const std::vector<CSkinCheck::CFinding> findings = check.Run();
        const std::wstring strFile = CHFileUtilities::ConcatPathname(strFolder, CSkinCheck::SkinFileName);
        std::wstring strOut;
        for (const CSkinCheck::CFinding& finding : findings)
            strOut += strFile + L"(" + check.Position(finding.nOffset) + L"): " + finding.strMessage + L"\n";
        ToolSupport::WriteUtf8(STD_OUTPUT_HANDLE, strOut);
        return findings.empty() ? 0 : 1;
    } catch (const CHException& e) {
        ToolSupport::WriteUtf8(STD_ERROR_HANDLE, L"skincheck: " + ToolSupport::OneLineDescription(e) + L"\n");
        return 1;
    }
}
