#include "RAde/HSystem.h"

#include <reason.h>

#include <cwctype>

#include "RAde/HException.h"
#include "RAde/HUniqueHandle.h"

namespace {

constexpr wchar_t g_szGlobalPrefix[] = L"Global\\";
constexpr size_t g_nGlobalPrefixLength = sizeof(g_szGlobalPrefix) / sizeof(g_szGlobalPrefix[0]) - 1;
// Kernel object names are kept within the classic path length, prefix included.
constexpr size_t g_nMaxKernelObjectName = MAX_PATH;

// A restart asked for by an installer: planned, so the shutdown event tracker
// records it as an expected application installation.
constexpr DWORD g_dwInstallationRestartReason =
    SHTDN_REASON_FLAG_PLANNED | SHTDN_REASON_MAJOR_APPLICATION | SHTDN_REASON_MINOR_INSTALLATION;

// Enables one privilege in the process token. False when the token cannot be
// opened, the privilege is unknown, or the token does not hold it.
bool EnableProcessPrivilege(const wchar_t* pszPrivilege) noexcept
{
    CHKernelHandle hToken;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, hToken.OutParam()))
        return false;

    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!::LookupPrivilegeValueW(nullptr, pszPrivilege, &privileges.Privileges[0].Luid))
        return false;

    // AdjustTokenPrivileges also succeeds when the token lacks the privilege;
    // only the last error (ERROR_NOT_ALL_ASSIGNED) tells that nothing was enabled.
    if (!::AdjustTokenPrivileges(hToken.Get(), FALSE, &privileges, 0, nullptr, nullptr))
        return false;
    return ::GetLastError() == ERROR_SUCCESS;
}

}  // namespace

std::wstring CHSystem::MakeKernelObjectName(const std::wstring& strName, bool bGlobal)
{
    HTRY {
        std::wstring strObjectName;
        strObjectName.reserve(strName.size() + g_nGlobalPrefixLength);
        for (wchar_t ch : strName)
            strObjectName += std::iswalnum(ch) ? static_cast<wchar_t>(std::towupper(ch)) : L'_';

        // The end of a long path is the part that tells two files apart.
        const size_t nAllowed = g_nMaxKernelObjectName - (bGlobal ? g_nGlobalPrefixLength : 0);
        if (strObjectName.size() > nAllowed)
            strObjectName.erase(0, strObjectName.size() - nAllowed);

        if (bGlobal)
            strObjectName.insert(0, g_szGlobalPrefix);
        return strObjectName;
    } HCATCH
}

void CHSystem::InitOpenSecurityAttributes(SECURITY_ATTRIBUTES* pAttributes, SECURITY_DESCRIPTOR* pDescriptor)
{
    // A present but null access list grants everyone every access: processes
    // of other users and logon sessions can open the object.
    const bool bOpen = ::InitializeSecurityDescriptor(pDescriptor, SECURITY_DESCRIPTOR_REVISION) &&
                       ::SetSecurityDescriptorDacl(pDescriptor, TRUE, nullptr, FALSE);

    pAttributes->nLength = sizeof(SECURITY_ATTRIBUTES);
    pAttributes->bInheritHandle = FALSE;
    // Without the open list the object gets the creator's default security.
    pAttributes->lpSecurityDescriptor = bOpen ? pDescriptor : nullptr;
}

bool CHSystem::ExitWindows(UINT uFlags)
{
    if (!EnableProcessPrivilege(L"SeShutdownPrivilege"))
        return false;
    return ::ExitWindowsEx(uFlags, g_dwInstallationRestartReason) != FALSE;
}
