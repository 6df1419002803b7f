#include "RAde/DEVEDar/HCtlColorSet.h"

#include <algorithm>
#include <utility>

#include "RAde/DEVEDar/HImage.h"
#include "RAde/HException.h"

namespace {
// Calls visit for this set and each fallback in turn; a set met a second
// time closes a loop and ends the walk.
template <class Visit>
void WalkChain(const CHCtlColorSet* pSet, Visit&& visit)
{
    std::vector<const CHCtlColorSet*> visited;
    for (; pSet && std::find(visited.begin(), visited.end(), pSet) == visited.end(); pSet = pSet->GetFallback()) {
        visited.push_back(pSet);
        visit(*pSet);
    }
}
}  // namespace

void CHCtlColorSet::Set(INT_PTR nKey, COLORREF crColor)
{
    HTRY {
        const size_t nIndex = static_cast<size_t>(std::find(m_keys.begin(), m_keys.end(), nKey) - m_keys.begin());
        if (nIndex == m_keys.size()) {
            // Room first: once converted, a value (a brush) must not be lost.
            m_keys.reserve(m_keys.size() + 1);
            m_values.reserve(m_values.size() + 1);
        }
        const INT_PTR nValue = ConvertColor(crColor);
        if (nIndex < m_keys.size()) {
            ReleaseValue(std::exchange(m_values[nIndex], nValue));
        } else {
            m_keys.push_back(nKey);
            m_values.push_back(nValue);
        }
        ++m_nChanges;
    } HCATCH
}

std::optional<INT_PTR> CHCtlColorSet::Lookup(INT_PTR nKey) const
{
    auto it = std::find(m_keys.begin(), m_keys.end(), nKey);
    if (it == m_keys.end())
        return std::nullopt;
    return m_values[static_cast<size_t>(it - m_keys.begin())];
}

void CHCtlColorSet::SetFallback(const CHCtlColorSet* pFallback) noexcept
{
    m_pFallback = pFallback;
    ++m_nChanges;
}

unsigned long long CHCtlColorSet::ChainStamp() const noexcept
{
    unsigned long long nStamp = 0;
    WalkChain(this, [&](const CHCtlColorSet& set) { nStamp += set.m_nChanges; });
    return nStamp;
}

void CHCtlColorSet::BuildFlatTable() const
{
    m_flatTable.clear();
    WalkChain(this, [&](const CHCtlColorSet& set) {
        for (size_t i = 0; i < set.m_keys.size(); ++i) {
            const INT_PTR nKey = set.m_keys[i];
            const bool bTaken = std::any_of(m_flatTable.begin(), m_flatTable.end(),
                                            [&](const CHColorEntry& entry) { return entry.nKey == nKey; });
            if (!bTaken)
                m_flatTable.push_back({nKey, set.m_values[i]});
        }
    });
}

const std::vector<CHColorEntry>& CHCtlColorSet::GetFlatTable() const
{
    HTRY {
        const unsigned long long nStamp = ChainStamp();
        if (nStamp != m_nTableStamp) {
            BuildFlatTable();
            m_nTableStamp = nStamp;
        }
        return m_flatTable;
    } HCATCH
}

std::optional<INT_PTR> CHCtlColorSet::LookupInChain(INT_PTR nKey) const
{
    HTRY {
        for (const CHColorEntry& entry : GetFlatTable())
            if (entry.nKey == nKey)
                return entry.nValue;
        return std::nullopt;
    } HCATCH
}

void CHCtlColorSet::ReleaseAll() noexcept
{
    for (INT_PTR nValue : m_values)
        ReleaseValue(nValue);
    m_keys.clear();
    m_values.clear();
    ++m_nChanges;
}

INT_PTR CHCtlBkBrushSet::ConvertColor(COLORREF crColor)
{
    HBRUSH hBrush = ::CreateSolidBrush(crColor);
    HCHECK_WIN32(hBrush);
    return reinterpret_cast<INT_PTR>(hBrush);
}

void CHCtlBkBrushSet::ReleaseValue(INT_PTR nValue) noexcept
{
    // The set's own brushes, each deleted exactly once: here.
    CHBrushHandle(reinterpret_cast<HBRUSH>(nValue)).Reset();
}
