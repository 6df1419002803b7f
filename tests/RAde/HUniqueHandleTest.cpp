// The handle owner: closing keeps the thread's last error, and a handle
// handed out through an out-parameter is owned.
#include <windows.h>

#include <gtest/gtest.h>

#include "RAde/HUniqueHandle.h"

TEST(CHUniqueHandle, ResetKeepsTheLastErrorAndOutParamOwnsWhatACallHandsOut)
{
    CHKernelHandle hToken;
    ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, hToken.OutParam()));
    ASSERT_TRUE(hToken);
    HANDLE hFirst = hToken.Get();
    // A second call through OutParam closes the first handle before it owns the new one.
    ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, hToken.OutParam()));
    DWORD dwFlags = 0;
    EXPECT_TRUE(hToken.Get() == hFirst || !::GetHandleInformation(hFirst, &dwFlags)) << "the first handle stayed open";

    // Even a close that fails (a handle that is none) leaves the error as it was.
    for (HANDLE h : {hToken.Detach(), reinterpret_cast<HANDLE>(0x7FF0)}) {
        CHKernelHandle hOwned(h);
        ::SetLastError(ERROR_FILE_NOT_FOUND);
        hOwned.Reset();
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
        EXPECT_FALSE(hOwned);
    }
}

// The references a COM object counts, read without changing them.
ULONG References(IUnknown* p)
{
    p->AddRef();
    return p->Release();
}

TEST(CHUniqueHandle, ACopiedComPointerHoldsAReferenceOfItsOwnAndNoneIsLeftAfterwards)
{
    IStream* pRaw = nullptr;
    ASSERT_EQ(::CreateStreamOnHGlobal(nullptr, TRUE, &pRaw), S_OK);
    CHStreamPtr stream(pRaw);
    ASSERT_EQ(References(pRaw), 1u);
    {
        CHStreamPtr copy = stream;
        CHStreamPtr assigned;
        assigned = copy;
        const CHStreamPtr borrowed = CHStreamPtr::Borrowed(pRaw);
        EXPECT_EQ(References(pRaw), 4u);
        assigned = assigned;
        CHStreamPtr moved = std::move(copy);
        EXPECT_EQ(References(pRaw), 4u);
        EXPECT_FALSE(copy);
    }
    EXPECT_EQ(References(pRaw), 1u);
    // A file handle's "none" is INVALID_HANDLE_VALUE, a kernel handle's null.
    EXPECT_EQ(CHFileHandle().Get(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(CHKernelHandle().Get(), nullptr);
}

TEST(CHSelectedObject, NestedSelectionsAreUndoneInTurnAndANullObjectSelectsNothing)
{
    CHMemoryDC memoryDC(::CreateCompatibleDC(nullptr));
    ASSERT_TRUE(memoryDC);
    HDC hDC = memoryDC.Get();
    const HGDIOBJ hDefaultFont = ::GetCurrentObject(hDC, OBJ_FONT);
    const HGDIOBJ hGuiFont = ::GetStockObject(DEFAULT_GUI_FONT);
    CHFontHandle boldFont(::CreateFontW(-20, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Tahoma"));
    ASSERT_TRUE(boldFont);
    ASSERT_NE(hDefaultFont, hGuiFont);
    {
        const CHSelectedObject outer(hDC, hGuiFont);
        EXPECT_TRUE(outer);
        {
            const CHSelectedObject inner(hDC, boldFont.Get());
            const CHSelectedObject none(hDC, nullptr);
            EXPECT_FALSE(none);
            EXPECT_EQ(::GetCurrentObject(hDC, OBJ_FONT), boldFont.Get());
        }
        EXPECT_EQ(::GetCurrentObject(hDC, OBJ_FONT), hGuiFont);
    }
    EXPECT_EQ(::GetCurrentObject(hDC, OBJ_FONT), hDefaultFont);
}
