// What the device copy and the device staging both use: numbers and HRESULTs
// as text for the log and the exception trail, the case-insensitive compare
// of device names, and the in-process creation of the portable-device
// objects. Only the device path's own .cpp files include it.
#pragma once

#include <windows.h>

#include <objbase.h>

#include <string>

#include "RAde/HStringHelper.h"
#include "RAde/HUniqueHandle.h"

namespace DeviceCommon {

inline constexpr auto EqualsNoCase = &CHStringHelper::EqualsNoCase;

inline std::wstring Number(ULONGLONG nValue)
{
    return std::to_wstring(nValue);
}

inline std::wstring HResultText(HRESULT hr)
{
    return CHStringHelper::Format(L"0x%08X", static_cast<unsigned>(hr));
}

template <class Interface>
HRESULT CreateInProcess(const CLSID& clsid, const IID& iid, CHComPtr<Interface>& object)
{
    return ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void**>(object.OutParam()));
}

}  // namespace DeviceCommon
