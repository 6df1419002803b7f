#include "RAde/HXmlPath.h"

#include "RAde/HException.h"
#include "RAde/HStringHelper.h"

CHXmlPath::CHXmlPath(const std::wstring& strPath)
{
    HTRY {
        bool bVoid = false;
        for (const std::wstring& strStep : CHStringHelper::TokenizeString(strPath, L"/")) {
            CHXmlPathStep& step = m_steps.emplace_back();
            if (!bVoid)
                bVoid = !ParseStep(strStep, step);
        }
    } HCATCH
}

bool CHXmlPath::ParseStep(const std::wstring& strText, CHXmlPathStep& step)
{
    if (strText.empty() || strText[0] == L'[')
        return false;

    size_t nOpen = strText.find(L'[');
    if (nOpen == std::wstring::npos || strText.find(L']', nOpen) == std::wstring::npos) {
        step.strName = strText;
        return true;
    }

    step.strName = strText.substr(0, nOpen);
    while (nOpen != std::wstring::npos) {
        // A group is [name="value"]: the "=" and both quotes before the group's
        // closing bracket, and a value of at least one character.
        size_t nClose = strText.find(L']', nOpen);
        size_t nEquals = strText.find(L'=', nOpen);
        if (nClose == std::wstring::npos || nEquals == std::wstring::npos || nEquals > nClose)
            return false;
        size_t nQuote1 = strText.find(L'"', nEquals);
        size_t nQuote2 = nQuote1 == std::wstring::npos ? nQuote1 : strText.find(L'"', nQuote1 + 1);
        if (nQuote2 == std::wstring::npos || nQuote2 > nClose || nQuote2 == nQuote1 + 1)
            return false;
        step.attributeNames.push_back(strText.substr(nOpen + 1, nEquals - nOpen - 1));
        step.attributeValues.push_back(strText.substr(nQuote1 + 1, nQuote2 - nQuote1 - 1));
        nOpen = strText.find(L'[', nClose);
    }
    return true;
}
