#include "RAde/DEVEDar/HFormSkinData.h"

#include <utility>

#include "RAde/HStringHelper.h"

namespace {
constexpr const wchar_t* kStateSuffixes[stateCount] = {L"n", L"s", L"r", L"u", L"d", L"f", L"fd", L"rd"};
constexpr const wchar_t* kStateColorAttributes[stateCount] = {nullptr,    L"color-s", L"color-r",  L"color-u",
                                                              L"color-d", L"color-f", L"color-fd", L"color-rd"};
constexpr const wchar_t* kFrameImageNames[frameImageCount] = {
    L"caption",    L"edge_left_top",    L"edge_top",    L"edge_right_top",   L"edge_left",
    L"edge_right", L"edge_left_bottom", L"edge_bottom", L"edge_right_bottom"};
}  // namespace

const wchar_t* GetStateSuffix(int nState) noexcept
{
    return nState >= 0 && nState < stateCount ? kStateSuffixes[nState] : L"";
}

const wchar_t* GetStateColorAttribute(int nState) noexcept
{
    return nState >= 0 && nState < stateCount ? kStateColorAttributes[nState] : nullptr;
}

const wchar_t* GetFrameImageName(int nImage) noexcept
{
    return nImage >= 0 && nImage < frameImageCount ? kFrameImageNames[nImage] : L"";
}

int GetClassKey(const std::wstring& strClassId)
{
    static constexpr std::pair<const wchar_t*, int> kClassKeys[] = {
        {L"msgbox", WM_CTLCOLORMSGBOX}, {L"edit", WM_CTLCOLOREDIT},     {L"list", WM_CTLCOLORLISTBOX},
        {L"button", WM_CTLCOLORBTN},    {L"dialog", WM_CTLCOLORDLG},    {L"scrollbar", WM_CTLCOLORSCROLLBAR},
        {L"combo", WM_CTLCOLORLISTBOX}, {L"static", WM_CTLCOLORSTATIC},
    };
    for (const auto& [pszId, nKey] : kClassKeys)
        if (CHStringHelper::EqualsNoCase(strClassId, pszId))
            return nKey;
    return 0;
}

void CHFormSkinData::LinkToGeneral(const CHFormSkinData& general) noexcept
{
    m_controlTextColors.SetFallback(&general.m_controlTextColors);
    m_classTextColors.SetFallback(&general.m_classTextColors);
    m_classBrushes.SetFallback(&general.m_classBrushes);
}
