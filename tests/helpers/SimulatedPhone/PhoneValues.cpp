#include "PhoneValues.h"

#include <utility>

namespace SimulatedPhone {

namespace {

// The integer a value holds, converted to T when it fits.
template <class T>
HRESULT ConvertInteger(const PROPVARIANT& value, T* pValue)
{
    auto take = [pValue](auto n) -> HRESULT {
        if (!std::in_range<T>(n))
            return HRESULT_FROM_WIN32(ERROR_ARITHMETIC_OVERFLOW);
        *pValue = static_cast<T>(n);
        return S_OK;
    };
    switch (value.vt) {
    case VT_UI1:
        return take(value.bVal);
    case VT_UI2:
        return take(value.uiVal);
    case VT_UI4:
        return take(value.ulVal);
    case VT_UINT:
        return take(value.uintVal);
    case VT_UI8:
        return take(value.uhVal.QuadPart);
    case VT_I1:
        return take(static_cast<signed char>(value.cVal));
    case VT_I2:
        return take(value.iVal);
    case VT_I4:
        return take(value.lVal);
    case VT_INT:
        return take(value.intVal);
    case VT_I8:
        return take(value.hVal.QuadPart);
    default:
        return DISP_E_TYPEMISMATCH;
    }
}

// What a typed getter answers for a value of the wrong type: the error a
// VT_ERROR value carries (a property the device could not read), else a type
// mismatch.
HRESULT WrongType(const PROPVARIANT& value)
{
    return value.vt == VT_ERROR && FAILED(value.scode) ? value.scode : DISP_E_TYPEMISMATCH;
}

template <class Fill>
PROPVARIANT Variant(VARTYPE vt, Fill&& fill)
{
    PROPVARIANT value;
    ::PropVariantInit(&value);
    value.vt = vt;
    fill(value);
    return value;
}

}  // namespace

// ---------------------------------------------------------------------------
// CPropVariant

CPropVariant::CPropVariant(const PROPVARIANT& value)
{
    ::PropVariantInit(&m_value);
    if (FAILED(::PropVariantCopy(&m_value, &value)))
        throw std::bad_alloc();
}

CPropVariant& CPropVariant::operator=(CPropVariant&& other) noexcept
{
    if (this != &other) {
        ::PropVariantClear(&m_value);
        m_value = other.m_value;
        ::PropVariantInit(&other.m_value);
    }
    return *this;
}

// ---------------------------------------------------------------------------
// CPhoneValues

HRESULT CPhoneValues::Store(REFPROPERTYKEY key, const PROPVARIANT& value)
{
    return Guarded([&] {
        CPropVariant copy(value);
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto& entry : m_values)
            if (SameKey(entry.first, key)) {
                entry.second = std::move(copy);
                return S_OK;
            }
        m_values.emplace_back(key, std::move(copy));
        return S_OK;
    });
}

template <class Read>
HRESULT CPhoneValues::Inspect(REFPROPERTYKEY key, Read&& read)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const auto& entry : m_values)
        if (SameKey(entry.first, key))
            return read(entry.second.Get());
    return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
}

template <class T>
HRESULT CPhoneValues::GetInteger(REFPROPERTYKEY key, T* pValue)
{
    if (!pValue)
        return E_POINTER;
    return Inspect(key, [pValue](const PROPVARIANT& value) {
        const HRESULT hr = ConvertInteger(value, pValue);
        return hr == DISP_E_TYPEMISMATCH ? WrongType(value) : hr;
    });
}

STDMETHODIMP CPhoneValues::GetCount(DWORD* pcelt)
{
    if (!pcelt)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(m_mutex);
    *pcelt = static_cast<DWORD>(m_values.size());
    return S_OK;
}

STDMETHODIMP CPhoneValues::GetAt(const DWORD index, PROPERTYKEY* pKey, PROPVARIANT* pValue)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (index >= m_values.size())
        return E_INVALIDARG;
    if (pKey)
        *pKey = m_values[index].first;
    return pValue ? ::PropVariantCopy(pValue, &m_values[index].second.Get()) : S_OK;
}

STDMETHODIMP CPhoneValues::SetValue(REFPROPERTYKEY key, const PROPVARIANT* pValue)
{
    return pValue ? Store(key, *pValue) : E_POINTER;
}

STDMETHODIMP CPhoneValues::GetValue(REFPROPERTYKEY key, PROPVARIANT* pValue)
{
    if (!pValue)
        return E_POINTER;
    return Inspect(key, [pValue](const PROPVARIANT& value) { return ::PropVariantCopy(pValue, &value); });
}

STDMETHODIMP CPhoneValues::SetStringValue(REFPROPERTYKEY key, LPCWSTR Value)
{
    if (!Value)
        return E_POINTER;
    // PropVariantCopy makes the stored copy; the variant only borrows the text here.
    return Store(key, Variant(VT_LPWSTR, [Value](PROPVARIANT& v) { v.pwszVal = const_cast<LPWSTR>(Value); }));
}

