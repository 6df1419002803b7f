#include "RAde/HXmlEntityTable.h"

std::wstring CHXmlEntityTable::Decode(std::wstring_view text) const
{
    // Only positions holding the first character of some reference can match.
    std::wstring strStarts;
    for (const CHXmlEntity& entity : m_entries)
        if (entity.nLength > 0 && strStarts.find(entity.szReference[0]) == std::wstring::npos)
            strStarts.push_back(entity.szReference[0]);

    std::wstring decoded;
    decoded.reserve(text.size());
    size_t nPos = 0;
    while (nPos < text.size()) {
        size_t nCandidate = text.find_first_of(strStarts, nPos);
        if (nCandidate == std::wstring_view::npos) {
            decoded.append(text.substr(nPos));
            break;
        }
        decoded.append(text.substr(nPos, nCandidate - nPos));
        nPos = nCandidate;
        const CHXmlEntity* pMatch = nullptr;
        for (const CHXmlEntity& entity : m_entries) {
            if (entity.nLength > 0 &&
                text.substr(nPos).starts_with(std::wstring_view(entity.szReference, entity.nLength))) {
                pMatch = &entity;
                break;
            }
        }
        if (pMatch) {
            decoded.push_back(pMatch->chDecoded);
            nPos += pMatch->nLength;
        } else {
            decoded.push_back(text[nPos++]);
        }
    }
    return decoded;
}
