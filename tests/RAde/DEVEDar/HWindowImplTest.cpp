#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "RAde/DEVEDar/HWindowImpl.h"
#include "TestSupport.h"
#include "WindowTestSupport.h"

namespace {
// Answers through the handlers' form: a result, or none to pass the message on.
class CCountingWindow : public CHWindowImpl
{
public:
    int m_nCreates = 0;

protected:
    CHMessageAnswer AnswerMessage(UINT uMsg, WPARAM, LPARAM) override
    {
        if (uMsg == WM_CREATE)
            ++m_nCreates;
        if (uMsg == WM_APP)
            return 42;
        // Handled with 0, which is not passed on (the default would give the title's length).
        if (uMsg == WM_GETTEXTLENGTH)
            return 0;
        return std::nullopt;
    }
};

// A window whose handler the test gives, and which records what it saw into
// storage that outlives it.
struct CMessageLog
{
    std::vector<UINT> messages;
    bool bFinalMessage = false;
    HWND hWndAtFinalMessage = reinterpret_cast<HWND>(1);
    HWND hWndGivenToFinalMessage = nullptr;
    bool bNcDestroySeenBeforeFinal = false;

    bool Saw(UINT uMsg) const
    {
        for (UINT u : messages)
            if (u == uMsg)
                return true;
        return false;
    }
};

class CScriptedWindow : public CHWindowImpl
{
public:
    using Handler = std::function<BOOL(CScriptedWindow&, UINT, WPARAM, LPARAM, LRESULT&)>;

    explicit CScriptedWindow(CMessageLog& log, Handler handler = nullptr) : m_log(log), m_handler(std::move(handler)) {}

    BOOL ProcessWindowMessage(HWND, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override
    {
        m_log.messages.push_back(uMsg);
        return m_handler ? m_handler(*this, uMsg, wParam, lParam, lResult) : FALSE;
    }

    bool m_bDeleteAtFinalMessage = false;

protected:
    void OnFinalMessage(HWND hWnd) override
    {
        m_log.bFinalMessage = true;
        m_log.hWndAtFinalMessage = m_hWnd;
        m_log.hWndGivenToFinalMessage = hWnd;
        m_log.bNcDestroySeenBeforeFinal = m_log.Saw(WM_NCDESTROY);
        if (m_bDeleteAtFinalMessage)
            delete this;
    }

private:
    CMessageLog& m_log;
    Handler m_handler;
};

const RECT kWindowRect{20, 20, 220, 120};

// A STATIC control, the kind of existing control the library subclasses.
HWND CreateStatic(HWND hWndParent, int nId)
{
    return ::CreateWindowExW(0, L"STATIC", L"static text", WS_CHILD | WS_VISIBLE, 5, 5, 100, 20, hWndParent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(nId)), ::GetModuleHandleW(nullptr), nullptr);
}

// A point inside a window, in screen coordinates, as WM_NCHITTEST takes it.
LPARAM ScreenPointInside(HWND hWnd)
{
    RECT rc{};
    ::GetWindowRect(hWnd, &rc);
    return MAKELPARAM(rc.left + 2, rc.top + 2);
}
}  // namespace

TEST(CHWindowImpl, CreatedWindowReachesItsObjectAndAnswersThroughIt)
{
    CCountingWindow window;
    RECT rc{10, 10, 110, 60};
    HWND hWnd = window.Create(nullptr, &rc, L"test", WS_POPUP, 0);
    ASSERT_NE(hWnd, nullptr);
    EXPECT_EQ(window.GetHandle(), hWnd);
    EXPECT_EQ(CHWindowImpl::FromHandle(hWnd), &window);
    EXPECT_EQ(window.m_nCreates, 1);
    EXPECT_EQ(::SendMessageW(hWnd, WM_APP, 0, 0), 42);
    EXPECT_EQ(::SendMessageW(hWnd, WM_GETTEXTLENGTH, 0, 0), 0);
    // Unhandled messages get the default window procedure: it keeps the title and the size.
    wchar_t szTitle[16] = {};
    ::GetWindowTextW(hWnd, szTitle, 16);
    EXPECT_STREQ(szTitle, L"test");
    RECT rcWindow{};
    ::GetWindowRect(hWnd, &rcWindow);
    EXPECT_EQ(rcWindow.right - rcWindow.left, 100);
    EXPECT_EQ(rcWindow.bottom - rcWindow.top, 50);
    EXPECT_TRUE(window.DestroyWindow());
    EXPECT_EQ(window.GetHandle(), nullptr);
    EXPECT_FALSE(::IsWindow(hWnd));
    EXPECT_EQ(CHWindowImpl::FromHandle(hWnd), nullptr);
}