STDMETHODIMP CPhoneValues::GetStringValue(REFPROPERTYKEY key, LPWSTR* pValue)
{
    if (!pValue)
        return E_POINTER;
    *pValue = nullptr;
    return Inspect(key, [pValue](const PROPVARIANT& value) {
        if (value.vt != VT_LPWSTR)
            return WrongType(value);
        return Guarded([&] { return CopyToTaskMemory(value.pwszVal ? value.pwszVal : L"", pValue); });
    });
}

STDMETHODIMP CPhoneValues::SetUnsignedIntegerValue(REFPROPERTYKEY key, const ULONG Value)
{
    return Store(key, Variant(VT_UI4, [Value](PROPVARIANT& v) { v.ulVal = Value; }));
}

STDMETHODIMP CPhoneValues::GetUnsignedIntegerValue(REFPROPERTYKEY key, ULONG* pValue)
{
    return GetInteger(key, pValue);
}

STDMETHODIMP CPhoneValues::SetSignedIntegerValue(REFPROPERTYKEY key, const LONG Value)
{
    return Store(key, Variant(VT_I4, [Value](PROPVARIANT& v) { v.lVal = Value; }));
}

STDMETHODIMP CPhoneValues::GetSignedIntegerValue(REFPROPERTYKEY key, LONG* pValue)
{
    return GetInteger(key, pValue);
}

STDMETHODIMP CPhoneValues::SetUnsignedLargeIntegerValue(REFPROPERTYKEY key, const ULONGLONG Value)
{
    return Store(key, Variant(VT_UI8, [Value](PROPVARIANT& v) { v.uhVal.QuadPart = Value; }));
}

STDMETHODIMP CPhoneValues::GetUnsignedLargeIntegerValue(REFPROPERTYKEY key, ULONGLONG* pValue)
{
    return GetInteger(key, pValue);
}

STDMETHODIMP CPhoneValues::SetSignedLargeIntegerValue(REFPROPERTYKEY key, const LONGLONG Value)
{
    return Store(key, Variant(VT_I8, [Value](PROPVARIANT& v) { v.hVal.QuadPart = Value; }));
}

STDMETHODIMP CPhoneValues::GetSignedLargeIntegerValue(REFPROPERTYKEY key, LONGLONG* pValue)
{
    return GetInteger(key, pValue);
}

STDMETHODIMP CPhoneValues::SetFloatValue(REFPROPERTYKEY key, const FLOAT Value)
{
    return Store(key, Variant(VT_R4, [Value](PROPVARIANT& v) { v.fltVal = Value; }));
}

STDMETHODIMP CPhoneValues::GetFloatValue(REFPROPERTYKEY key, FLOAT* pValue)
{
    if (!pValue)
        return E_POINTER;
    return Inspect(key, [pValue](const PROPVARIANT& value) {
        if (value.vt != VT_R4)
            return WrongType(value);
        *pValue = value.fltVal;
        return S_OK;
    });
}

STDMETHODIMP CPhoneValues::SetErrorValue(REFPROPERTYKEY key, const HRESULT Value)
{
    return Store(key, Variant(VT_ERROR, [Value](PROPVARIANT& v) { v.scode = Value; }));
}

STDMETHODIMP CPhoneValues::GetErrorValue(REFPROPERTYKEY key, HRESULT* pValue)
{
    if (!pValue)
        return E_POINTER;
    return Inspect(key, [pValue](const PROPVARIANT& value) {
        if (value.vt != VT_ERROR)
            return DISP_E_TYPEMISMATCH;
        *pValue = value.scode;
        return S_OK;
    });
}

STDMETHODIMP CPhoneValues::SetBoolValue(REFPROPERTYKEY key, const WINBOOL Value)
{
    return Store(key, Variant(VT_BOOL, [Value](PROPVARIANT& v) { v.boolVal = Value ? VARIANT_TRUE : VARIANT_FALSE; }));
}

STDMETHODIMP CPhoneValues::GetBoolValue(REFPROPERTYKEY key, WINBOOL* pValue)
{
    if (!pValue)
        return E_POINTER;
    return Inspect(key, [pValue](const PROPVARIANT& value) {
        if (value.vt != VT_BOOL)
            return WrongType(value);
        *pValue = value.boolVal != VARIANT_FALSE;
        return S_OK;
    });
}

STDMETHODIMP CPhoneValues::SetGuidValue(REFPROPERTYKEY key, REFGUID Value)
{
    GUID guid = Value;
    return Store(key, Variant(VT_CLSID, [&guid](PROPVARIANT& v) { v.puuid = &guid; }));
}

STDMETHODIMP CPhoneValues::GetGuidValue(REFPROPERTYKEY key, GUID* pValue)
{
    if (!pValue)
        return E_POINTER;
    return Inspect(key, [pValue](const PROPVARIANT& value) {
        if (value.vt != VT_CLSID || !value.puuid)
            return WrongType(value);
        *pValue = *value.puuid;
        return S_OK;
    });
}

