/* A DLL whose name Windows does not ship: the start-up tests place it beside
   the test program and check that the hardened search no longer finds it. */
#include <windows.h>

__declspec(dllexport) int HardeningProbeAnswer(void)
{
    return 42;
}
