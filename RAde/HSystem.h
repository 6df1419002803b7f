// System helpers: names for kernel objects, open security attributes, and
// asking Windows to restart.
#pragma once

#include <windows.h>

#include <string>

// <winuser.h> defines ExitWindows as a two-argument macro for the 16-bit
// call; it would swallow CHSystem::ExitWindows at every use.
#undef ExitWindows

class CHSystem
{
public:
    // Letters and digits upper-cased, everything else "_"; at most 260
    // characters in all, keeping the end of a longer name (the distinctive part
    // of a path); "Global\" in front when bGlobal is set.
    static std::wstring MakeKernelObjectName(const std::wstring& strName, bool bGlobal);

    // A security descriptor with a null access list (everyone may open the
    // object), and attributes that point at it, or at nothing when the list
    // could not be set.
    static void InitOpenSecurityAttributes(SECURITY_ATTRIBUTES* pAttributes, SECURITY_DESCRIPTOR* pDescriptor);

    // Enables the shutdown privilege and asks Windows to log off, shut down or
    // restart (EWX_* flags) as a planned installation step. False when any
    // step fails.
    static bool ExitWindows(UINT uFlags);
};
