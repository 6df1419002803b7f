#include <gtest/gtest.h>

#include "RAde/DEVEDar/HWindowImpl.h"

namespace
{
class CCountingWindow : public CHWindowImpl
{
public:
    BOOL ProcessWindowMessage(HWND, UINT uMsg, WPARAM, LPARAM, LRESULT& lResult) override
    {
        if (uMsg == WM_CREATE)
            ++m_nCreates;
        if (uMsg != WM_APP)
            return FALSE;
        lResult = 42;
        return TRUE;
    }
    int m_nCreates = 0;
};
} // namespace

TEST(CHWindowImpl, CreatedWindowReachesItsObjectAndAnswersThroughIt)
{
    CCountingWindow window;
    RECT rc{10, 10, 110, 60};
    HWND hWnd = window.Create(nullptr, &rc, L"test", WS_POPUP, 0);
    ASSERT_NE(hWnd, nullptr);
    EXPECT_EQ(CHWindowImpl::FromHandle(hWnd), &window);
    EXPECT_EQ(window.m_nCreates, 1);
    EXPECT_EQ(::SendMessageW(hWnd, WM_APP, 0, 0), 42);
    EXPECT_TRUE(window.DestroyWindow());
    EXPECT_EQ(window.m_hWnd, nullptr);
    EXPECT_FALSE(::IsWindow(hWnd));
}
