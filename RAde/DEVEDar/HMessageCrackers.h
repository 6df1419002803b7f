// Message crackers of the window layer: what a message's parameters carry,
// read with the right signs and types, and what a handler answers.
#pragma once

#include <windows.h>

#include <optional>

// A message handler's answer: the result of a message it handled, or
// std::nullopt for one it leaves to the window's own procedure.
using CHMessageAnswer = std::optional<LRESULT>;

// A mouse message's point (signed: left of or above the window is negative).
inline POINT PointFromLParam(LPARAM lParam) noexcept
{
    return POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
}
// The WINDOWPOS of WM_WINDOWPOSCHANGING and WM_WINDOWPOSCHANGED (null for a
// stray message that carries none).
inline const WINDOWPOS* WindowPosFromLParam(LPARAM lParam) noexcept
{
    return reinterpret_cast<const WINDOWPOS*>(lParam);
}
