// What a screen reader reads of a skinned window through Active
// Accessibility. The system's standard object of a window (what
// CreateStdAccessibleObject makes) knows the window by its class and style
// alone: an owner-drawn button is a push button to it, never a check box or a
// radio button, and it knows neither its check state nor whether it is the
// default button; a dialog has no description. CHAccessibleProxy stands in
// front of the standard object and forwards everything to it, except the
// role, the state and the description of the object itself (CHILDID_SELF),
// which the window's overrides may tell instead. Children (a list's items)
// are always the standard object's.
//
// Answer makes a proxy over the standard object for WM_GETOBJECT and hands it
// out with LresultFromObject. That takes a thread in a COM apartment; on a
// thread in none (or when anything fails) the answer is 0, which leaves the
// message to the system and the client gets the standard object as before.
//
// The overrides may run on any thread a client calls on, after the window and
// the C++ object that drew it are gone: they capture window handles and
// constants only, and ask the window through messages.
#pragma once

#include <windows.h>
#include <oleacc.h>

#include <functional>
#include <string>

#include "RAde/DEVEDar/HMessageCrackers.h"
#include "RAde/HUniqueHandle.h"

class CHAccessibleProxy final : public IAccessible, public IEnumVARIANT, public IOleWindow
{
public:
    // An empty override keeps the standard object's answer.
    struct COverrides
    {
        std::function<LONG()> role;                      // ROLE_SYSTEM_*
        std::function<LONG(LONG nStandardState)> state;  // STATE_SYSTEM_*, from the standard ones
        std::function<std::wstring()> description;       // empty: none
    };

    // The object WM_GETOBJECT asks for (OBJID_CLIENT, OBJID_WINDOW, ...): its
    // lParam holds a 32-bit id, which a 64-bit sender need not sign-extend.
    static LONG ObjectIdOf(LPARAM lParam) noexcept { return static_cast<LONG>(static_cast<DWORD>(lParam)); }
    // Overrides that tell the role nRole and nothing else: for control
    // classes whose role the system's object of Windows knows and Wine's
    // does not (it calls every window a plain client).
    static COverrides Role(LONG nRole);
    // WM_GETOBJECT's answer for hWnd's object nObjectId, or 0.
    static LRESULT Answer(HWND hWnd, WPARAM wParam, LONG nObjectId, COverrides overrides) noexcept;
    // A control's WM_GETOBJECT: the answer when it asks for the client object
    // and a proxy could be handed out; none leaves it to the system.
    static CHMessageAnswer AnswerClient(HWND hWnd, WPARAM wParam, LPARAM lParam, COverrides overrides) noexcept;
    // A proxy over hWnd's standard object nObjectId, with one reference; throws when none can be made.
    static CHComPtr<IAccessible> Create(HWND hWnd, LONG nObjectId, COverrides overrides);

    // IUnknown: IAccessible (and IDispatch), IOleWindow, and IEnumVARIANT when the standard object has one.
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override;
    STDMETHODIMP_(ULONG) AddRef() noexcept override;
    STDMETHODIMP_(ULONG) Release() noexcept override;

    // IDispatch, forwarded.
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) noexcept override;
    STDMETHODIMP GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) noexcept override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                               DISPID* rgDispId) noexcept override;
    STDMETHODIMP Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                        VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) noexcept override;

    // IAccessible: role, state and description may be overridden, the rest is forwarded.
    STDMETHODIMP get_accRole(VARIANT varChild, VARIANT* pvarRole) noexcept override;
    STDMETHODIMP get_accState(VARIANT varChild, VARIANT* pvarState) noexcept override;
    STDMETHODIMP get_accDescription(VARIANT varChild, BSTR* pszDescription) noexcept override;
    STDMETHODIMP get_accParent(IDispatch** ppdispParent) noexcept override;
    STDMETHODIMP get_accChildCount(LONG* pcountChildren) noexcept override;
    STDMETHODIMP get_accChild(VARIANT varChild, IDispatch** ppdispChild) noexcept override;
    STDMETHODIMP get_accName(VARIANT varChild, BSTR* pszName) noexcept override;
    STDMETHODIMP get_accValue(VARIANT varChild, BSTR* pszValue) noexcept override;
    STDMETHODIMP get_accHelp(VARIANT varChild, BSTR* pszHelp) noexcept override;
    STDMETHODIMP get_accHelpTopic(BSTR* pszHelpFile, VARIANT varChild, LONG* pidTopic) noexcept override;
    STDMETHODIMP get_accKeyboardShortcut(VARIANT varChild, BSTR* pszKeyboardShortcut) noexcept override;
    STDMETHODIMP get_accFocus(VARIANT* pvarChild) noexcept override;
    STDMETHODIMP get_accSelection(VARIANT* pvarChildren) noexcept override;
    STDMETHODIMP get_accDefaultAction(VARIANT varChild, BSTR* pszDefaultAction) noexcept override;
    STDMETHODIMP accSelect(LONG flagsSelect, VARIANT varChild) noexcept override;
    STDMETHODIMP accLocation(LONG* pxLeft, LONG* pyTop, LONG* pcxWidth, LONG* pcyHeight,
                             VARIANT varChild) noexcept override;
    STDMETHODIMP accNavigate(LONG navDir, VARIANT varStart, VARIANT* pvarEndUpAt) noexcept override;
    STDMETHODIMP accHitTest(LONG xLeft, LONG yTop, VARIANT* pvarChild) noexcept override;
    STDMETHODIMP accDoDefaultAction(VARIANT varChild) noexcept override;
    STDMETHODIMP put_accName(VARIANT varChild, BSTR szName) noexcept override;
    STDMETHODIMP put_accValue(VARIANT varChild, BSTR szValue) noexcept override;

    // IEnumVARIANT: the standard object's children, forwarded.
    STDMETHODIMP Next(ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched) noexcept override;
    STDMETHODIMP Skip(ULONG celt) noexcept override;
    STDMETHODIMP Reset() noexcept override;
    STDMETHODIMP Clone(IEnumVARIANT** ppEnum) noexcept override;

    // IOleWindow: the window the proxy speaks for.
    STDMETHODIMP GetWindow(HWND* phwnd) noexcept override;
    STDMETHODIMP ContextSensitiveHelp(BOOL fEnterMode) noexcept override;

private:
    CHAccessibleProxy(CHComPtr<IAccessible> standard, HWND hWnd, COverrides overrides);
    ~CHAccessibleProxy() = default;

    static bool IsSelf(const VARIANT& varChild) noexcept;

    LONG m_nReferences = 1;
    CHComPtr<IAccessible> m_standard;
    CHComPtr<IEnumVARIANT> m_standardChildren;  // null when the standard object has no enumerator
    HWND m_hWnd;
    COverrides m_overrides;
};
