#include "PhoneContent.h"

#include <algorithm>

#include "PhoneStream.h"
#include "PhoneValues.h"

namespace SimulatedPhone {

namespace {

// WPD_OBJECT_NAME: what a client shows for an object.
constexpr PROPERTYKEY kObjectName = {Wpd::kObjectProperties, 4};

const PROPERTYKEY kSupportedKeys[] = {kObjectName, Wpd::ObjectOriginalFileName, Wpd::ObjectSize};

// What the phone answers for an id it never handed out.
constexpr HRESULT kUnknownObject = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
constexpr HRESULT kNotSupported = HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);

}  // namespace

// ---------------------------------------------------------------------------
// CPhoneContent

STDMETHODIMP CPhoneContent::EnumObjects(DWORD, LPCWSTR pszParentObjectID, IPortableDeviceValues*,
                                        IEnumPortableDeviceObjectIDs** ppEnum)
{
    return Guarded([&] {
        if (!pszParentObjectID || !ppEnum)
            return E_POINTER;
        *ppEnum = nullptr;
        const auto parent = m_storage->Find(pszParentObjectID);
        if (!parent)
            return kUnknownObject;
        std::vector<std::wstring> ids;
        const HRESULT hr = m_storage->ListChildren(*parent, ids);
        if (FAILED(hr))
            return hr;
        return HandOut(MakeObject<CPhoneObjectIds>(std::move(ids), m_storage->Options().dwNextLimit),
                       __uuidof(IEnumPortableDeviceObjectIDs), reinterpret_cast<void**>(ppEnum));
    });
}

STDMETHODIMP CPhoneContent::Properties(IPortableDeviceProperties** ppProperties)
{
    return Guarded([&] {
        return HandOut(MakeObject<CPhoneProperties>(m_storage), __uuidof(IPortableDeviceProperties),
                       reinterpret_cast<void**>(ppProperties));
    });
}

STDMETHODIMP CPhoneContent::Transfer(IPortableDeviceResources** ppResources)
{
    return Guarded([&] {
        return HandOut(MakeObject<CPhoneResources>(m_storage), __uuidof(IPortableDeviceResources),
                       reinterpret_cast<void**>(ppResources));
    });
}

STDMETHODIMP CPhoneContent::Cancel()
{
    return S_OK;
}

// Changing the phone's content is not simulated.
STDMETHODIMP CPhoneContent::CreateObjectWithPropertiesOnly(IPortableDeviceValues*, LPWSTR*)
{
    return E_NOTIMPL;
}
STDMETHODIMP CPhoneContent::CreateObjectWithPropertiesAndData(IPortableDeviceValues*, IStream**, DWORD*, LPWSTR*)
{
    return E_NOTIMPL;
}
STDMETHODIMP CPhoneContent::Delete(DWORD, IPortableDevicePropVariantCollection*, IPortableDevicePropVariantCollection**)
{
    return E_NOTIMPL;
}
STDMETHODIMP CPhoneContent::GetObjectIDsFromPersistentUniqueIDs(IPortableDevicePropVariantCollection*,
                                                                IPortableDevicePropVariantCollection**)
{
    return E_NOTIMPL;
}
STDMETHODIMP CPhoneContent::Move(IPortableDevicePropVariantCollection*, LPCWSTR, IPortableDevicePropVariantCollection**)
{
    return E_NOTIMPL;
}
STDMETHODIMP CPhoneContent::Copy(IPortableDevicePropVariantCollection*, LPCWSTR, IPortableDevicePropVariantCollection**)
{
    return E_NOTIMPL;
}

// ---------------------------------------------------------------------------
// CPhoneObjectIds

STDMETHODIMP CPhoneObjectIds::Next(ULONG cObjects, LPWSTR* pObjIDs, ULONG* pcFetched)
{
    if (pcFetched)
        *pcFetched = 0;
    if (!pObjIDs || (!pcFetched && cObjects != 1))
        return E_POINTER;
    std::lock_guard<std::mutex> lock(m_mutex);
    size_t nBatch = std::min<size_t>(cObjects, m_ids.size() - m_nNext);
    if (m_dwNextLimit != 0)
        nBatch = std::min<size_t>(nBatch, m_dwNextLimit);
    for (size_t i = 0; i < nBatch; ++i) {
        const HRESULT hr = Guarded([&] { return CopyToTaskMemory(m_ids[m_nNext + i], &pObjIDs[i]); });
        if (FAILED(hr)) {
            while (i > 0)
                ::CoTaskMemFree(pObjIDs[--i]);
            return hr;
        }
    }
    m_nNext += nBatch;
    if (pcFetched)
        *pcFetched = static_cast<ULONG>(nBatch);
    return nBatch == cObjects ? S_OK : S_FALSE;
}

STDMETHODIMP CPhoneObjectIds::Skip(ULONG cObjects)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const size_t nSkipped = std::min<size_t>(cObjects, m_ids.size() - m_nNext);
    m_nNext += nSkipped;
    return nSkipped == cObjects ? S_OK : S_FALSE;
}

STDMETHODIMP CPhoneObjectIds::Reset()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_nNext = 0;
    return S_OK;
}

STDMETHODIMP CPhoneObjectIds::Clone(IEnumPortableDeviceObjectIDs** ppEnum)
{
    return Guarded([&] {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto clone = MakeObject<CPhoneObjectIds>(m_ids, m_dwNextLimit);
        if (clone)
            clone->m_nNext = m_nNext;
        return HandOut(clone, __uuidof(IEnumPortableDeviceObjectIDs), reinterpret_cast<void**>(ppEnum));
    });
}

STDMETHODIMP CPhoneObjectIds::Cancel()
{
    return S_OK;
}

