// The server's entry points: a class factory for each of the four classes.
#include <windows.h>

#include "PhoneComObject.h"
#include "PhoneDevice.h"
#include "PhoneValues.h"
#include "SimulatedPhoneConfig.h"

namespace SimulatedPhone {

namespace {

template <class T>
class CClassFactory : public CPhoneComObject<IClassFactory>
{
public:
    STDMETHODIMP CreateInstance(IUnknown* pOuter, REFIID riid, void** ppv) override
    {
        if (ppv)
            *ppv = nullptr;
        if (pOuter)
            return CLASS_E_NOAGGREGATION;
        return Guarded([&] { return HandOut(MakeObject<T>(), riid, ppv); });
    }
    STDMETHODIMP LockServer(BOOL bLock) override
    {
        if (bLock)
            ::InterlockedIncrement(&g_nModuleReferences);
        else
            ::InterlockedDecrement(&g_nModuleReferences);
        return S_OK;
    }
};

template <class T>
HRESULT HandOutFactory(REFIID riid, void** ppv)
{
    return Guarded([&] { return HandOut(MakeObject<CClassFactory<T>>(), riid, ppv); });
}

}  // namespace

}  // namespace SimulatedPhone

using namespace SimulatedPhone;

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (rclsid == Wpd::CLSID_DeviceManager)
        return HandOutFactory<CPhoneManager>(riid, ppv);
    if (rclsid == Wpd::CLSID_Device)
        return HandOutFactory<CPhoneDevice>(riid, ppv);
    if (rclsid == Wpd::CLSID_ValueSet)
        return HandOutFactory<CPhoneValues>(riid, ppv);
    if (rclsid == Wpd::CLSID_KeyCollection)
        return HandOutFactory<CPhoneKeys>(riid, ppv);
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow()
{
    return g_nModuleReferences == 0 ? S_OK : S_FALSE;
}
