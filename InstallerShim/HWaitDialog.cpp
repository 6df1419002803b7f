#include "InstallerShim/HWaitDialog.h"

#include <algorithm>
#include <cstring>

#include "RAde/DEVEDar/HDpiImage.h"
#include "RAde/HBufHGlobal.h"
#include "RAde/HComApartment.h"
#include "RAde/HException.h"
#include "RAde/HLogging.h"
#include "RAde/HStringHelper.h"

namespace {
struct CNamedControl
{
    int nId;
    const wchar_t* pszName;
};
constexpr CNamedControl kNamedControls[] = {{CHWaitDialog::kButtonId, L"button"},
                                            {CHWaitDialog::kMessageId, L"message"},
                                            {CHWaitDialog::kAnimationId, L"animation"}};

// Logs an error the dialog reports itself (as the launcher logs handled failures).
void LogHandled(const CHException& error)
{
    CHLogging::LogDebug(L"%s\n", error.GetDescription(CHException::DescribeEverything).c_str());
}
}  // namespace

CHWaitDialog::CHWaitDialog() : CHDialog(kTemplateId)
{
    m_animFrame.m_nMode = 1;  // the frame stretched over the spinner control
    SetWindowShadow(true);
    SetDescriptionControl(kMessageId);  // a screen reader reads the message with the title
}

void CHWaitDialog::TakeAppearanceOptions()
{
    CHDialog::TakeAppearanceOptions();
    SetWindowShadow(true);
}

CHWaitDialog::~CHWaitDialog() = default;

std::array<CHImage, CHWaitDialog::kFrameCount>& CHWaitDialog::WaitAnimFrames()
{
    // Never freed before the process ends: dialogs on other threads may still show them.
    static auto* s_pFrames = new std::array<CHImage, kFrameCount>();
    return *s_pFrames;
}

std::optional<std::wstring> CHWaitDialog::GetControlName(int nControlId) const
{
    for (const CNamedControl& control : kNamedControls)
        if (control.nId == nControlId)
            return std::wstring(control.pszName);
    return std::nullopt;
}

int CHWaitDialog::GetControlId(const std::wstring& strName) const
{
    for (const CNamedControl& control : kNamedControls)
        if (CHStringHelper::EqualsNoCase(strName, control.pszName))
            return control.nId;
    return 0;
}

void CHWaitDialog::LoadWaitAnimFramesFromResources()
{
    HTRY {
        HMODULE hModule = ::GetModuleHandleW(nullptr);
        for (int i = 0; i < kFrameCount; ++i) {
            CHImage& frame = WaitAnimFrames()[static_cast<size_t>(i)];
            HRSRC hResource = ::FindResourceW(hModule, MAKEINTRESOURCEW(kFirstFrameResource + i), L"PNG");
            const void* pBytes = hResource ? ::LockResource(::LoadResource(hModule, hResource)) : nullptr;
            const DWORD nSize = hResource ? ::SizeofResource(hModule, hResource) : 0;
            HCHECK_WIN32(pBytes && nSize != 0,
                         .AddValue(L"resource", static_cast<int>(kFirstFrameResource + i), false));
            CHBufHGlobal buffer;
            buffer.Alloc(nSize);
            buffer.Lock();
            std::memcpy(buffer.GetBuf(), pBytes, nSize);
            buffer.Unlock();
            CHStreamPtr stream;
            buffer.DetachStream(stream.OutParam());
            frame.Load(stream.Get());
            PremultiplyAlpha(frame);
            CHDpiImage::ScaleForDpi(frame, g_pAppearance->GetDpiScale(), true);
        }
    } HCATCH
}

void CHWaitDialog::LoadWaitAnimFramesFromSkin()
{
    HTRY {
        const std::wstring strFolder = g_pAppearance->GetConfig().GetImageDirectory();
        for (int i = 0; i < kFrameCount; ++i) {
            CHImage& frame = WaitAnimFrames()[static_cast<size_t>(i)];
            CHDpiImage::Load(frame, strFolder + L"\\Resources\\anim_wait_" + std::to_wstring(i + 1) + L".png",
                             g_pAppearance->GetDpiScale(), true);
        }
    } HCATCH
}

