// Starting programs after an installation, with the environment a fresh logon
// would give them: an installer may just have changed the machine's variables.
#pragma once

#include <windows.h>

#include <string>

class CHProcess;

class CHUpdateUtilities
{
public:
    // The machine environment variables, with the user's own on top, copied
    // from the registry into this process's environment (expandable ones
    // expanded), then program started with argument, in its own folder when
    // bInProgramFolder is set. Every later program started by this process
    // inherits that environment.
    static void StartProcessEnvVarsUpdated(CHProcess& process, const std::wstring& strProgram,
                                           const std::wstring& strArgument, bool bInProgramFolder);
};

// Sets this process's environment variable of each value of the given
// registry type (REG_SZ or REG_EXPAND_SZ) in the key to the value's text, as
// stored. A variable that cannot be set is skipped.
void RefreshEnvironmentVariables(const std::wstring& strKeyPath, DWORD dwType);
