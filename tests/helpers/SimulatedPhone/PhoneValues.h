// The value set (IPortableDeviceValues) and key collection
// (IPortableDeviceKeyCollection) that the phone hands out from GetValues and
// that clients create for their client information and property requests.
#pragma once

#include <windows.h>

#include <mutex>
#include <utility>
#include <vector>

#include "InstallerShim/PortableDeviceApi.h"
#include "PhoneComObject.h"

namespace SimulatedPhone {

// A PROPVARIANT that owns what it points to.
class CPropVariant
{
public:
    CPropVariant() noexcept { ::PropVariantInit(&m_value); }
    explicit CPropVariant(const PROPVARIANT& value);
    CPropVariant(CPropVariant&& other) noexcept : m_value(other.m_value) { ::PropVariantInit(&other.m_value); }
    CPropVariant& operator=(CPropVariant&& other) noexcept;
    CPropVariant(const CPropVariant&) = delete;
    CPropVariant& operator=(const CPropVariant&) = delete;
    ~CPropVariant() { ::PropVariantClear(&m_value); }

    const PROPVARIANT& Get() const noexcept { return m_value; }
    PROPVARIANT* Receive() noexcept
    {
        ::PropVariantClear(&m_value);
        return &m_value;
    }

private:
    PROPVARIANT m_value;
};

// Key/value pairs, each key at most once, in the order the keys were first set.
// The typed getters convert between integer types when the value fits
// (HRESULT_FROM_WIN32(ERROR_ARITHMETIC_OVERFLOW) when it does not); a value of
// another type gives DISP_E_TYPEMISMATCH, a VT_ERROR value its error code, a
// missing key HRESULT_FROM_WIN32(ERROR_NOT_FOUND). The setters and getters of
// strings, integers, booleans, GUIDs, floats and errors are implemented; the
// ones for buffers, keys, nested collections and property stores are not.
class CPhoneValues : public CPhoneComObject<IPortableDeviceValues>
{
public:
    STDMETHODIMP GetCount(DWORD* pcelt) override;
    STDMETHODIMP GetAt(const DWORD index, PROPERTYKEY* pKey, PROPVARIANT* pValue) override;
    STDMETHODIMP SetValue(REFPROPERTYKEY key, const PROPVARIANT* pValue) override;
    STDMETHODIMP GetValue(REFPROPERTYKEY key, PROPVARIANT* pValue) override;
    STDMETHODIMP SetStringValue(REFPROPERTYKEY key, LPCWSTR Value) override;
    STDMETHODIMP GetStringValue(REFPROPERTYKEY key, LPWSTR* pValue) override;
    STDMETHODIMP SetUnsignedIntegerValue(REFPROPERTYKEY key, const ULONG Value) override;
    STDMETHODIMP GetUnsignedIntegerValue(REFPROPERTYKEY key, ULONG* pValue) override;
    STDMETHODIMP SetSignedIntegerValue(REFPROPERTYKEY key, const LONG Value) override;
    STDMETHODIMP GetSignedIntegerValue(REFPROPERTYKEY key, LONG* pValue) override;
    STDMETHODIMP SetUnsignedLargeIntegerValue(REFPROPERTYKEY key, const ULONGLONG Value) override;
    STDMETHODIMP GetUnsignedLargeIntegerValue(REFPROPERTYKEY key, ULONGLONG* pValue) override;
    STDMETHODIMP SetSignedLargeIntegerValue(REFPROPERTYKEY key, const LONGLONG Value) override;
    STDMETHODIMP GetSignedLargeIntegerValue(REFPROPERTYKEY key, LONGLONG* pValue) override;
    STDMETHODIMP SetFloatValue(REFPROPERTYKEY key, const FLOAT Value) override;
    STDMETHODIMP GetFloatValue(REFPROPERTYKEY key, FLOAT* pValue) override;
    STDMETHODIMP SetErrorValue(REFPROPERTYKEY key, const HRESULT Value) override;
    STDMETHODIMP GetErrorValue(REFPROPERTYKEY key, HRESULT* pValue) override;
    STDMETHODIMP SetKeyValue(REFPROPERTYKEY key, REFPROPERTYKEY Value) override;
    STDMETHODIMP GetKeyValue(REFPROPERTYKEY key, PROPERTYKEY* pValue) override;
    STDMETHODIMP SetBoolValue(REFPROPERTYKEY key, const WINBOOL Value) override;
    STDMETHODIMP GetBoolValue(REFPROPERTYKEY key, WINBOOL* pValue) override;
    STDMETHODIMP SetIUnknownValue(REFPROPERTYKEY key, IUnknown* pValue) override;
    STDMETHODIMP GetIUnknownValue(REFPROPERTYKEY key, IUnknown** ppValue) override;
    STDMETHODIMP SetGuidValue(REFPROPERTYKEY key, REFGUID Value) override;
    STDMETHODIMP GetGuidValue(REFPROPERTYKEY key, GUID* pValue) override;
    STDMETHODIMP SetBufferValue(REFPROPERTYKEY key, BYTE* pValue, DWORD cbValue) override;
    STDMETHODIMP GetBufferValue(REFPROPERTYKEY key, BYTE** ppValue, DWORD* pcbValue) override;
    STDMETHODIMP SetIPortableDeviceValuesValue(REFPROPERTYKEY key, IPortableDeviceValues* pValue) override;
    STDMETHODIMP GetIPortableDeviceValuesValue(REFPROPERTYKEY key, IPortableDeviceValues** ppValue) override;
    STDMETHODIMP SetIPortableDevicePropVariantCollectionValue(REFPROPERTYKEY key,
                                                              IPortableDevicePropVariantCollection* pValue) override;
    STDMETHODIMP GetIPortableDevicePropVariantCollectionValue(REFPROPERTYKEY key,
                                                              IPortableDevicePropVariantCollection** ppValue) override;
    STDMETHODIMP SetIPortableDeviceKeyCollectionValue(REFPROPERTYKEY key,
                                                      IPortableDeviceKeyCollection* pValue) override;
    STDMETHODIMP GetIPortableDeviceKeyCollectionValue(REFPROPERTYKEY key,
                                                      IPortableDeviceKeyCollection** ppValue) override;
    STDMETHODIMP SetIPortableDeviceValuesCollectionValue(REFPROPERTYKEY key,
                                                         IPortableDeviceValuesCollection* pValue) override;
    STDMETHODIMP GetIPortableDeviceValuesCollectionValue(REFPROPERTYKEY key,
                                                         IPortableDeviceValuesCollection** ppValue) override;
    STDMETHODIMP RemoveValue(REFPROPERTYKEY key) override;
    STDMETHODIMP CopyValuesFromPropertyStore(IPropertyStore* pStore) override;
    STDMETHODIMP CopyValuesToPropertyStore(IPropertyStore* pStore) override;
    STDMETHODIMP Clear() override;

private:
    // Stores a copy of the value under key (replacing an earlier one).
    HRESULT Store(REFPROPERTYKEY key, const PROPVARIANT& value);
    // Runs read(value) on the value stored under key, under the lock.
    template <class Read>
    HRESULT Inspect(REFPROPERTYKEY key, Read&& read);
    template <class T>
    HRESULT GetInteger(REFPROPERTYKEY key, T* pValue);

    std::mutex m_mutex;
    std::vector<std::pair<PROPERTYKEY, CPropVariant>> m_values;
};

// Property keys in the order they were added (the same key may be added twice).
class CPhoneKeys : public CPhoneComObject<IPortableDeviceKeyCollection>
{
public:
    STDMETHODIMP GetCount(DWORD* pcElems) override;
    STDMETHODIMP GetAt(const DWORD dwIndex, PROPERTYKEY* pKey) override;
    STDMETHODIMP Add(REFPROPERTYKEY Key) override;
    STDMETHODIMP Clear() override;
    STDMETHODIMP RemoveAt(const DWORD dwIndex) override;

private:
    std::mutex m_mutex;
    std::vector<PROPERTYKEY> m_keys;
};

// The keys of any key collection, in order.
HRESULT KeysOf(IPortableDeviceKeyCollection* pKeys, std::vector<PROPERTYKEY>& keys);

}  // namespace SimulatedPhone
