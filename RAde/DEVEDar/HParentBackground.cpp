#include "RAde/DEVEDar/HParentBackground.h"

#include <vector>

#include "RAde/HUniqueHandle.h"

HBRUSH GetParentColorBrush(HWND hWnd, UINT nColorMessage, HDC hDC)
{
    HWND hParent = ::GetParent(hWnd);
    if (hParent == nullptr)
        return nullptr;
    return reinterpret_cast<HBRUSH>(
        ::SendMessageW(hParent, nColorMessage, reinterpret_cast<WPARAM>(hDC), reinterpret_cast<LPARAM>(hWnd)));
}

void FillWithParentBrush(HWND hWnd, UINT nColorMessage, HDC hDC, const RECT& rc)
{
    if (HBRUSH hBrush = GetParentColorBrush(hWnd, nColorMessage, hDC))
        ::FillRect(hDC, &rc, hBrush);
}

void MoveOriginToPlaceInParent(HWND hWnd, HDC hDC) noexcept
{
    POINT ptInParent{0, 0};
    ::MapWindowPoints(hWnd, ::GetParent(hWnd), &ptInParent, 1);
    ::OffsetWindowOrgEx(hDC, -ptInParent.x, -ptInParent.y, nullptr);
}

void RedrawChildrenInRect(HWND hParent, const RECT& rcScreen)
{
    // Collected first: a child's paint may change the list of children.
    std::vector<HWND> children;
    for (HWND hChild = ::GetWindow(hParent, GW_CHILD); hChild; hChild = ::GetWindow(hChild, GW_HWNDNEXT))
        if (::IsWindowVisible(hChild))
            children.push_back(hChild);
    for (HWND hChild : children) {
        RECT rcChild{}, rcCommon{};
        if (!::GetWindowRect(hChild, &rcChild) || !::IntersectRect(&rcCommon, &rcChild, &rcScreen))
            continue;
        ::MapWindowPoints(nullptr, hChild, reinterpret_cast<POINT*>(&rcCommon), 2);
        ::InvalidateRect(hChild, &rcCommon, FALSE);
        CHWindowDC dc(CHWindowDCTraits::Handle{hChild, ::GetDC(hChild)});
        if (dc.Get().hDC != nullptr)
            ::SendMessageW(hChild, WM_PAINT, reinterpret_cast<WPARAM>(dc.Get().hDC), 0);
    }
}
