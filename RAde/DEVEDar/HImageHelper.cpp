#include "RAde/DEVEDar/HImageHelper.h"

#include <ole2.h>

#include "RAde/HException.h"

void CHImageHelper::OleDraw(IUnknown* pObject, DWORD dwAspect, HDC hDC, const RECT& rcBounds)
{
    HTRY {
        const HRESULT hr = ::OleDraw(pObject, dwAspect, hDC, &rcBounds);
        if (FAILED(hr))
            throw CHException::FromHResult(hr, HSITE);
    } HCATCH
}
