#include "RAde/DEVEDar/HTextDrawing.h"

#include <usp10.h>

#include <algorithm>
#include <vector>

#include "RAde/HException.h"
#include "RAde/HUniqueHandle.h"

UINT GetStaticTextFormat(LONG_PTR nStyle) noexcept
{
    const UINT nPrefix = (nStyle & SS_NOPREFIX) != 0 ? DT_NOPREFIX : 0;
    switch (nStyle & SS_TYPEMASK) {
    case SS_CENTER:
        return DT_CENTER | DT_WORDBREAK | nPrefix;
    case SS_RIGHT:
        return DT_RIGHT | DT_WORDBREAK | nPrefix;
    case SS_SIMPLE:
        return DT_LEFT | DT_SINGLELINE | nPrefix;
    default:
        return DT_LEFT | DT_WORDBREAK | nPrefix;
    }
}

namespace {
// The width of one line as it is drawn: shaped, with its letters joined.
int ShapedWidth(HDC hDC, const std::wstring& strLine, bool bRightToLeft)
{
    if (strLine.empty())
        return 0;
    const int nLength = static_cast<int>(strLine.size());
    SCRIPT_STRING_ANALYSIS analysis = nullptr;
    const DWORD dwFlags = SSA_GLYPHS | SSA_FALLBACK | (bRightToLeft ? SSA_RTL : 0);
    if (SUCCEEDED(::ScriptStringAnalyse(hDC, strLine.c_str(), nLength, nLength * 3 / 2 + 16, -1, dwFlags, 0, nullptr,
                                        nullptr, nullptr, nullptr, nullptr, &analysis))) {
        const SIZE* pSize = ::ScriptString_pSize(analysis);
        const int nWidth = pSize != nullptr ? static_cast<int>(pSize->cx) : -1;
        ::ScriptStringFree(&analysis);
        if (nWidth >= 0)
            return nWidth;
    }
    SIZE size{};
    ::GetTextExtentPoint32W(hDC, strLine.c_str(), nLength, &size);
    return size.cx;
}

// The lines of the text: its own line breaks, and with DT_WORDBREAK breaks
// between words where a line would grow wider than nWidth.
std::vector<std::wstring> BreakLines(HDC hDC, const std::wstring& strText, int nWidth, UINT nFormat)
{
    std::vector<std::wstring> lines;
    const bool bRightToLeft = (nFormat & DT_RTLREADING) != 0;
    size_t nStart = 0;
    while (nStart <= strText.size()) {
        size_t nEnd = strText.find(L'\n', nStart);
        std::wstring strParagraph =
            strText.substr(nStart, nEnd == std::wstring::npos ? std::wstring::npos : nEnd - nStart);
        if (!strParagraph.empty() && strParagraph.back() == L'\r')
            strParagraph.pop_back();
        std::wstring strLine;
        size_t nWord = 0;
        while (nWord <= strParagraph.size() && (nFormat & DT_WORDBREAK) != 0) {
            const size_t nSpace = std::min(strParagraph.find(L' ', nWord), strParagraph.size());
            const std::wstring strWord = strParagraph.substr(nWord, nSpace - nWord);
            const std::wstring strLonger = strLine.empty() ? strWord : strLine + L' ' + strWord;
            if (!strLine.empty() && ShapedWidth(hDC, strLonger, bRightToLeft) > nWidth) {
                lines.push_back(strLine);
                strLine = strWord;
            } else {
                strLine = strLonger;
            }
            nWord = nSpace + 1;
        }
        lines.push_back((nFormat & DT_WORDBREAK) != 0 ? strLine : strParagraph);
        if (nEnd == std::wstring::npos)
            break;
        nStart = nEnd + 1;
    }
    return lines;
}

// Each line placed by its shaped width and drawn from its left end.
int DrawShapedLines(HDC hDC, const std::wstring& strText, const RECT& rc, UINT nFormat)
{
    const std::vector<std::wstring> lines = BreakLines(hDC, strText, rc.right - rc.left, nFormat);
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(hDC, &metrics);
    const int nLineHeight = metrics.tmHeight + ((nFormat & DT_EXTERNALLEADING) != 0 ? metrics.tmExternalLeading : 0);
    const int nHeight = nLineHeight * static_cast<int>(lines.size());
    int y = rc.top;
    if ((nFormat & DT_BOTTOM) != 0)
        y = rc.bottom - nHeight;
    else if ((nFormat & DT_VCENTER) != 0)
        y = rc.top + (rc.bottom - rc.top - nHeight) / 2;
    const UINT nLineFormat = DT_LEFT | DT_SINGLELINE | DT_NOCLIP | DT_RTLREADING | (nFormat & DT_NOPREFIX);
    for (const std::wstring& strLine : lines) {
        const int nWidth = ShapedWidth(hDC, strLine, true);
        const int x = (nFormat & DT_RIGHT) != 0 ? rc.right - nWidth : rc.left + (rc.right - rc.left - nWidth) / 2;
        RECT rcLine{x, y, x + nWidth, y + nLineHeight};
        ::DrawTextW(hDC, strLine.c_str(), static_cast<int>(strLine.size()), &rcLine, nLineFormat);
        y += nLineHeight;
    }
    return nHeight;
}
}  // namespace