TEST(CHWindowImpl, CreateRefusesABoundObjectAndReportsTheSystemsError)
{
    CMessageLog log;
    CScriptedWindow window(log);
    window.Create(nullptr, &kWindowRect, L"first", WS_POPUP, 0);
    EXPECT_EQ(ErrorCodesOf(CatchThrown([&] { window.Create(nullptr, &kWindowRect, L"second", WS_POPUP, 0); })).front(),
              static_cast<int>(HError::InvalidParameter));

    // A child of a window that is gone: the same error the system gives for it.
    HWND hWndGone = window.GetHandle();
    window.DestroyWindow();
    ::SetLastError(0xdeadbeef);
    EXPECT_EQ(::CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 10, 10, hWndGone, nullptr, nullptr, nullptr),
              nullptr);
    const DWORD dwExpected = ::GetLastError();
    CMessageLog childLog;
    CScriptedWindow child(childLog);
    CHException e = CatchThrown([&] { child.Create(hWndGone, &kWindowRect, L"child", WS_CHILD, 0); });
    EXPECT_EQ(ErrorCodesOf(e).front(), static_cast<int>(HResultFromWin32(dwExpected)));
    EXPECT_EQ(child.GetHandle(), nullptr);
}

TEST(CHWindowImpl, AWindowRefusedAtCreationLeavesTheObjectUnbound)
{
    CMessageLog log;
    CScriptedWindow window(log, [](CScriptedWindow&, UINT uMsg, WPARAM, LPARAM, LRESULT& lResult) {
        if (uMsg != WM_CREATE)
            return FALSE;
        lResult = -1;
        return TRUE;
    });
    CatchThrown([&] { window.Create(nullptr, &kWindowRect, L"refused", WS_POPUP, 0); });
    EXPECT_TRUE(log.Saw(WM_CREATE));
    EXPECT_EQ(window.GetHandle(), nullptr);
    EXPECT_TRUE(log.bFinalMessage);
}

TEST(CHWindowImpl, FinalMessageComesAfterNcDestroyWithTheObjectUnbound)
{
    CMessageLog log;
    CScriptedWindow window(log);
    HWND hWnd = window.Create(nullptr, &kWindowRect, L"final", WS_POPUP, 0);
    EXPECT_TRUE(log.Saw(WM_NCCREATE));
    EXPECT_FALSE(log.bFinalMessage);
    ASSERT_TRUE(::DestroyWindow(hWnd));
    EXPECT_TRUE(log.Saw(WM_DESTROY));
    EXPECT_TRUE(log.bFinalMessage);
    EXPECT_TRUE(log.bNcDestroySeenBeforeFinal);
    EXPECT_EQ(log.hWndAtFinalMessage, nullptr);
    EXPECT_EQ(log.hWndGivenToFinalMessage, hWnd);
    EXPECT_EQ(window.GetHandle(), nullptr);
}

TEST(CHWindowImpl, AnObjectMayDeleteItselfInItsFinalMessage)
{
    CMessageLog log;
    auto* pWindow = new CScriptedWindow(log);
    pWindow->m_bDeleteAtFinalMessage = true;
    HWND hWnd = pWindow->Create(nullptr, &kWindowRect, L"self-deleting", WS_POPUP, 0);
    ASSERT_TRUE(::DestroyWindow(hWnd));
    EXPECT_TRUE(log.bFinalMessage);
    EXPECT_FALSE(::IsWindow(hWnd));
}

TEST(CHWindowImpl, DestroyingTheObjectDestroysItsWindowWithoutReachingTheObject)
{
    CMessageLog log;
    HWND hWnd = nullptr;
    {
        CScriptedWindow window(log);
        hWnd = window.Create(nullptr, &kWindowRect, L"scoped", WS_POPUP, 0);
        ASSERT_TRUE(::IsWindow(hWnd));
        log.messages.clear();
    }
    EXPECT_FALSE(::IsWindow(hWnd));
    // The object was half gone when its window died: none of the last messages reached it.
    EXPECT_TRUE(log.messages.empty());
    EXPECT_FALSE(log.bFinalMessage);
}

