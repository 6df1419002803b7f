#include "PhoneDevice.h"

#include "PhoneContent.h"
#include "SimulatedPhoneConfig.h"

namespace SimulatedPhone {

namespace {

constexpr HRESULT kDeviceAlreadyOpened = static_cast<HRESULT>(0x802A0001);  // E_WPD_DEVICE_ALREADY_OPENED
constexpr HRESULT kDeviceNotOpen = static_cast<HRESULT>(0x802A0002);        // E_WPD_DEVICE_NOT_OPEN
constexpr HRESULT kUnknownDevice = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);

// One open-log entry: the device number and the client information given.
std::wstring DescribeOpen(size_t nDevice, IPortableDeviceValues* pClientInfo)
{
    std::wstring strEntry = L"device=" + std::to_wstring(nDevice);
    LPWSTR pszName = nullptr;
    if (SUCCEEDED(pClientInfo->GetStringValue(Wpd::ClientName, &pszName)) && pszName)
        strEntry += std::wstring(L";name=") + pszName;
    ::CoTaskMemFree(pszName);
    const std::pair<const wchar_t*, const PROPERTYKEY*> numbers[] = {{L";major=", &Wpd::ClientMajorVersion},
                                                                     {L";minor=", &Wpd::ClientMinorVersion},
                                                                     {L";revision=", &Wpd::ClientRevision}};
    for (const auto& [pszLabel, pKey] : numbers) {
        ULONG nValue = 0;
        if (SUCCEEDED(pClientInfo->GetUnsignedIntegerValue(*pKey, &nValue)))
            strEntry += pszLabel + std::to_wstring(nValue);
    }
    return strEntry;
}

}  // namespace

// ---------------------------------------------------------------------------
// CPhoneManager

CPhoneManager::CPhoneManager()
{
    RefreshDeviceList();
}

STDMETHODIMP CPhoneManager::RefreshDeviceList()
{
    return Guarded([&] {
        const size_t nDevices = ReadStrings(kDevicesValue).size();
        std::lock_guard<std::mutex> lock(m_mutex);
        m_nDevices = nDevices;
        return S_OK;
    });
}

STDMETHODIMP CPhoneManager::GetDevices(LPWSTR* pPnPDeviceIDs, DWORD* pcPnPDeviceIDs)
{
    return Guarded([&] {
        if (!pcPnPDeviceIDs)
            return E_POINTER;
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!pPnPDeviceIDs) {
            *pcPnPDeviceIDs = static_cast<DWORD>(m_nDevices);
            return S_OK;
        }
        const size_t nWritten = std::min<size_t>(*pcPnPDeviceIDs, m_nDevices);
        for (size_t i = 0; i < nWritten; ++i) {
            const HRESULT hr = CopyToTaskMemory(DeviceId(i + 1), &pPnPDeviceIDs[i]);
            if (FAILED(hr)) {
                while (i > 0)
                    ::CoTaskMemFree(pPnPDeviceIDs[--i]);
                return hr;
            }
        }
        *pcPnPDeviceIDs = static_cast<DWORD>(nWritten);
        return nWritten < m_nDevices ? S_FALSE : S_OK;
    });
}

HRESULT CPhoneManager::AnswerText(LPCWSTR pszPnPDeviceID, const std::wstring& strText, WCHAR* pBuffer, DWORD* pcch)
{
    return Guarded([&] {
        if (!pszPnPDeviceID || !pcch)
            return E_POINTER;
        const size_t nDevice = DeviceNumberOf(pszPnPDeviceID);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (nDevice == 0 || nDevice > m_nDevices)
                return kUnknownDevice;
        }
        const DWORD cchNeeded = static_cast<DWORD>(strText.size() + 1);
        if (!pBuffer) {
            *pcch = cchNeeded;
            return S_OK;
        }
        if (*pcch < cchNeeded) {
            *pcch = cchNeeded;
            return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
        }
        memcpy(pBuffer, strText.c_str(), cchNeeded * sizeof(wchar_t));
        *pcch = cchNeeded;
        return S_OK;
    });
}

STDMETHODIMP CPhoneManager::GetDeviceFriendlyName(LPCWSTR pszPnPDeviceID, WCHAR* pDeviceFriendlyName,
                                                  DWORD* pcchDeviceFriendlyName)
{
    const size_t nDevice = pszPnPDeviceID ? DeviceNumberOf(pszPnPDeviceID) : 0;
    return AnswerText(pszPnPDeviceID, L"Simulated phone " + std::to_wstring(nDevice), pDeviceFriendlyName,
                      pcchDeviceFriendlyName);
}