UINT CHWaitDialog::RequestMessage()
{
    static const UINT s_nMessage = ::RegisterWindowMessageW(L"Halvik.WaitDialog.EndRequest");
    return s_nMessage;
}

INT_PTR CHWaitDialog::Run()
{
    try {
        // A screen reader reaches the dialog's objects through COM: a thread
        // in no apartment joins one for the run (one in an apartment keeps it).
        APTTYPE nType{};
        APTTYPEQUALIFIER nQualifier{};
        std::optional<CHComApartment> apartment;
        if (::CoGetApartmentType(&nType, &nQualifier) == CO_E_NOTINITIALIZED)
            apartment.emplace(COINIT_APARTMENTTHREADED);
        return DoModal(m_hWndOwner);
    } catch (const CHException& error) {
        LogHandled(error);
        return -1;
    }
}

bool CHWaitDialog::PostRequest(ERequest request)
{
    if (!m_bAcceptsPostedEnd)
        return false;
    HCHECK_WIN32(::PostMessageW(m_hWndForRequests, RequestMessage(), request, 0));
    return true;
}

void CHWaitDialog::RequestEnd() noexcept
{
    HTRY {
        std::lock_guard<std::mutex> lock(m_endLock);
        if (!PostRequest(kEndRequest))
            m_bEndRequested = true;
    } HCATCH_LOG
}

void CHWaitDialog::RequestFailure(const std::wstring& strMessage, const std::wstring& strButton) noexcept
{
    HTRY {
        std::lock_guard<std::mutex> lock(m_endLock);
        m_failure = CFailureReport{strMessage, strButton};
        // Without a window yet, the dialog shows the failure as it opens.
        PostRequest(kFailureRequest);
    } HCATCH_LOG
}

bool CHWaitDialog::TakeEndRequest()
{
    std::lock_guard<std::mutex> lock(m_endLock);
    if (m_bEndRequested) {
        m_bEndRequested = false;
        return true;
    }
    // From now on requests reach the window, on its own thread; a failure
    // reported earlier follows them as soon as the dialog's loop runs.
    m_bAcceptsPostedEnd = true;
    m_hWndForRequests = m_hWnd;
    if (m_failure)
        PostRequest(kFailureRequest);
    return false;
}

void CHWaitDialog::ShowFailure()
{
    std::optional<CFailureReport> failure;
    {
        std::lock_guard<std::mutex> lock(m_endLock);
        failure = m_failure;
    }
    if (!failure)
        return;
    // The texts first: once the spinner has gone, the dialog tells the failure.
    ::SetDlgItemTextW(m_hWnd, kMessageId, failure->strMessage.c_str());
    HWND hButton = ::GetDlgItem(m_hWnd, kButtonId);
    if (!failure->strButton.empty())
        ::SetWindowTextW(hButton, failure->strButton.c_str());
    m_animSet.Stop();
    ::ShowWindow(m_animFrame, SW_HIDE);
    ::ShowWindow(hButton, SW_SHOW);
    ::SendMessageW(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(hButton), TRUE);
}

CHMessageAnswer CHWaitDialog::AnswerMessage(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg == RequestMessage()) {
        HTRY {
            if (wParam == kFailureRequest) {
                ShowFailure();
            } else {
                m_animSet.Stop();
                EndDialog(1);
            }
        } HCATCH_LOG
        return 0;
    }
    if (uMsg == WM_DESTROY)
        OnDestroy();
    return CHDialog::AnswerMessage(uMsg, wParam, lParam);
}

LRESULT CHWaitDialog::OnInitDialog()
{
    try {
        HTRY {
            if (TakeEndRequest()) {
                EndDialog(2);
                return FALSE;
            }
            InitializeLook();
        } HCATCH
    } catch (const CHException& error) {
        // The dialog stays open; the user sees what failed.
        LogHandled(error);
        HandleError(L"", error, m_hWnd);
    }
    return TRUE;
}

void CHWaitDialog::InitializeLook()
{
    if (!m_animFrame.SubclassWindow(::GetDlgItem(m_hWnd, kAnimationId)))
        throw CHException(HError::InvalidParameter, HSITE).AddValue(L"control", kAnimationId, false);
    CHDialog::OnInitDialog();
    ::SetWindowTextW(m_hWnd, m_strTitle.c_str());
    ::SetDlgItemTextW(m_hWnd, kMessageId, m_strMessage.c_str());
    if (!m_strButton.empty())
        ::SetDlgItemTextW(m_hWnd, kButtonId, m_strButton.c_str());
    else
        ::ShowWindow(::GetDlgItem(m_hWnd, kButtonId), SW_HIDE);
    StartSpinner();
    PlaceDialog();
}