STDMETHODIMP CPhoneValues::RemoveValue(REFPROPERTYKEY key)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto it = m_values.begin(); it != m_values.end(); ++it)
        if (SameKey(it->first, key)) {
            m_values.erase(it);
            return S_OK;
        }
    return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
}

STDMETHODIMP CPhoneValues::Clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_values.clear();
    return S_OK;
}

// Value kinds the phone never needs.
STDMETHODIMP CPhoneValues::SetKeyValue(REFPROPERTYKEY, REFPROPERTYKEY)
{
    return E_NOTIMPL;
}
STDMETHODIMP CPhoneValues::GetKeyValue(REFPROPERTYKEY, PROPERTYKEY*)
{
    return E_NOTIMPL;
}
STDMETHODIMP CPhoneValues::SetIUnknownValue(REFPROPERTYKEY, IUnknown*)
{
    return E_NOTIMPL;
}
STDMETHODIMP CPhoneValues::GetIUnknownValue(REFPROPERTYKEY, IUnknown**)
{
    return E_NOTIMPL;
}
STDMETHODIMP CPhoneValues::SetBufferValue(REFPROPERTYKEY, BYTE*, DWORD)
{
    return E_NOTIMPL;
}
STDMETHODIMP CPhoneValues::GetBufferValue(REFPROPERTYKEY, BYTE**, DWORD*)
{
    return E_NOTIMPL;
}
STDMETHODIMP CPhoneValues::SetIPortableDeviceValuesValue(REFPROPERTYKEY, IPortableDeviceValues*)
{
    return E_NOTIMPL;
}
STDMETHODIMP CPhoneValues::GetIPortableDeviceValuesValue(REFPROPERTYKEY, IPortableDeviceValues**)
{
    return E_NOTIMPL;
}
STDMETHODIMP CPhoneValues::SetIPortableDevicePropVariantCollectionValue(REFPROPERTYKEY,
                                                                        IPortableDevicePropVariantCollection*)
{
    return E_NOTIMPL;
}
STDMETHODIMP CPhoneValues::GetIPortableDevicePropVariantCollectionValue(REFPROPERTYKEY,
                                                                        IPortableDevicePropVariantCollection**)
{
    return E_NOTIMPL;
}
STDMETHODIMP CPhoneValues::SetIPortableDeviceKeyCollectionValue(REFPROPERTYKEY, IPortableDeviceKeyCollection*)
{
    return E_NOTIMPL;
}
STDMETHODIMP CPhoneValues::GetIPortableDeviceKeyCollectionValue(REFPROPERTYKEY, IPortableDeviceKeyCollection**)
{
    return E_NOTIMPL;
}
STDMETHODIMP CPhoneValues::SetIPortableDeviceValuesCollectionValue(REFPROPERTYKEY, IPortableDeviceValuesCollection*)
{
    return E_NOTIMPL;
}
STDMETHODIMP CPhoneValues::GetIPortableDeviceValuesCollectionValue(REFPROPERTYKEY, IPortableDeviceValuesCollection**)
{
    return E_NOTIMPL;
}
STDMETHODIMP CPhoneValues::CopyValuesFromPropertyStore(IPropertyStore*)
{
    return E_NOTIMPL;
}
STDMETHODIMP CPhoneValues::CopyValuesToPropertyStore(IPropertyStore*)
{
    return E_NOTIMPL;
}

// ---------------------------------------------------------------------------
// CPhoneKeys

STDMETHODIMP CPhoneKeys::GetCount(DWORD* pcElems)
{
    if (!pcElems)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(m_mutex);
    *pcElems = static_cast<DWORD>(m_keys.size());
    return S_OK;
}

STDMETHODIMP CPhoneKeys::GetAt(const DWORD dwIndex, PROPERTYKEY* pKey)
{
    if (!pKey)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (dwIndex >= m_keys.size())
        return E_INVALIDARG;
    *pKey = m_keys[dwIndex];
    return S_OK;
}

STDMETHODIMP CPhoneKeys::Add(REFPROPERTYKEY Key)
{
    return Guarded([&] {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_keys.push_back(Key);
        return S_OK;
    });
}

STDMETHODIMP CPhoneKeys::Clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_keys.clear();
    return S_OK;
}

STDMETHODIMP CPhoneKeys::RemoveAt(const DWORD dwIndex)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (dwIndex >= m_keys.size())
        return E_INVALIDARG;
    m_keys.erase(m_keys.begin() + dwIndex);
    return S_OK;
}

HRESULT KeysOf(IPortableDeviceKeyCollection* pKeys, std::vector<PROPERTYKEY>& keys)
{
    DWORD dwCount = 0;
    HRESULT hr = pKeys->GetCount(&dwCount);
    for (DWORD i = 0; SUCCEEDED(hr) && i < dwCount; ++i) {
        PROPERTYKEY key = {};
        hr = pKeys->GetAt(i, &key);
        if (SUCCEEDED(hr))
            keys.push_back(key);
    }
    return hr;
}

}  // namespace SimulatedPhone
