// A program that may import only the KnownDLLs (the build refuses it
// otherwise), yet uses the GUI library's images, alpha blending and
// subclassing. It proves that gdiplus.dll, msimg32.dll and comctl32.dll are
// loaded on first use, after the DLL search has been restricted, and not before:
// not even by the default dialog appearance, which is built before wmain runs.
#include <windows.h>

#include <cstdio>

#include "RAde/DEVEDar/HDialogAppeareaceDef.h"
#include "RAde/DEVEDar/HImage.h"
#include "RAde/DEVEDar/HWindowImpl.h"
#include "RAde/HException.h"

namespace {
bool IsLoaded(const wchar_t* pszDll)
{
    return ::GetModuleHandleW(pszDll) != nullptr;
}

int Fail(const char* pszWhat)
{
    std::printf("FAIL: %s\n", pszWhat);
    return 1;
}

// The image layer's first save starts GDI+.
void EncodePng()
{
    CHImage image;
    image.Create(4, 4, 32, CHImage::createAlphaChannel);
    IStream* pRawStream = nullptr;
    if (FAILED(::CreateStreamOnHGlobal(nullptr, TRUE, &pRawStream)))
        throw CHException(HError::InvalidParameter, HSITE);
    CHStreamPtr pStream(pRawStream);
    image.Save(pRawStream);
}

bool AlphaBlendOnce()
{
    CHImage source, target;
    source.Create(4, 4, 32, CHImage::createAlphaChannel);
    target.Create(4, 4, 32, CHImage::createAlphaChannel);
    CHImageDC targetDC(target);
    return source.AlphaBlend(targetDC.Get(), 0, 0, 4, 4, 0, 0, 4, 4);
}

bool SubclassOnce()
{
    CHWindowHandle control(::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                             ::GetModuleHandleW(nullptr), nullptr));
    CHWindowImpl window;
    return control && window.SubclassWindow(control.Get());
}
}  // namespace

int wmain()
{
    ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (IsLoaded(L"gdiplus.dll") || IsLoaded(L"msimg32.dll") || IsLoaded(L"comctl32.dll"))
        return Fail("a GUI DLL was loaded before its first use");
    if (!g_pAppearance || !g_pAppearance->GetControlFont())
        return Fail("the default appearance was not built before wmain");
    try {
        EncodePng();
    } catch (const CHException& e) {
        std::printf("%ls\n", e.GetDescription(7).c_str());
        return Fail("encoding a PNG");
    }
    if (!IsLoaded(L"gdiplus.dll"))
        return Fail("GDI+ was not loaded by the first image save");
    if (!AlphaBlendOnce() || !IsLoaded(L"msimg32.dll"))
        return Fail("AlphaBlend did not load msimg32.dll");
    if (!SubclassOnce() || !IsLoaded(L"comctl32.dll"))
        return Fail("subclassing did not load comctl32.dll");
    std::printf("gdiplus.dll, msimg32.dll and comctl32.dll loaded on first use\n");
    return 0;
}