// ---------------------------------------------------------------------------
// CPhoneProperties

STDMETHODIMP CPhoneProperties::GetValues(LPCWSTR pszObjectID, IPortableDeviceKeyCollection* pKeys,
                                         IPortableDeviceValues** ppValues)
{
    return Guarded([&] {
        if (!pszObjectID || !ppValues)
            return E_POINTER;
        *ppValues = nullptr;
        const auto object = m_storage->Find(pszObjectID);
        if (!object)
            return kUnknownObject;
        // No key collection asks for every property the object has.
        std::vector<PROPERTYKEY> keys(std::begin(kSupportedKeys), std::end(kSupportedKeys));
        if (pKeys) {
            keys.clear();
            const HRESULT hr = KeysOf(pKeys, keys);
            if (FAILED(hr))
                return hr;
        }
        const ComPtr<CPhoneValues> values = MakeObject<CPhoneValues>();
        if (!values)
            return E_OUTOFMEMORY;
        bool bAllRead = true;
        for (const PROPERTYKEY& key : keys) {
            const HRESULT hr = ReadProperty(*object, key, values.Get());
            if (FAILED(hr)) {
                bAllRead = false;
                values->SetErrorValue(key, hr);
            }
        }
        *ppValues = values.Get();
        (*ppValues)->AddRef();
        return bAllRead ? S_OK : S_FALSE;
    });
}

HRESULT CPhoneProperties::ReadProperty(const CPhoneObject& object, REFPROPERTYKEY key,
                                       IPortableDeviceValues* pValues) const
{
    if (SameKey(key, kObjectName))
        return pValues->SetStringValue(key, object.strName.c_str());
    const bool bDeviceOrStorage =
        object.kind == CPhoneObject::EKind::Device || object.kind == CPhoneObject::EKind::Storage;
    if (SameKey(key, Wpd::ObjectOriginalFileName) && !bDeviceOrStorage)
        return pValues->SetStringValue(key, object.strName.c_str());
    if (SameKey(key, Wpd::ObjectSize) && !bDeviceOrStorage) {
        std::optional<ULONGLONG> size;
        const HRESULT hr = m_storage->ReportedSize(object, size);
        if (FAILED(hr))
            return hr;
        return size ? pValues->SetUnsignedLargeIntegerValue(key, *size) : kNotSupported;
    }
    return kNotSupported;
}

STDMETHODIMP CPhoneProperties::GetSupportedProperties(LPCWSTR pszObjectID, IPortableDeviceKeyCollection** ppKeys)
{
    return Guarded([&] {
        if (!pszObjectID || !ppKeys)
            return E_POINTER;
        *ppKeys = nullptr;
        if (!m_storage->Find(pszObjectID))
            return kUnknownObject;
        const ComPtr<CPhoneKeys> keys = MakeObject<CPhoneKeys>();
        if (!keys)
            return E_OUTOFMEMORY;
        for (const PROPERTYKEY& key : kSupportedKeys)
            keys->Add(key);
        *ppKeys = keys.Get();
        (*ppKeys)->AddRef();
        return S_OK;
    });
}

STDMETHODIMP CPhoneProperties::Cancel()
{
    return S_OK;
}

// Property attributes and changing properties are not simulated.
STDMETHODIMP CPhoneProperties::GetPropertyAttributes(LPCWSTR, REFPROPERTYKEY, IPortableDeviceValues**)
{
    return E_NOTIMPL;
}
STDMETHODIMP CPhoneProperties::SetValues(LPCWSTR, IPortableDeviceValues*, IPortableDeviceValues**)
{
    return E_NOTIMPL;
}
STDMETHODIMP CPhoneProperties::Delete(LPCWSTR, IPortableDeviceKeyCollection*)
{
    return E_NOTIMPL;
}

// ---------------------------------------------------------------------------
// CPhoneResources

STDMETHODIMP CPhoneResources::GetStream(LPCWSTR pszObjectID, REFPROPERTYKEY Key, DWORD dwMode,
                                        DWORD* pdwOptimalBufferSize, IStream** ppStream)
{
    return Guarded([&] {
        if (!pszObjectID || !ppStream)
            return E_POINTER;
        *ppStream = nullptr;
        const auto object = m_storage->Find(pszObjectID);
        if (!object)
            return kUnknownObject;
        if (!SameKey(Key, Wpd::ResourceDefault) || !object->IsFile())
            return kNotSupported;
        // The sharing and creation bits do not matter to a read-only phone; the access bits do.
        if ((dwMode & (STGM_WRITE | STGM_READWRITE)) != 0)
            return E_ACCESSDENIED;
        const HRESULT hr = CPhoneStream::Open(*object, m_storage->Options(), ppStream);
        if (SUCCEEDED(hr) && pdwOptimalBufferSize)
            *pdwOptimalBufferSize = m_storage->Options().dwOptimalTransferSize;
        return hr;
    });
}

STDMETHODIMP CPhoneResources::Cancel()
{
    return S_OK;
}

// Only the default resource exists, and it is only read.
STDMETHODIMP CPhoneResources::GetSupportedResources(LPCWSTR, IPortableDeviceKeyCollection**)
{
    return E_NOTIMPL;
}
STDMETHODIMP CPhoneResources::GetResourceAttributes(LPCWSTR, REFPROPERTYKEY, IPortableDeviceValues**)
{
    return E_NOTIMPL;
}
STDMETHODIMP CPhoneResources::Delete(LPCWSTR, IPortableDeviceKeyCollection*)
{
    return E_NOTIMPL;
}
STDMETHODIMP CPhoneResources::CreateResource(IPortableDeviceValues*, IStream**, DWORD*, LPWSTR*)
{
    return E_NOTIMPL;
}

}  // namespace SimulatedPhone