TEST(CHWindowImpl, ExceptionsOfHandlersAreLoggedAndTheMessageGetsItsDefault)
{
    CMessageLog log;
    CScriptedWindow window(log, [](CScriptedWindow&, UINT uMsg, WPARAM, LPARAM, LRESULT&) -> BOOL {
        if (uMsg == WM_GETTEXTLENGTH)
            throw CHException(L"the handler failed", 4711, HSITE);
        if (uMsg == WM_APP)
            throw std::runtime_error("standard failure");
        return FALSE;
    });
    HWND hWnd = window.Create(nullptr, &kWindowRect, L"thrower", WS_POPUP, 0);

    CLogCapture capture;
    EXPECT_EQ(::SendMessageW(hWnd, WM_GETTEXTLENGTH, 0, 0), static_cast<LRESULT>(wcslen(L"thrower")));
    auto messages = capture.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_NE(messages[0].find(L"CHWindowImpl::RouteMessage"), std::wstring::npos) << messages[0];
    EXPECT_NE(messages[1].find(L"the handler failed"), std::wstring::npos) << messages[1];
    EXPECT_NE(messages[1].find(L"4711"), std::wstring::npos) << messages[1];
    EXPECT_EQ(capture.Levels(), (std::vector<int>{HLOG_WARNING, HLOG_WARNING}));

    EXPECT_EQ(::SendMessageW(hWnd, WM_APP, 0, 0), 0);
    messages = capture.Messages();
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_NE(messages[3].find(L"standard failure"), std::wstring::npos) << messages[3];
    // The window lives on.
    EXPECT_TRUE(::IsWindow(hWnd));
    EXPECT_EQ(CHWindowImpl::FromHandle(hWnd), &window);
}

TEST(CHWindowImpl, TimersReachTheHandlerUntilKilled)
{
    CMessageLog log;
    int nTicks = 0, nOtherTimers = 0;
    CScriptedWindow window(log, [&](CScriptedWindow&, UINT uMsg, WPARAM wParam, LPARAM, LRESULT&) {
        if (uMsg != WM_TIMER)
            return FALSE;
        (wParam == 7 ? nTicks : nOtherTimers)++;
        return TRUE;
    });
    window.Create(nullptr, &kWindowRect, L"timer", WS_POPUP, 0);
    EXPECT_EQ(window.SetTimer(7, 10), 7u);
    EXPECT_TRUE(PumpMessagesUntil([&] { return nTicks >= 3; }));
    EXPECT_TRUE(window.KillTimer(7));
    const int nTicksAtKill = nTicks;
    PumpMessagesFor(100);
    EXPECT_EQ(nTicks, nTicksAtKill);
    EXPECT_EQ(nOtherTimers, 0);
    EXPECT_FALSE(window.KillTimer(7));
}

