// The simulated phone's device manager (lists the configured devices) and
// device (opened by id, gives the content of its one storage).
#pragma once

#include <windows.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "InstallerShim/PortableDeviceApi.h"
#include "PhoneComObject.h"
#include "PhoneStorage.h"

namespace SimulatedPhone {

class CPhoneManager : public CPhoneComObject<IPortableDeviceManager>
{
public:
    // Reads the configured devices.
    CPhoneManager();

    // With no array: the number of devices. With one: fills at most
    // *pcPnPDeviceIDs ids (CoTaskMemAlloc'd) and sets the count written;
    // S_FALSE when the array was too small for all.
    STDMETHODIMP GetDevices(LPWSTR* pPnPDeviceIDs, DWORD* pcPnPDeviceIDs) override;
    STDMETHODIMP RefreshDeviceList() override;
    STDMETHODIMP GetDeviceFriendlyName(LPCWSTR pszPnPDeviceID, WCHAR* pDeviceFriendlyName,
                                       DWORD* pcchDeviceFriendlyName) override;
    STDMETHODIMP GetDeviceDescription(LPCWSTR pszPnPDeviceID, WCHAR* pDeviceDescription,
                                      DWORD* pcchDeviceDescription) override;
    STDMETHODIMP GetDeviceManufacturer(LPCWSTR pszPnPDeviceID, WCHAR* pDeviceManufacturer,
                                       DWORD* pcchDeviceManufacturer) override;
    STDMETHODIMP GetDeviceProperty(LPCWSTR pszPnPDeviceID, LPCWSTR pszDevicePropertyName, BYTE* pData, DWORD* pcbData,
                                   DWORD* pdwType) override;
    STDMETHODIMP GetPrivateDevices(LPWSTR* pPnPDeviceIDs, DWORD* pcPnPDeviceIDs) override;

private:
    // Copies the text of a known device as the Get...Name methods do.
    HRESULT AnswerText(LPCWSTR pszPnPDeviceID, const std::wstring& strText, WCHAR* pBuffer, DWORD* pcch);

    std::mutex m_mutex;
    size_t m_nDevices = 0;
};

class CPhoneDevice : public CPhoneComObject<IPortableDevice>
{
public:
    // Opens the device with that id from the configuration as it is now,
    // reads the options, and records the client information in the open log.
    STDMETHODIMP Open(LPCWSTR pszPnPDeviceID, IPortableDeviceValues* pClientInfo) override;
    STDMETHODIMP SendCommand(DWORD dwFlags, IPortableDeviceValues* pParameters,
                             IPortableDeviceValues** ppResults) override;
    STDMETHODIMP Content(IPortableDeviceContent** ppContent) override;
    STDMETHODIMP Capabilities(IPortableDeviceCapabilities** ppCapabilities) override;
    STDMETHODIMP Cancel() override;
    STDMETHODIMP Close() override;
    STDMETHODIMP Advise(DWORD dwFlags, IPortableDeviceEventCallback* pCallback, IPortableDeviceValues* pParameters,
                        LPWSTR* ppszCookie) override;
    STDMETHODIMP Unadvise(LPCWSTR pszCookie) override;
    STDMETHODIMP GetPnPDeviceID(LPWSTR* ppszPnPDeviceID) override;

private:
    std::mutex m_mutex;
    std::wstring m_strId;
    std::shared_ptr<CPhoneStorage> m_storage;  // empty until opened
};

}  // namespace SimulatedPhone
