// What a screen reader reads of a window through Active Accessibility: the
// object AccessibleObjectFromWindow hands out (as a client asks for it), and
// that object's own name, role, state and description. The test thread must
// be in a COM apartment (CAccessibilityScope) for a window's own object to
// reach it; a thread in none gets the system's standard object.
#pragma once

#include <windows.h>
#include <oleacc.h>

#include <string>

#include "RAde/HComApartment.h"
#include "RAde/HUniqueHandle.h"

namespace AccessibilityTest {
struct CAccessibleRead
{
    HRESULT hr = E_FAIL;
    std::wstring strName;
    LONG nRole = 0;
    LONG nState = 0;
    std::wstring strDescription;
};

inline CAccessibleRead ReadAccessible(HWND hWnd, DWORD nObjectId = static_cast<DWORD>(OBJID_CLIENT))
{
    CAccessibleRead read;
    CHComPtr<IAccessible> object;
    read.hr =
        ::AccessibleObjectFromWindow(hWnd, nObjectId, IID_IAccessible, reinterpret_cast<void**>(object.OutParam()));
    if (FAILED(read.hr) || !object)
        return read;
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    CHUniqueBstr text;
    if (object->get_accName(self, text.OutParam()) == S_OK)
        read.strName.assign(text.Get(), ::SysStringLen(text.Get()));
    if (object->get_accDescription(self, text.OutParam()) == S_OK)
        read.strDescription.assign(text.Get(), ::SysStringLen(text.Get()));
    VARIANT value{};
    if (object->get_accRole(self, &value) == S_OK && value.vt == VT_I4)
        read.nRole = value.lVal;
    if (object->get_accState(self, &value) == S_OK && value.vt == VT_I4)
        read.nState = value.lVal;
    return read;
}

// The single-threaded apartment a window's thread is in, as a GUI thread's.
class CAccessibilityScope
{
protected:
    CHComApartment m_apartment{COINIT_APARTMENTTHREADED};
};
}  // namespace AccessibilityTest
