// High contrast for one test. Wine answers SPI_GETHIGHCONTRAST with "off"
// whatever the user's settings say, so the test program's own import of
// SystemParametersInfoW is pointed, for the scope's life, at a stand-in that
// reports high contrast on and passes every other request to the system. The
// library asks the system exactly as it does on Windows; only the answer is
// the test's.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

namespace HighContrastTest {
// The slot of the program's import address table through which it calls user32's function.
inline void** ImportSlot(const char* pszFunction)
{
    auto* pBase = reinterpret_cast<BYTE*>(::GetModuleHandleW(nullptr));
    const auto* pDos = reinterpret_cast<const IMAGE_DOS_HEADER*>(pBase);
    const auto* pNt = reinterpret_cast<const IMAGE_NT_HEADERS*>(pBase + pDos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = pNt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* pImport = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(pBase + imports.VirtualAddress);
         pImport->Name != 0; ++pImport) {
        if (::lstrcmpiA(reinterpret_cast<const char*>(pBase + pImport->Name), "user32.dll") != 0)
            continue;
        auto* pNames = reinterpret_cast<const IMAGE_THUNK_DATA*>(pBase + pImport->OriginalFirstThunk);
        auto* pSlots = reinterpret_cast<IMAGE_THUNK_DATA*>(pBase + pImport->FirstThunk);
        for (; pNames->u1.AddressOfData != 0; ++pNames, ++pSlots) {
            if (IMAGE_SNAP_BY_ORDINAL(pNames->u1.Ordinal))
                continue;
            const auto* pName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(pBase + pNames->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(pName->Name), pszFunction) == 0)
                return reinterpret_cast<void**>(&pSlots->u1.Function);
        }
    }
    return nullptr;
}

inline decltype(&::SystemParametersInfoW)& SystemAnswer()
{
    static decltype(&::SystemParametersInfoW) s_pfnSystem = nullptr;
    return s_pfnSystem;
}

inline BOOL WINAPI HighContrastOn(UINT uiAction, UINT uiParam, PVOID pvParam, UINT fWinIni)
{
    if (uiAction != SPI_GETHIGHCONTRAST || pvParam == nullptr)
        return SystemAnswer()(uiAction, uiParam, pvParam, fWinIni);
    static_cast<HIGHCONTRASTW*>(pvParam)->dwFlags = HCF_HIGHCONTRASTON | HCF_AVAILABLE;
    static_cast<HIGHCONTRASTW*>(pvParam)->lpszDefaultScheme = nullptr;
    return TRUE;
}

// High contrast is on while it lives (On() == false: a scope that does nothing).
class CHighContrastScope
{
public:
    explicit CHighContrastScope(bool bOn = true)
    {
        if (bOn)
            Swap(reinterpret_cast<void*>(&HighContrastOn));
    }
    ~CHighContrastScope() { Off(); }
    CHighContrastScope(const CHighContrastScope&) = delete;
    CHighContrastScope& operator=(const CHighContrastScope&) = delete;

    void Off()
    {
        if (m_pSlot != nullptr)
            Swap(reinterpret_cast<void*>(SystemAnswer()));
        m_pSlot = nullptr;
    }

private:
    void Swap(void* pTarget)
    {
        void** pSlot = ImportSlot("SystemParametersInfoW");
        ASSERT_NE(pSlot, nullptr) << "the program imports no SystemParametersInfoW";
        DWORD dwOld = 0;
        ASSERT_TRUE(::VirtualProtect(pSlot, sizeof(void*), PAGE_READWRITE, &dwOld));
        if (SystemAnswer() == nullptr)
            SystemAnswer() = reinterpret_cast<decltype(&::SystemParametersInfoW)>(*pSlot);
        *pSlot = pTarget;
        ::VirtualProtect(pSlot, sizeof(void*), dwOld, &dwOld);
        m_pSlot = pSlot;
    }

    void** m_pSlot = nullptr;
};
}  // namespace HighContrastTest