int DrawTextInRect(HDC hDC, const std::wstring& strText, const RECT& rc, UINT nFormat)
{
    if ((nFormat & DT_RTLREADING) != 0 && (nFormat & (DT_CENTER | DT_RIGHT)) != 0 && (nFormat & DT_CALCRECT) == 0)
        return DrawShapedLines(hDC, strText, rc, nFormat);
    const int nLength = static_cast<int>(strText.size());
    const UINT nVertical = nFormat & (DT_VCENTER | DT_BOTTOM);
    RECT rcText = rc;
    if (nVertical == 0 || (nFormat & DT_SINGLELINE) != 0)
        return ::DrawTextW(hDC, strText.c_str(), nLength, &rcText, nFormat);

    const UINT nLayout = nFormat & ~(DT_VCENTER | DT_BOTTOM);
    RECT rcMeasured = rc;
    ::DrawTextW(hDC, strText.c_str(), nLength, &rcMeasured, nLayout | DT_CALCRECT);
    const int nTextHeight = rcMeasured.bottom - rcMeasured.top;
    if ((nVertical & DT_BOTTOM) != 0) {
        rcText.top = rc.bottom - nTextHeight;
    } else {
        const int nFree = (rc.bottom - rc.top) - nTextHeight;
        rcText.top += nFree / 2;
        rcText.bottom -= nFree / 2;
    }
    return ::DrawTextW(hDC, strText.c_str(), nLength, &rcText, nLayout);
}

void CalcTextSize(const std::wstring& strText, HFONT hFont, RECT& rc, HDC hReferenceDC)
{
    HTRY {
        CHMemoryDC memoryDC(::CreateCompatibleDC(hReferenceDC));
        HCHECK_WIN32(memoryDC);
        const CHSelectedObject font(memoryDC.Get(), hFont);
        RECT rcText = rc;
        std::wstring strCopy = strText;  // DrawTextExW may write into the text it is given
        ::DrawTextExW(memoryDC.Get(), strCopy.data(), static_cast<int>(strCopy.size()), &rcText,
                      DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL, nullptr);
        rc.bottom = rc.top + (rcText.bottom - rcText.top);
    } HCATCH
}

std::wstring GetWindowTextOf(HWND hWnd)
{
    const int nLength = hWnd ? ::GetWindowTextLengthW(hWnd) : 0;
    if (nLength <= 0)
        return {};
    std::wstring strText(static_cast<size_t>(nLength) + 1, L'\0');
    strText.resize(static_cast<size_t>(::GetWindowTextW(hWnd, strText.data(), nLength + 1)));
    return strText;
}
