// Fonts by point size. A CHFont owns its font handle: creating a new font or
// destroying the object deletes the old one.
#pragma once

#include <windows.h>

#include <string>

#include "RAde/DEVEDar/HImage.h"

class CHFont
{
public:
    // Flags of CreatePt.
    static constexpr DWORD fontBold = 0x01;  // weight 700 instead of 400
    static constexpr DWORD fontItalic = 0x02;
    static constexpr DWORD fontUnderline = 0x04;
    static constexpr DWORD fontDraftQuality = 0x08;  // DRAFT_QUALITY instead of m_nQuality

    CHFont() noexcept = default;
    CHFont(CHFont&&) noexcept = default;
    CHFont& operator=(CHFont&&) noexcept = default;

    // Creates the font with the character height of nPointSize points on hDC
    // (96 dots per inch without one), replacing the font held so far. A font
    // the system cannot create leaves the handle empty.
    void CreatePt(int nPointSize, const std::wstring& strFaceName, HDC hDC = nullptr, DWORD dwFlags = 0);

    HFONT GetHandle() const noexcept { return m_hFont.Get(); }
    operator HFONT() const noexcept { return m_hFont.Get(); }
    bool IsNull() const noexcept { return !m_hFont; }

    // Quality used unless fontDraftQuality is given; 5 is ClearType.
    int m_nQuality = CLEARTYPE_QUALITY;

private:
    CHFontHandle m_hFont;
};
