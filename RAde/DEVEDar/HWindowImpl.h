// The window layer every skinned window of the library rests on: a C++ object
// bound to one window, either a window it creates from a class of its own or an
// existing control it subclasses.
//
// Messages reach the object's AnswerMessage. A handler that deals with a
// message returns its result; std::nullopt passes the message on: to the
// class's default procedure (DefWindowProc) for a created window, to the
// control's own procedure (DefSubclassProc) for a subclassed one.
// ProcessWindowMessage reports that answer as TRUE with the result in lResult,
// or FALSE; a class that routes messages through helpers of that form (the
// dialogs) overrides it and asks AnswerMessage first.
// Exceptions never leave the window procedure: they are logged and swallowed.
//
// The object is reachable from its window with FromHandle until the window
// receives WM_NCDESTROY; after that m_hWnd is null again and OnFinalMessage runs.
// Windows and their objects belong to one thread: create, subclass, destroy and
// delete them on the thread that runs their messages.
#pragma once

#include <windows.h>

#include <optional>

#include "RAde/DEVEDar/HMessageCrackers.h"
#include "RAde/HUniqueHandle.h"

// <windowsx.h> defines SubclassWindow as a macro of two arguments, which
// would turn every call of the method below into an error. Include
// <windowsx.h> before this header, if at all.
#ifdef SubclassWindow
#undef SubclassWindow
#endif

// BeginPaint and EndPaint as one scope. Get() is null when BeginPaint failed.
class CHPaintDC
{
public:
    explicit CHPaintDC(HWND hWnd) noexcept : m_hWnd(hWnd), m_hDC(::BeginPaint(hWnd, &m_paint)) {}
    ~CHPaintDC()
    {
        if (m_hDC != nullptr)
            ::EndPaint(m_hWnd, &m_paint);
    }
    CHPaintDC(const CHPaintDC&) = delete;
    CHPaintDC& operator=(const CHPaintDC&) = delete;

    HDC Get() const noexcept { return m_hDC; }
    const PAINTSTRUCT& GetPaintStruct() const noexcept { return m_paint; }

private:
    HWND m_hWnd;
    PAINTSTRUCT m_paint{};
    HDC m_hDC;
};

// The device context a control paints into: the one its message gave
// (WM_PAINT's or WM_PRINTCLIENT's wParam), else an external one (its
// parent's), else its own from BeginPaint, ended with this object. Throws
// when BeginPaint gives none.
class CHPaintTarget
{
public:
    CHPaintTarget(HWND hWnd, HDC hGivenDC, HDC hExternalDC = nullptr);

    HDC Get() const noexcept { return m_hDC; }
    // Painting goes into the external device context.
    bool IsExternal() const noexcept { return m_bExternal; }

private:
    std::optional<CHPaintDC> m_paint;
    HDC m_hDC = nullptr;
    bool m_bExternal = false;
};

class CHWindowImpl
{
public:
    CHWindowImpl() noexcept = default;
    // Destroys a window this object created, and gives a subclassed control back
    // to its own procedure. The object's handlers no longer see those messages.
    virtual ~CHWindowImpl();
    CHWindowImpl(const CHWindowImpl&) = delete;
    CHWindowImpl& operator=(const CHWindowImpl&) = delete;

    // Creates a window of the class GetWndClassName names (registered on first
    // use). pRect null gives CW_USEDEFAULT. Throws on failure.
    HWND Create(HWND hWndParent, const RECT* pRect, LPCWSTR pszTitle, DWORD dwStyle, DWORD dwExStyle,
                UINT_PTR nIdOrMenu = 0);
    // Routes an existing window's messages through this object first. FALSE when
    // the window is none, this object is already bound, or the system refuses.
    BOOL SubclassWindow(HWND hWnd) noexcept;
    // Gives a subclassed window back to its own procedure; returns it.
    HWND UnsubclassWindow() noexcept;
    BOOL DestroyWindow() noexcept;

    // The object bound to hWnd by this layer, or null.
    static CHWindowImpl* FromHandle(HWND hWnd) noexcept;

    UINT_PTR SetTimer(UINT_PTR nId, UINT nElapse) noexcept { return ::SetTimer(m_hWnd, nId, nElapse, nullptr); }
    BOOL KillTimer(UINT_PTR nId) noexcept { return ::KillTimer(m_hWnd, nId); }
    BOOL IsWindow() const noexcept { return m_hWnd != nullptr && ::IsWindow(m_hWnd); }
    // The bound window (null while none is): set only by this layer.
    HWND GetHandle() const noexcept { return m_hWnd; }
    operator HWND() const noexcept { return m_hWnd; }

    // Message processing: TRUE when handled (result in lResult). Here the
    // answer of AnswerMessage, the one place where an answer becomes the pair.
    virtual BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult);
    // What an unhandled message gets: the default or the control's own procedure.
    virtual LRESULT DefWindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam);

protected:
    HWND m_hWnd = nullptr;

    enum class EBinding
    {
        None,
        Created,
        Subclassed,
        Dialog
    };

    // The object's handlers: nothing is handled here.
    virtual CHMessageAnswer AnswerMessage(UINT uMsg, WPARAM wParam, LPARAM lParam);

    // Name of the window class Create registers; one class per name.
    virtual LPCWSTR GetWndClassName() const noexcept { return L"DEVEDar.Window"; }
    // Called after the window's last message (WM_NCDESTROY); m_hWnd is null.
    virtual void OnFinalMessage(HWND /*hWnd*/) {}

    // Binding and unbinding, shared with the dialog layer.
    void Bind(HWND hWnd, EBinding binding) noexcept;
    void Unbind() noexcept;
    // Runs the handlers, catching what they throw; FALSE when none handled it.
    BOOL RouteMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) noexcept;
    // The final message was processed: unbind and tell the object.
    void FinishMessages(HWND hWnd) noexcept;

    EBinding m_binding = EBinding::None;

private:
    static LRESULT CALLBACK StaticWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) noexcept;
    static LRESULT CALLBACK SubclassProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, UINT_PTR nId,
                                         DWORD_PTR pRefData) noexcept;
    void RegisterClassOnce() const;
};
