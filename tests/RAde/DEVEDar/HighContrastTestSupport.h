// High contrast for one test. Wine answers SPI_GETHIGHCONTRAST with "off"
// whatever the settings say, so for the scope's life the test program's own
// import of SystemParametersInfoW points at a stand-in that reports high
// contrast on and passes every other request on: the library asks the system
// as it does on Windows; only the answer is the test's.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

namespace HighContrastTest {
using CSystemParametersInfo = decltype(&::SystemParametersInfoW);

// The program's import address table slot of a function of user32.dll.
inline CSystemParametersInfo* ImportSlot(const char* pszFunction)
{
    auto* pBase = reinterpret_cast<BYTE*>(::GetModuleHandleW(nullptr));
    const auto* pNt =
        reinterpret_cast<const IMAGE_NT_HEADERS*>(pBase + reinterpret_cast<const IMAGE_DOS_HEADER*>(pBase)->e_lfanew);
    auto* pImport = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(
        pBase + pNt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress);
    for (; pImport->Name != 0; ++pImport) {
        if (::lstrcmpiA(reinterpret_cast<const char*>(pBase + pImport->Name), "user32.dll") != 0)
            continue;
        auto* pName = reinterpret_cast<const IMAGE_THUNK_DATA*>(pBase + pImport->OriginalFirstThunk);
        auto* pSlot = reinterpret_cast<IMAGE_THUNK_DATA*>(pBase + pImport->FirstThunk);
        for (; pName->u1.AddressOfData != 0; ++pName, ++pSlot)
            if (!IMAGE_SNAP_BY_ORDINAL(pName->u1.Ordinal) &&
                std::strcmp(reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(pBase + pName->u1.AddressOfData)->Name,
                            pszFunction) == 0)
                return reinterpret_cast<CSystemParametersInfo*>(&pSlot->u1.Function);
    }
    return nullptr;
}

inline CSystemParametersInfo s_pfnSystem = nullptr;

inline BOOL WINAPI HighContrastOn(UINT uiAction, UINT uiParam, PVOID pvParam, UINT fWinIni)
{
    if (uiAction != SPI_GETHIGHCONTRAST || pvParam == nullptr)
        return s_pfnSystem(uiAction, uiParam, pvParam, fWinIni);
    *static_cast<HIGHCONTRASTW*>(pvParam) = HIGHCONTRASTW{sizeof(HIGHCONTRASTW), HCF_HIGHCONTRASTON, nullptr};
    return TRUE;
}

// High contrast is on while it lives, or until Off (with bOn false it does nothing).
class CHighContrastScope
{
public:
    explicit CHighContrastScope(bool bOn = true)
    {
        if (bOn)
            Point(&HighContrastOn);
    }
    ~CHighContrastScope() { Off(); }
    CHighContrastScope(const CHighContrastScope&) = delete;
    CHighContrastScope& operator=(const CHighContrastScope&) = delete;

    void Off()
    {
        if (m_bOn)
            Point(s_pfnSystem);
        m_bOn = false;
    }

private:
    void Point(CSystemParametersInfo pfnTarget)
    {
        CSystemParametersInfo* pSlot = ImportSlot("SystemParametersInfoW");
        ASSERT_NE(pSlot, nullptr) << "the program imports no SystemParametersInfoW";
        DWORD dwOld = 0;
        ASSERT_TRUE(::VirtualProtect(pSlot, sizeof(*pSlot), PAGE_READWRITE, &dwOld));
        s_pfnSystem = s_pfnSystem != nullptr ? s_pfnSystem : *pSlot;
        *pSlot = pfnTarget;
        ::VirtualProtect(pSlot, sizeof(*pSlot), dwOld, &dwOld);
        m_bOn = pfnTarget != s_pfnSystem;
    }

    bool m_bOn = false;
};
}  // namespace HighContrastTest
