// Imports GDI+ the ordinary way, which the launcher must never do.
#include <windows.h>

extern "C" int WINAPI GdiplusStartup(ULONG_PTR*, const void*, void*);

int wmain()
{
    return GdiplusStartup(nullptr, nullptr, nullptr);
}
