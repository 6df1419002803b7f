// Drawing helpers for things that are not our own images.
#pragma once

#include <windows.h>
#include <unknwn.h>

class CHImageHelper
{
public:
    // Draws an OLE object (through its IViewObject) into rcBounds of hDC with
    // the system's OleDraw. A failing HRESULT is thrown with its system text.
    static void OleDraw(IUnknown* pObject, DWORD dwAspect, HDC hDC, const RECT& rcBounds);
};
