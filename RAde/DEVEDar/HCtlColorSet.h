// Colour sets: keys (a control ID, a class key, a state number) mapped to a
// stored value made from a colour: the colour itself (CHCtlColorrefSet) or a
// solid brush of it (CHCtlBkBrushSet).
//
// A set may name a fallback set. Lookup asks this set alone; the flat table
// lists every key of the whole chain once, with the value of the first set in
// the chain that has it, so a set overrides its fallbacks. The table is
// rebuilt when this set or any set of its chain has changed since it was made.
//
// Values are kept at the width of a pointer: a brush handle is never cut down
// to 32 bits.
#pragma once

#include <windows.h>

#include <optional>
#include <vector>

// One entry of a flat table.
struct CHColorEntry
{
    INT_PTR nKey;
    INT_PTR nValue;
};

class CHCtlColorSet
{
public:
    CHCtlColorSet() = default;
    virtual ~CHCtlColorSet() = default;
    CHCtlColorSet(const CHCtlColorSet&) = delete;
    CHCtlColorSet& operator=(const CHCtlColorSet&) = delete;

    // Stores the colour (converted) under the key; a value the key held
    // before is released.
    void Set(INT_PTR nKey, COLORREF crColor);
    // The value of the key in this set alone.
    std::optional<INT_PTR> Lookup(INT_PTR nKey) const;
    // The flat table of the chain; valid until the next change of any set of it.
    const std::vector<CHColorEntry>& GetFlatTable() const;
    // The value of the key in the flat table (this set, else its fallbacks).
    std::optional<INT_PTR> LookupInChain(INT_PTR nKey) const;

    // A set that answers for keys this one lacks (null: none). A chain that
    // would lead back to this set is cut where it closes.
    void SetFallback(const CHCtlColorSet* pFallback) noexcept;
    const CHCtlColorSet* GetFallback() const noexcept { return m_pFallback; }
    size_t GetCount() const noexcept { return m_keys.size(); }

protected:
    // The stored value of a colour, and what is released when it goes.
    virtual INT_PTR ConvertColor(COLORREF crColor) { return static_cast<INT_PTR>(crColor); }
    virtual void ReleaseValue(INT_PTR /*nValue*/) noexcept {}
    // Releases every stored value (derived destructors that own values call it).
    void ReleaseAll() noexcept;

private:
    // The sum of the change counts along the chain: it grows whenever any
    // set of the chain changes, so a table built for an older sum is stale.
    unsigned long long ChainStamp() const noexcept;
    void BuildFlatTable() const;

    std::vector<INT_PTR> m_keys;
    std::vector<INT_PTR> m_values;
    const CHCtlColorSet* m_pFallback = nullptr;
    unsigned long long m_nChanges = 1;
    mutable std::vector<CHColorEntry> m_flatTable;
    mutable unsigned long long m_nTableStamp = 0;
};

// Text colours (COLORREF values).
class CHCtlColorrefSet : public CHCtlColorSet
{};

// Background brushes: each colour becomes a solid brush that the set owns and
// deletes when the key gets another colour or the set goes.
class CHCtlBkBrushSet : public CHCtlColorSet
{
public:
    ~CHCtlBkBrushSet() override { ReleaseAll(); }

    HBRUSH LookupBrush(INT_PTR nKey) const
    {
        std::optional<INT_PTR> value = LookupInChain(nKey);
        return value ? reinterpret_cast<HBRUSH>(*value) : nullptr;
    }

protected:
    INT_PTR ConvertColor(COLORREF crColor) override;
    void ReleaseValue(INT_PTR nValue) noexcept override;
};
