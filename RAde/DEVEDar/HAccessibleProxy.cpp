#include "RAde/DEVEDar/HAccessibleProxy.h"

#include <new>
#include <utility>

#include "RAde/HException.h"

namespace {
// The description the client gets: a new string, or S_FALSE for none.
HRESULT ReturnDescription(const std::wstring& strDescription, BSTR* pszDescription) noexcept
{
    if (strDescription.empty())
        return S_FALSE;
    *pszDescription = ::SysAllocStringLen(strDescription.data(), static_cast<UINT>(strDescription.size()));
    return *pszDescription != nullptr ? S_OK : E_OUTOFMEMORY;
}
}  // namespace

CHAccessibleProxy::CHAccessibleProxy(CHComPtr<IAccessible> standard, HWND hWnd, COverrides overrides)
    : m_standard(std::move(standard)), m_hWnd(hWnd), m_overrides(std::move(overrides))
{
    m_standard->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(m_standardChildren.OutParam()));
}

CHComPtr<IAccessible> CHAccessibleProxy::Create(HWND hWnd, LONG nObjectId, COverrides overrides)
{
    HTRY {
        CHComPtr<IAccessible> standard;
        const HRESULT hr = ::CreateStdAccessibleObject(hWnd, nObjectId, IID_IAccessible,
                                                       reinterpret_cast<void**>(standard.OutParam()));
        if (FAILED(hr) || !standard)
            throw CHException::FromHResult(FAILED(hr) ? hr : E_FAIL, HSITE);
        return CHComPtr<IAccessible>(new CHAccessibleProxy(std::move(standard), hWnd, std::move(overrides)));
    } HCATCH
}

CHAccessibleProxy::COverrides CHAccessibleProxy::Role(LONG nRole)
{
    return COverrides{[nRole] { return nRole; }, nullptr, nullptr};
}

LRESULT CHAccessibleProxy::Answer(HWND hWnd, WPARAM wParam, LONG nObjectId, COverrides overrides) noexcept
{
    HTRY {
        const CHComPtr<IAccessible> proxy = Create(hWnd, nObjectId, std::move(overrides));
        // The client holds its own reference from here on (or none, when this fails).
        const LRESULT lResult = ::LresultFromObject(IID_IAccessible, wParam, proxy.Get());
        return lResult > 0 ? lResult : 0;
    } HCATCH_LOG
    return 0;
}

CHMessageAnswer CHAccessibleProxy::AnswerClient(HWND hWnd, WPARAM wParam, LPARAM lParam, COverrides overrides) noexcept
{
    if (ObjectIdOf(lParam) != OBJID_CLIENT)
        return std::nullopt;
    const LRESULT lResult = Answer(hWnd, wParam, OBJID_CLIENT, std::move(overrides));
    return lResult != 0 ? CHMessageAnswer(lResult) : std::nullopt;
}

bool CHAccessibleProxy::IsSelf(const VARIANT& varChild) noexcept
{
    return varChild.vt == VT_I4 && varChild.lVal == CHILDID_SELF;
}

STDMETHODIMP CHAccessibleProxy::QueryInterface(REFIID riid, void** ppv) noexcept
{
    if (ppv == nullptr)
        return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IAccessible)
        *ppv = static_cast<IAccessible*>(this);
    else if (riid == IID_IOleWindow)
        *ppv = static_cast<IOleWindow*>(this);
    else if (riid == IID_IEnumVARIANT && m_standardChildren)
        *ppv = static_cast<IEnumVARIANT*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CHAccessibleProxy::AddRef() noexcept
{
    return static_cast<ULONG>(::InterlockedIncrement(&m_nReferences));
}

STDMETHODIMP_(ULONG) CHAccessibleProxy::Release() noexcept
{
    const LONG nLeft = ::InterlockedDecrement(&m_nReferences);
    if (nLeft == 0)
        delete this;
    return static_cast<ULONG>(nLeft);
}

STDMETHODIMP CHAccessibleProxy::get_accRole(VARIANT varChild, VARIANT* pvarRole) noexcept
{
    if (!IsSelf(varChild) || !m_overrides.role || pvarRole == nullptr)
        return m_standard->get_accRole(varChild, pvarRole);
    HTRY {
        pvarRole->vt = VT_I4;
        pvarRole->lVal = m_overrides.role();
        return S_OK;
    } HCATCH_LOG
    return E_FAIL;
}

STDMETHODIMP CHAccessibleProxy::get_accState(VARIANT varChild, VARIANT* pvarState) noexcept
{
    const HRESULT hr = m_standard->get_accState(varChild, pvarState);
    if (FAILED(hr) || !IsSelf(varChild) || !m_overrides.state || pvarState == nullptr || pvarState->vt != VT_I4)
        return hr;
    HTRY {
        pvarState->lVal = m_overrides.state(pvarState->lVal);
        return S_OK;
    } HCATCH_LOG
    return E_FAIL;
}

STDMETHODIMP CHAccessibleProxy::get_accDescription(VARIANT varChild, BSTR* pszDescription) noexcept
{
    if (!IsSelf(varChild) || !m_overrides.description || pszDescription == nullptr)
        return m_standard->get_accDescription(varChild, pszDescription);
    *pszDescription = nullptr;
    HTRY {
        return ReturnDescription(m_overrides.description(), pszDescription);
    } HCATCH_LOG
    return E_FAIL;
}

// Everything else is the standard object's.

STDMETHODIMP CHAccessibleProxy::GetTypeInfoCount(UINT* pctinfo) noexcept
{
    return m_standard->GetTypeInfoCount(pctinfo);
}

