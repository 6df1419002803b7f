#include "RAde/DEVEDar/HGUIHelpers.h"

#include <iterator>

#include "RAde/HStringHelper.h"

namespace
{
constexpr DWORD kStyleBitsOfButtonKind = 0x0F;
constexpr DWORD kStyleBitsOfStaticKind = 0x1F;

struct CClassKind
{
    const wchar_t* pszClass;
    EControlKind nKind;
};

// First match wins; "button" and "static" are told apart by style below.
constexpr CClassKind kClassKinds[] = {
    {L"edit", controlEdit},
    {L"scrollbar", controlScrollBar},
    {L"msctls_trackbar32", controlSlider},
    {L"msctls_updown32", controlSpin},
    {L"msctls_progress32", controlProgress},
    {L"syslistview32", controlListView},
    {L"systreeview32", controlTreeView},
    {L"systabcontrol32", controlTab},
    {L"sysdatetimepick32", controlDateTime},
    {L"sysmonthcal32", controlMonthCal},
    {L"sysheader32", controlHeader},
    {L"combobox", controlCombo},
    {L"listbox", controlList},
    {L"RichEdit20A", controlRichEdit},
};

EControlKind ButtonKind(DWORD dwStyle)
{
    switch (dwStyle & kStyleBitsOfButtonKind) {
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
        return controlCheck;
    case BS_RADIOBUTTON:
    case BS_3STATE:
    case BS_AUTO3STATE:
    case BS_AUTORADIOBUTTON:
        return controlRadio;
    case BS_GROUPBOX:
        return controlGroup;
    default:
        return controlPushButton;
    }
}

EControlKind StaticKind(DWORD dwStyle)
{
    const DWORD dwType = dwStyle & kStyleBitsOfStaticKind;
    if (dwType == SS_ICON)
        return controlIcon;
    if (dwType >= SS_BLACKRECT && dwType <= SS_WHITERECT)
        return controlRect;
    if (dwType >= SS_BLACKFRAME && dwType <= SS_WHITEFRAME)
        return controlFrame;
    if (dwType == SS_USERITEM)
        return controlUserItem;
    if (dwType >= SS_OWNERDRAW && dwType <= SS_ENHMETAFILE)
        return controlPicture;
    if (dwType >= SS_ETCHEDHORZ && dwType <= SS_ETCHEDFRAME)
        return controlEtched;
    return controlText;
}
}  // namespace

EControlKind GetControlKind(const wchar_t* pszClassName, DWORD dwStyle)
{
    for (const CClassKind& entry : kClassKinds)
        if (CHStringHelper::EqualsNoCase(pszClassName, entry.pszClass))
            return entry.nKind;
    if (CHStringHelper::EqualsNoCase(pszClassName, L"button"))
        return ButtonKind(dwStyle);
    if (CHStringHelper::EqualsNoCase(pszClassName, L"static"))
        return StaticKind(dwStyle);
    return controlOther;
}

EControlKind GetControlKind(HWND hWnd)
{
    // Window class names are at most 256 characters.
    wchar_t szClass[257] = {};
    if (!hWnd || ::GetClassNameW(hWnd, szClass, static_cast<int>(std::size(szClass))) == 0)
        return controlOther;
    return GetControlKind(szClass, static_cast<DWORD>(::GetWindowLongPtrW(hWnd, GWL_STYLE)));
}

const wchar_t* GetSkinClassName(int nKind) noexcept
{
    static constexpr const wchar_t* kNames[] = {
        L"button", L"radio", L"check", L"group", L"text", L"edit", L"list", L"list", L"treeview",
        L"datetime", L"monthcal", L"tab", L"combo", L"icon", L"rect", L"frame", L"useritem", L"picture",
        L"etched", L"scrollbar", L"slider", L"spin", L"progress", L"richedit", L"header",
    };
    if (nKind < 0 || nKind >= static_cast<int>(std::size(kNames)))
        return L"";
    return kNames[nKind];
}
