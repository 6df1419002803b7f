#include "tools/common/ToolSupport.h"

#include <algorithm>
#include <iterator>

#include "RAde/HException.h"
#include "RAde/HFileUtilities.h"
#include "RAde/HUniqueHandle.h"

namespace ToolSupport {

void WriteUtf8(DWORD dwStdHandle, const std::wstring& strText)
{
    if (strText.empty())
        return;
    const int nBytes = ::WideCharToMultiByte(CP_UTF8, 0, strText.data(), static_cast<int>(strText.size()), nullptr, 0,
                                             nullptr, nullptr);
    std::string bytes(static_cast<size_t>(std::max(nBytes, 0)), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, strText.data(), static_cast<int>(strText.size()), bytes.data(), nBytes, nullptr,
                          nullptr);
    DWORD dwWritten = 0;
    ::WriteFile(::GetStdHandle(dwStdHandle), bytes.data(), static_cast<DWORD>(bytes.size()), &dwWritten, nullptr);
}

std::wstring OneLineDescription(const CHException& e)
{
    // An entry's own parts; what else it holds are the values it was given.
    static const std::wstring kParts[] = {L"description", L"errorcode", L"sourcefile", L"sourceline",
                                          L"sourcefunction"};
    std::wstring strText;
    for (const CHXmlNode* pEntry : e.GetXml().GetChildren(L"errorentry")) {
        const CHXmlNode* pCode = pEntry->Find(L"errorcode");
        const CHXmlNode* pDescription = pEntry->Find(L"description");
        if (!pDescription || (pCode && pCode->GetValue() == L"1005"))
            continue;
        if (!strText.empty())
            strText += L" ";
        strText += pDescription->GetValue();
        for (const auto& pValue : pEntry->GetChildNodes())
            if (std::find(std::begin(kParts), std::end(kParts), pValue->GetName()) == std::end(kParts))
                strText += L" (" + pValue->GetName() + L": " + pValue->GetValue() + L")";
    }
    std::replace(strText.begin(), strText.end(), L'\n', L' ');
    return strText;
}

std::vector<unsigned char> ReadFileBytes(const std::wstring& strPath)
{
    HTRY {
        CHFileHandle file(::CreateFileW(CHFileUtilities::GetUnicodePath(strPath).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        HCHECK_WIN32(file, .AddValue(L"File", strPath));
        std::vector<unsigned char> bytes;
        unsigned char chunk[65536];
        DWORD dwRead = 0;
        while (::ReadFile(file.Get(), chunk, sizeof(chunk), &dwRead, nullptr) && dwRead > 0)
            bytes.insert(bytes.end(), chunk, chunk + dwRead);
        return bytes;
    } HCATCH
}

std::wstring Printable(std::wstring strText)
{
    std::replace_if(
        strText.begin(), strText.end(), [](wchar_t ch) { return ch < L' '; }, L'?');
    return strText;
}

std::wstring Quoted(const std::wstring& strText)
{
    return L"\"" + Printable(strText) + L"\"";
}

std::wstring LineAndColumn(const std::wstring& strText, size_t nOffset)
{
    if (nOffset > strText.size())
        return L"1,1";
    const auto itOffset = strText.begin() + static_cast<std::ptrdiff_t>(nOffset);
    const size_t nLine = 1 + static_cast<size_t>(std::count(strText.begin(), itOffset, L'\n'));
    const size_t nLineStart = nOffset == 0 ? std::wstring::npos : strText.rfind(L'\n', nOffset - 1);
    const size_t nColumn = nOffset - (nLineStart == std::wstring::npos ? 0 : nLineStart + 1) + 1;
    return std::to_wstring(nLine) + L"," + std::to_wstring(nColumn);
}

}  // namespace ToolSupport
