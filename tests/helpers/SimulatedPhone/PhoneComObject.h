// Reference counting and QueryInterface for the simulated phone's COM objects,
// and the guard that keeps C++ exceptions from crossing a COM method.
#pragma once

#include <windows.h>

#include <propkeydef.h>
#include <unknwn.h>
#include <wrl/client.h>

#include <new>
#include <string>
#include <tuple>

namespace SimulatedPhone {

using Microsoft::WRL::ComPtr;

// Live objects plus IClassFactory::LockServer locks: the server may be
// unloaded only when this is zero.
inline LONG g_nModuleReferences = 0;

// IUnknown for an object that implements the given interfaces. Objects are
// born with one reference (held by the creator's ComPtr, see MakeObject) and
// delete themselves on their last Release; any thread may call them.
template <class... Interfaces>
class CPhoneComObject : public Interfaces...
{
public:
    CPhoneComObject() noexcept { ::InterlockedIncrement(&g_nModuleReferences); }
    virtual ~CPhoneComObject() { ::InterlockedDecrement(&g_nModuleReferences); }
    CPhoneComObject(const CPhoneComObject&) = delete;
    CPhoneComObject& operator=(const CPhoneComObject&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (riid == __uuidof(IUnknown))
            *ppv = static_cast<IUnknown*>(static_cast<First*>(this));
        else
            (TryInterface<Interfaces>(riid, ppv) || ...);
        if (!*ppv)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&m_nReferences)); }
    STDMETHODIMP_(ULONG) Release() override
    {
        const LONG nLeft = ::InterlockedDecrement(&m_nReferences);
        if (nLeft == 0)
            delete this;
        return static_cast<ULONG>(nLeft);
    }

private:
    using First = std::tuple_element_t<0, std::tuple<Interfaces...>>;

    template <class Interface>
    bool TryInterface(REFIID riid, void** ppv)
    {
        if (riid != __uuidof(Interface))
            return false;
        *ppv = static_cast<Interface*>(this);
        return true;
    }

    LONG m_nReferences = 1;
};

// A new object owned by the returned pointer (empty when memory ran out).
template <class T, class... Args>
ComPtr<T> MakeObject(Args&&... args)
{
    // Not Attach: MinGW's ComPtr::Attach takes a reference of its own, which
    // would keep every object alive for ever.
    ComPtr<T> object;
    *object.GetAddressOf() = new (std::nothrow) T(std::forward<Args>(args)...);
    return object;
}

// Hands the object out as the interface riid asks for.
template <class T>
HRESULT HandOut(const ComPtr<T>& object, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    return object ? object->QueryInterface(riid, ppv) : E_OUTOFMEMORY;
}

// Runs a COM method's body: an exception (only allocation failures are
// expected) becomes an HRESULT instead of crossing into the caller.
template <class Fn>
HRESULT Guarded(Fn&& fn) noexcept
{
    try {
        return fn();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

inline bool SameKey(REFPROPERTYKEY a, REFPROPERTYKEY b)
{
    return a.pid == b.pid && ::IsEqualGUID(a.fmtid, b.fmtid);
}

// A copy of the text in COM task memory, for the caller to free with CoTaskMemFree.
inline HRESULT CopyToTaskMemory(const std::wstring& strText, LPWSTR* ppsz)
{
    if (!ppsz)
        return E_POINTER;
    const size_t cb = (strText.size() + 1) * sizeof(wchar_t);
    *ppsz = static_cast<LPWSTR>(::CoTaskMemAlloc(cb));
    if (!*ppsz)
        return E_OUTOFMEMORY;
    memcpy(*ppsz, strText.c_str(), cb);
    return S_OK;
}

}  // namespace SimulatedPhone