STDMETHODIMP CHAccessibleProxy::GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) noexcept
{
    return m_standard->GetTypeInfo(iTInfo, lcid, ppTInfo);
}

STDMETHODIMP CHAccessibleProxy::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                              DISPID* rgDispId) noexcept
{
    return m_standard->GetIDsOfNames(riid, rgszNames, cNames, lcid, rgDispId);
}

STDMETHODIMP CHAccessibleProxy::Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                       DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                                       UINT* puArgErr) noexcept
{
    return m_standard->Invoke(dispIdMember, riid, lcid, wFlags, pDispParams, pVarResult, pExcepInfo, puArgErr);
}

STDMETHODIMP CHAccessibleProxy::get_accParent(IDispatch** ppdispParent) noexcept
{
    return m_standard->get_accParent(ppdispParent);
}

STDMETHODIMP CHAccessibleProxy::get_accChildCount(LONG* pcountChildren) noexcept
{
    return m_standard->get_accChildCount(pcountChildren);
}

STDMETHODIMP CHAccessibleProxy::get_accChild(VARIANT varChild, IDispatch** ppdispChild) noexcept
{
    return m_standard->get_accChild(varChild, ppdispChild);
}

STDMETHODIMP CHAccessibleProxy::get_accName(VARIANT varChild, BSTR* pszName) noexcept
{
    return m_standard->get_accName(varChild, pszName);
}

STDMETHODIMP CHAccessibleProxy::get_accValue(VARIANT varChild, BSTR* pszValue) noexcept
{
    return m_standard->get_accValue(varChild, pszValue);
}

STDMETHODIMP CHAccessibleProxy::get_accHelp(VARIANT varChild, BSTR* pszHelp) noexcept
{
    return m_standard->get_accHelp(varChild, pszHelp);
}

STDMETHODIMP CHAccessibleProxy::get_accHelpTopic(BSTR* pszHelpFile, VARIANT varChild, LONG* pidTopic) noexcept
{
    return m_standard->get_accHelpTopic(pszHelpFile, varChild, pidTopic);
}

STDMETHODIMP CHAccessibleProxy::get_accKeyboardShortcut(VARIANT varChild, BSTR* pszKeyboardShortcut) noexcept
{
    return m_standard->get_accKeyboardShortcut(varChild, pszKeyboardShortcut);
}

STDMETHODIMP CHAccessibleProxy::get_accFocus(VARIANT* pvarChild) noexcept
{
    return m_standard->get_accFocus(pvarChild);
}

STDMETHODIMP CHAccessibleProxy::get_accSelection(VARIANT* pvarChildren) noexcept
{
    return m_standard->get_accSelection(pvarChildren);
}

STDMETHODIMP CHAccessibleProxy::get_accDefaultAction(VARIANT varChild, BSTR* pszDefaultAction) noexcept
{
    return m_standard->get_accDefaultAction(varChild, pszDefaultAction);
}

STDMETHODIMP CHAccessibleProxy::accSelect(LONG flagsSelect, VARIANT varChild) noexcept
{
    return m_standard->accSelect(flagsSelect, varChild);
}

STDMETHODIMP CHAccessibleProxy::accLocation(LONG* pxLeft, LONG* pyTop, LONG* pcxWidth, LONG* pcyHeight,
                                            VARIANT varChild) noexcept
{
    return m_standard->accLocation(pxLeft, pyTop, pcxWidth, pcyHeight, varChild);
}

STDMETHODIMP CHAccessibleProxy::accNavigate(LONG navDir, VARIANT varStart, VARIANT* pvarEndUpAt) noexcept
{
    return m_standard->accNavigate(navDir, varStart, pvarEndUpAt);
}

STDMETHODIMP CHAccessibleProxy::accHitTest(LONG xLeft, LONG yTop, VARIANT* pvarChild) noexcept
{
    return m_standard->accHitTest(xLeft, yTop, pvarChild);
}

STDMETHODIMP CHAccessibleProxy::accDoDefaultAction(VARIANT varChild) noexcept
{
    return m_standard->accDoDefaultAction(varChild);
}

STDMETHODIMP CHAccessibleProxy::put_accName(VARIANT varChild, BSTR szName) noexcept
{
    return m_standard->put_accName(varChild, szName);
}

STDMETHODIMP CHAccessibleProxy::put_accValue(VARIANT varChild, BSTR szValue) noexcept
{
    return m_standard->put_accValue(varChild, szValue);
}

STDMETHODIMP CHAccessibleProxy::Next(ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched) noexcept
{
    return m_standardChildren->Next(celt, rgVar, pCeltFetched);
}

STDMETHODIMP CHAccessibleProxy::Skip(ULONG celt) noexcept
{
    return m_standardChildren->Skip(celt);
}

STDMETHODIMP CHAccessibleProxy::Reset() noexcept
{
    return m_standardChildren->Reset();
}

STDMETHODIMP CHAccessibleProxy::Clone(IEnumVARIANT** ppEnum) noexcept
{
    // A copy of the position among the children; the copy is the standard object's.
    return m_standardChildren->Clone(ppEnum);
}

STDMETHODIMP CHAccessibleProxy::GetWindow(HWND* phwnd) noexcept
{
    if (phwnd == nullptr)
        return E_POINTER;
    *phwnd = m_hWnd;
    return S_OK;
}

STDMETHODIMP CHAccessibleProxy::ContextSensitiveHelp(BOOL) noexcept
{
    return E_NOTIMPL;
}