void CHWaitDialog::StartSpinner()
{
    // A dialog run again keeps its eight frames.
    if (m_animSet.GetAnim(0) == nullptr) {
        CHImageAnimation& spinner = m_animSet.CreateAnim(0);
        for (const CHImage& frame : WaitAnimFrames()) {
            m_animSet.m_delays.push_back(kFrameDelay);
            spinner.m_frames.push_back(&frame);
        }
    }
    m_animFrame.SetAnimation(&m_animSet, true);
    // As large as a frame, centred where the template puts the control.
    RECT rc{};
    ::GetWindowRect(m_animFrame, &rc);
    ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rc), 2);
    const CHImage& first = WaitAnimFrames()[0];
    const int nWidth = first.IsNull() ? 0 : first.GetWidth(), nHeight = first.IsNull() ? 0 : first.GetHeight();
    ::SetWindowPos(m_animFrame, nullptr, (rc.left + rc.right) / 2 - nWidth / 2, (rc.top + rc.bottom) / 2 - nHeight / 2,
                   nWidth, nHeight, SWP_NOZORDER | SWP_NOACTIVATE);
    m_animSet.Start(0);
}

void CHWaitDialog::PlaceDialog()
{
    RECT rc{};
    ::GetWindowRect(m_hWnd, &rc);
    const int nWidth = rc.right - rc.left, nHeight = rc.bottom - rc.top;
    RECT rcAround{};
    HWND hWndAround = m_hWndOwner != nullptr ? m_hWndOwner : ::GetWindow(m_hWnd, GW_OWNER);
    const bool bOverWindow =
        hWndAround != nullptr && (m_hWndOwner != nullptr || (::IsWindowVisible(hWndAround) && !::IsIconic(hWndAround)));
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    ::GetMonitorInfoW(::MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTONEAREST), &monitor);
    if (bOverWindow)
        ::GetWindowRect(hWndAround, &rcAround);
    else
        rcAround = monitor.rcWork;
    int x = (rcAround.left + rcAround.right) / 2 - nWidth / 2;
    int y = (rcAround.top + rcAround.bottom) / 2 - nHeight / 2;
    if (m_hWndOwner == nullptr) {
        // The standard centring keeps the dialog on the work area.
        x = std::max<int>(monitor.rcWork.left, std::min<int>(x, monitor.rcWork.right - nWidth));
        y = std::max<int>(monitor.rcWork.top, std::min<int>(y, monitor.rcWork.bottom - nHeight));
    }
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CHWaitDialog::OnDestroy()
{
    HTRY {
        {
            std::lock_guard<std::mutex> lock(m_endLock);
            m_bAcceptsPostedEnd = false;
            m_hWndForRequests = nullptr;
            m_failure.reset();
        }
        m_animSet.Stop();
    } HCATCH_LOG
}

CHMessageAnswer CHRenderedWaitDialog::AnswerMessage(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    // Posted when the dialog shows, so that it has been laid out and painted once.
    constexpr UINT kRender = WM_APP + 78;
    if (uMsg == WM_SHOWWINDOW && wParam)
        ::PostMessageW(m_hWnd, kRender, 0, 0);
    if (uMsg != kRender)
        return CHWaitDialog::AnswerMessage(uMsg, wParam, lParam);
    HTRY {
        RenderOnce();
    } HCATCH_LOG
    EndDialog(1);
    return 0;
}

void CHRenderedWaitDialog::RenderOnce()
{
    CHImageAnimationSet& spinner = GetAnimSet();
    spinner.Stop();
    spinner.SetOwner(nullptr);
    spinner.Start(0);
    // Without a window manager Wine activates a new window with an inactive
    // caption (WM_NCACTIVATE 0) and brings the active one only when X's
    // focus event arrives, at no fixed moment.
    ::SendMessageW(m_hWnd, WM_NCACTIVATE, TRUE, 0);
    m_render = RenderWindow();
}
