// How a window of the skinned GUI library tells the user about a failure: it
// logs the whole error and shows one message box, captioned with the
// application's name, owned by the failing window. Reporting never throws.
#pragma once

#include <windows.h>

#include <string>

class CHException;

class CHUIErrorHandler
{
public:
    virtual ~CHUIErrorHandler() = default;

    // strText may be empty (the default error text is shown then); hWndOwner may be null.
    virtual void HandleError(const std::wstring& strText, const CHException& error, HWND hWndOwner);
    // Appends a blank line and the description of the error's first Win32 entry, if any.
    static void AddErrorSpecificInfo(std::wstring& strText, const CHException& error);

    // The two texts every handler of the process reads, set with the UI language
    // ("ids-def-error" and "ids-app-name" of the skin).
    static void SetDefaultErrorText(const std::wstring& strText);
    static void SetApplicationName(const std::wstring& strName);
    static std::wstring GetDefaultErrorText();
    static std::wstring GetApplicationName();
};
