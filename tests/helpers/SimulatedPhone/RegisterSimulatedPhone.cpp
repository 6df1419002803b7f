// Registers the simulated phone for the current user, or removes it:
//
//   RegisterSimulatedPhone [<full path of SimulatedPhone.dll>]
//   RegisterSimulatedPhone /unregister
//
// Without a path it registers the SimulatedPhone.dll beside itself. Exit code:
// 0, or the Win32 error of the registry call that failed.
#include <windows.h>

#include <cstdio>
#include <string>

#include "SimulatedPhoneConfig.h"

namespace {

std::wstring DllBesideThisProgram()
{
    wchar_t szPath[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, szPath, MAX_PATH);
    std::wstring strPath = szPath;
    return strPath.substr(0, strPath.find_last_of(L"\\/") + 1) + L"SimulatedPhone.dll";
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring strArgument = argc > 1 ? argv[1] : L"";
    if (strArgument == L"/unregister") {
        const LSTATUS status = SimulatedPhone::UnregisterServer();
        if (status != ERROR_SUCCESS)
            std::fwprintf(stderr, L"RegisterSimulatedPhone: unregistering failed with error %ld\n", status);
        return static_cast<int>(status);
    }
    const std::wstring strDll = strArgument.empty() ? DllBesideThisProgram() : strArgument;
    if (::GetFileAttributesW(strDll.c_str()) == INVALID_FILE_ATTRIBUTES) {
        std::fwprintf(stderr, L"RegisterSimulatedPhone: %ls does not exist\n", strDll.c_str());
        return ERROR_FILE_NOT_FOUND;
    }
    const LSTATUS status = SimulatedPhone::RegisterServer(strDll);
    if (status != ERROR_SUCCESS)
        std::fwprintf(stderr, L"RegisterSimulatedPhone: registering %ls failed with error %ld\n", strDll.c_str(),
                      status);
    return static_cast<int>(status);
}