STDMETHODIMP CPhoneManager::GetDeviceDescription(LPCWSTR pszPnPDeviceID, WCHAR* pDeviceDescription,
                                                 DWORD* pcchDeviceDescription)
{
    return AnswerText(pszPnPDeviceID, L"Simulated phone", pDeviceDescription, pcchDeviceDescription);
}

STDMETHODIMP CPhoneManager::GetDeviceManufacturer(LPCWSTR pszPnPDeviceID, WCHAR* pDeviceManufacturer,
                                                  DWORD* pcchDeviceManufacturer)
{
    return AnswerText(pszPnPDeviceID, L"Halvik Test", pDeviceManufacturer, pcchDeviceManufacturer);
}

STDMETHODIMP CPhoneManager::GetDeviceProperty(LPCWSTR, LPCWSTR, BYTE*, DWORD*, DWORD*)
{
    return E_NOTIMPL;
}
STDMETHODIMP CPhoneManager::GetPrivateDevices(LPWSTR*, DWORD*)
{
    return E_NOTIMPL;
}

// ---------------------------------------------------------------------------
// CPhoneDevice

STDMETHODIMP CPhoneDevice::Open(LPCWSTR pszPnPDeviceID, IPortableDeviceValues* pClientInfo)
{
    return Guarded([&] {
        if (!pszPnPDeviceID || !pClientInfo)
            return E_POINTER;
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_storage)
            return kDeviceAlreadyOpened;
        const std::vector<std::wstring> devices = ReadStrings(kDevicesValue);
        const size_t nDevice = DeviceNumberOf(pszPnPDeviceID);
        if (nDevice == 0 || nDevice > devices.size())
            return kUnknownDevice;

        CPhoneOptions options;
        options.dwNextLimit = ReadOption(kNextLimitValue, 0);
        options.dwReadLimit = ReadOption(kReadLimitValue, 0);
        options.dwReadDelayMs = ReadOption(kReadDelayValue, 0);
        options.dwOptimalTransferSize = ReadOption(kOptimalTransferSizeValue, kDefaultOptimalTransferSize);
        options.nFailReadAt = ReadWideOption(kFailReadAtValue, options.nFailReadAt);
        const std::wstring& strFolder = devices[nDevice - 1];
        m_storage = std::make_shared<CPhoneStorage>(strFolder == kLockedDevice ? L"" : strFolder, options);
        m_strId = pszPnPDeviceID;

        std::vector<std::wstring> log = ReadStrings(kOpenLogValue);
        log.push_back(DescribeOpen(nDevice, pClientInfo));
        WriteStrings(kOpenLogValue, log);
        return S_OK;
    });
}

STDMETHODIMP CPhoneDevice::Content(IPortableDeviceContent** ppContent)
{
    return Guarded([&] {
        if (!ppContent)
            return E_POINTER;
        *ppContent = nullptr;
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_storage)
            return kDeviceNotOpen;
        return HandOut(MakeObject<CPhoneContent>(m_storage), __uuidof(IPortableDeviceContent),
                       reinterpret_cast<void**>(ppContent));
    });
}

STDMETHODIMP CPhoneDevice::GetPnPDeviceID(LPWSTR* ppszPnPDeviceID)
{
    return Guarded([&] {
        if (!ppszPnPDeviceID)
            return E_POINTER;
        *ppszPnPDeviceID = nullptr;
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_storage ? CopyToTaskMemory(m_strId, ppszPnPDeviceID) : kDeviceNotOpen;
    });
}

// Content handed out before keeps working: it holds the storage itself.
STDMETHODIMP CPhoneDevice::Close()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_storage.reset();
    m_strId.clear();
    return S_OK;
}

STDMETHODIMP CPhoneDevice::Cancel()
{
    return S_OK;
}

// Commands, capabilities and events are not simulated.
STDMETHODIMP CPhoneDevice::SendCommand(DWORD, IPortableDeviceValues*, IPortableDeviceValues**)
{
    return E_NOTIMPL;
}
STDMETHODIMP CPhoneDevice::Capabilities(IPortableDeviceCapabilities**)
{
    return E_NOTIMPL;
}
STDMETHODIMP CPhoneDevice::Advise(DWORD, IPortableDeviceEventCallback*, IPortableDeviceValues*, LPWSTR*)
{
    return E_NOTIMPL;
}
STDMETHODIMP CPhoneDevice::Unadvise(LPCWSTR)
{
    return E_NOTIMPL;
}

}  // namespace SimulatedPhone
