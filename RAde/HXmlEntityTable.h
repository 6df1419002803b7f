// The entity references that the XML reader decodes in text and attribute values.
#pragma once

#include <span>
#include <string>
#include <string_view>

struct CHXmlEntity
{
    wchar_t chDecoded;
    wchar_t szReference[11];  // at most 10 code units, zero-terminated
    int nLength;              // of szReference, in code units
};

class CHXmlEntityTable
{
public:
    constexpr explicit CHXmlEntityTable(std::span<const CHXmlEntity> entries) : m_entries(entries) {}

    // Replaces every reference of the table by its character, scanning left
    // to right and trying the entries in order. Anything else (numeric
    // references, unknown names) stays as it stands.
    std::wstring Decode(std::wstring_view text) const;

    std::span<const CHXmlEntity> GetEntries() const { return m_entries; }

private:
    std::span<const CHXmlEntity> m_entries;
};

inline constexpr CHXmlEntity g_defaultXmlEntities[] = {
    {L'&', L"&amp;", 5}, {L'"', L"&quot;", 6}, {L'\'', L"&apos;", 6}, {L'<', L"&lt;", 4}, {L'>', L"&gt;", 4},
};

// The five predefined references of XML. Constant-initialised, so it is
// ready before any other code of the process runs.
inline constexpr CHXmlEntityTable DefaultEntities{g_defaultXmlEntities};