TEST(CHWindowImpl, SubclassedControlAnswersThroughTheObjectAndKeepsItsOwnBehaviour)
{
    CMessageLog parentLog, log;
    CScriptedWindow parent(parentLog);
    parent.Create(nullptr, &kWindowRect, L"parent", WS_POPUP, 0);
    HWND hStatic = CreateStatic(parent, 1);
    HWND hReference = CreateStatic(parent, 2);
    ASSERT_NE(hStatic, nullptr);
    const LONG_PTR pfnOwnProc = ::GetWindowLongPtrW(hStatic, GWLP_WNDPROC);
    const LRESULT nOwnHitTest = ::SendMessageW(hReference, WM_NCHITTEST, 0, ScreenPointInside(hReference));

    CScriptedWindow control(log, [](CScriptedWindow& self, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) {
        if (uMsg == WM_NCHITTEST) {
            lResult = 99;
            return TRUE;
        }
        if (uMsg == WM_GETTEXTLENGTH) {
            // The control's own answer, adjusted.
            lResult = self.DefWindowProc(uMsg, wParam, lParam) + 100;
            return TRUE;
        }
        return FALSE;
    });
    ASSERT_TRUE(control.SubclassWindow(hStatic));
    EXPECT_EQ(control.GetHandle(), hStatic);
    EXPECT_EQ(CHWindowImpl::FromHandle(hStatic), &control);

    EXPECT_EQ(::SendMessageW(hStatic, WM_NCHITTEST, 0, ScreenPointInside(hStatic)), 99);
    EXPECT_EQ(::SendMessageW(hStatic, WM_GETTEXTLENGTH, 0, 0), static_cast<LRESULT>(wcslen(L"static text")) + 100);
    // Passed on: the control's own procedure still keeps its text.
    EXPECT_TRUE(::SetWindowTextW(hStatic, L"changed"));
    EXPECT_TRUE(log.Saw(WM_SETTEXT));
    wchar_t szText[32] = {};
    ::GetWindowTextW(hStatic, szText, 32);
    EXPECT_STREQ(szText, L"changed");

    EXPECT_EQ(control.UnsubclassWindow(), hStatic);
    EXPECT_EQ(control.GetHandle(), nullptr);
    EXPECT_EQ(CHWindowImpl::FromHandle(hStatic), nullptr);
    EXPECT_EQ(::GetWindowLongPtrW(hStatic, GWLP_WNDPROC), pfnOwnProc);
    EXPECT_EQ(::SendMessageW(hStatic, WM_NCHITTEST, 0, ScreenPointInside(hStatic)), nOwnHitTest);
    log.messages.clear();
    ::SetWindowTextW(hStatic, L"again");
    EXPECT_TRUE(log.messages.empty());
    EXPECT_FALSE(log.bFinalMessage);
    EXPECT_EQ(control.UnsubclassWindow(), nullptr);
}

TEST(CHWindowImpl, SubclassingIsRefusedTwiceForOneWindowOrOneObject)
{
    CMessageLog parentLog, firstLog, secondLog;
    CScriptedWindow parent(parentLog);
    parent.Create(nullptr, &kWindowRect, L"parent", WS_POPUP, 0);
    HWND hFirst = CreateStatic(parent, 1);
    HWND hSecond = CreateStatic(parent, 2);

    CScriptedWindow first(firstLog), second(secondLog);
    EXPECT_FALSE(first.SubclassWindow(nullptr));
    ASSERT_TRUE(first.SubclassWindow(hFirst));
    EXPECT_FALSE(second.SubclassWindow(hFirst));  // the window has its object
    EXPECT_FALSE(first.SubclassWindow(hSecond));  // the object has its window
    EXPECT_FALSE(second.SubclassWindow(parent));  // a created window has its object too
    EXPECT_EQ(CHWindowImpl::FromHandle(hFirst), &first);
    EXPECT_EQ(CHWindowImpl::FromHandle(hSecond), nullptr);
    EXPECT_EQ(second.GetHandle(), nullptr);

    // Once given back, the window can be taken by another object.
    first.UnsubclassWindow();
    EXPECT_TRUE(second.SubclassWindow(hFirst));
}

TEST(CHWindowImpl, ASubclassedControlOutlivesItsObjectAndEndsWithItsFinalMessage)
{
    CMessageLog parentLog, log;
    CScriptedWindow parent(parentLog);
    parent.Create(nullptr, &kWindowRect, L"parent", WS_POPUP, 0);
    HWND hStatic = CreateStatic(parent, 1);
    const LONG_PTR pfnOwnProc = ::GetWindowLongPtrW(hStatic, GWLP_WNDPROC);
    {
        CScriptedWindow control(log);
        ASSERT_TRUE(control.SubclassWindow(hStatic));
    }
    EXPECT_TRUE(::IsWindow(hStatic));
    EXPECT_EQ(::GetWindowLongPtrW(hStatic, GWLP_WNDPROC), pfnOwnProc);
    EXPECT_EQ(CHWindowImpl::FromHandle(hStatic), nullptr);

    CScriptedWindow control(log);
    ASSERT_TRUE(control.SubclassWindow(hStatic));
    ASSERT_TRUE(::DestroyWindow(hStatic));
    EXPECT_TRUE(log.bFinalMessage);
    EXPECT_TRUE(log.bNcDestroySeenBeforeFinal);
    EXPECT_EQ(log.hWndAtFinalMessage, nullptr);
    EXPECT_EQ(log.hWndGivenToFinalMessage, hStatic);
    EXPECT_EQ(control.GetHandle(), nullptr);
}
