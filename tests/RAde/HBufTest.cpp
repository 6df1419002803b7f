// The byte buffers: the C-heap buffer's sizes and refusals, the global-memory
// buffer's locking rules and its hand-over as a COM stream, and Copy on both.
#include <gtest/gtest.h>

#include <objidl.h>

#include <string>
#include <vector>

#include "RAde/HBufHGlobal.h"
#include "RAde/HBufMalloc.h"
#include "TestSupport.h"

namespace {

constexpr ULONGLONG kFourGiB = 0x100000000ull;

// Fills the buffer with 0, 1, 2, ... (it must be addressable without a lock).
void FillWithCounting(CHBufMalloc& buffer)
{
    for (ULONGLONG i = 0; i < buffer.GetSize(); ++i)
        buffer.GetBuf()[i] = static_cast<BYTE>(i);
}

std::string Counting(size_t nCount)
{
    std::string bytes(nCount, '\0');
    for (size_t i = 0; i < nCount; ++i)
        bytes[i] = static_cast<char>(i);
    return bytes;
}

// The exception's entry with the refusal of an oversized request, as text.
std::wstring SizeRefusal(const CHException& e)
{
    CHException found;
    if (!e.FindErrorCode(1010, &found))
        return L"<no 1010 entry>";
    return found.GetDescription(0);
}

std::string ReadWholeStream(IStream* pStream)
{
    STATSTG stat = {};
    if (FAILED(pStream->Stat(&stat, STATFLAG_NONAME)))
        return "<Stat failed>";
    LARGE_INTEGER start = {};
    if (FAILED(pStream->Seek(start, STREAM_SEEK_SET, nullptr)))
        return "<Seek failed>";
    std::string bytes(static_cast<size_t>(stat.cbSize.QuadPart), '\0');
    ULONG nRead = 0;
    if (FAILED(pStream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &nRead)))
        return "<Read failed>";
    bytes.resize(nRead);
    return bytes;
}

// Releases a COM interface at the end of a scope.
struct CReleaseAtEnd
{
    IUnknown* pUnknown;
    ~CReleaseAtEnd()
    {
        if (pUnknown)
            pUnknown->Release();
    }
};

}  // namespace

TEST(CHBufMalloc, SizeZeroHoldsNoMemory)
{
    CHBufMalloc sized(0);
    EXPECT_EQ(sized.GetBuf(), nullptr);
    EXPECT_EQ(sized.GetSize(), 0u);

    CHBufMalloc buffer(8);
    ASSERT_NE(buffer.GetBuf(), nullptr);
    buffer.Alloc(0);
    EXPECT_EQ(buffer.GetBuf(), nullptr);
    EXPECT_EQ(buffer.GetSize(), 0u);
}

TEST(CHBufMalloc, ReallocKeepsTheContentAndZeroClears)
{
    CHBufMalloc buffer(16);
    ASSERT_EQ(buffer.GetSize(), 16u);
    FillWithCounting(buffer);

    buffer.Realloc(100000);
    EXPECT_EQ(buffer.GetSize(), 100000u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.GetBuf()), 16), Counting(16));

    buffer.Realloc(4);
    EXPECT_EQ(BufferBytes(buffer), Counting(4));

    buffer.Realloc(0);
    EXPECT_EQ(buffer.GetBuf(), nullptr);
    EXPECT_EQ(buffer.GetSize(), 0u);

    // From empty, Realloc allocates.
    buffer.Realloc(3);
    EXPECT_NE(buffer.GetBuf(), nullptr);
    EXPECT_EQ(buffer.GetSize(), 3u);
}

TEST(CHBufMalloc, AllocRefusesFourGiBAndLeavesTheBufferEmpty)
{
    CHBufMalloc buffer(16);
    CHException e = CatchThrown([&] { buffer.Alloc(kFourGiB); });
    EXPECT_EQ(SizeRefusal(e), L"Invalid function parameter.\n\tRequestedsize:\t4294967296\n");
    EXPECT_EQ(buffer.GetBuf(), nullptr);
    EXPECT_EQ(buffer.GetSize(), 0u);

    e = CatchThrown([&] { buffer.Alloc(~0ull); });
    EXPECT_EQ(SizeRefusal(e), L"Invalid function parameter.\n\tRequestedsize:\t18446744073709551615\n");
}

TEST(CHBufMalloc, ReallocRefusingFourGiBKeepsTheOldBlock)
{
    CHBufMalloc buffer(16);
    FillWithCounting(buffer);
    BYTE* pBefore = buffer.GetBuf();

    for (ULONGLONG nSize : {kFourGiB, kFourGiB + 16, ~0ull}) {
        CHException e = CatchThrown([&] { buffer.Realloc(nSize); });
        EXPECT_TRUE(e.FindErrorCode(1010, nullptr)) << nSize;
        EXPECT_EQ(buffer.GetBuf(), pBefore);
        EXPECT_EQ(BufferBytes(buffer), Counting(16));
    }
}

// A request below 4 GiB that the heap cannot satisfy is not tested: a 64-bit
// process gets up to 4 GiB from the heap as a rule (on Wine even without the
// memory behind it, since Linux commits lazily), so no accepted size fails reliably.

TEST(CHBufMalloc, ConstructorWithARefusedSizeLogsAndLeavesTheBufferEmpty)
{
    CLogCapture capture;
    CHBufMalloc buffer(kFourGiB);
    EXPECT_EQ(buffer.GetBuf(), nullptr);
    EXPECT_EQ(buffer.GetSize(), 0u);

    std::vector<std::wstring> messages = capture.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(capture.Levels(), (std::vector<int>{2, 2}));
    EXPECT_NE(messages[0].find(L"CHBufMalloc::CHBufMalloc"), std::wstring::npos) << messages[0];
    EXPECT_NE(messages[1].find(L"Invalid function parameter."), std::wstring::npos) << messages[1];
    EXPECT_NE(messages[1].find(L"4294967296"), std::wstring::npos) << messages[1];
}

TEST(CHBuf, CopyReplacesTheContentOfBothKinds)
{
    CHBufMalloc heapBuffer(100);
    CHBufHGlobal globalBuffer;
    globalBuffer.Alloc(100);
    const std::string strData("copied\0bytes", 12);

    for (CHBuf* pBuffer : {static_cast<CHBuf*>(&heapBuffer), static_cast<CHBuf*>(&globalBuffer)}) {
        pBuffer->Copy(strData.data(), strData.size());
        EXPECT_EQ(pBuffer->GetSize(), strData.size());
        EXPECT_EQ(BufferBytes(*pBuffer), strData);

        // Nothing to copy leaves a buffer whose size is 0.
        pBuffer->Copy(nullptr, 0);
        EXPECT_EQ(pBuffer->GetSize(), 0u);
    }
}

TEST(CHBufHGlobal, IsAddressableOnlyWhileLocked)
{
    CHBufHGlobal buffer;
    EXPECT_EQ(buffer.GetSize(), 0u);
    CHException e = CatchThrown([&] { buffer.Lock(); });
    EXPECT_EQ(ErrorCodesOf(e), (std::vector<int>{1013, 1005}));

    buffer.Alloc(24);
    EXPECT_EQ(buffer.GetSize(), 24u);
    e = CatchThrown([&] { buffer.GetBuf(); });
    EXPECT_EQ(ErrorCodesOf(e), (std::vector<int>{2007, 1005}));

    ASSERT_TRUE(buffer.Lock());
    EXPECT_NE(buffer.GetBuf(), nullptr);
    buffer.Unlock();
    e = CatchThrown([&] { buffer.GetBuf(); });
    EXPECT_TRUE(e.FindErrorCode(2007, nullptr));
}

TEST(CHBufHGlobal, UnlockWhileStillLockedIsAMismatchAndKeepsThePointer)
{
    CHBufHGlobal buffer;
    buffer.Alloc(8);
    ASSERT_TRUE(buffer.Lock());
    BYTE* pBytes = buffer.GetBuf();
    ASSERT_TRUE(buffer.Lock());

    CHException e = CatchThrown([&] { buffer.Unlock(); });
    EXPECT_EQ(ErrorCodesOf(e), (std::vector<int>{2011, 1005}));
    EXPECT_EQ(e.GetDescription(0), L"GlobalMem locking failed, Lock/Unlock mismatch.\n");
    // The memory really is still locked, so its address stays usable.
    EXPECT_EQ(buffer.GetBuf(), pBytes);
    EXPECT_EQ(::GlobalFlags(buffer.GetHandle()) & GMEM_LOCKCOUNT, 1u);

    buffer.Unlock();
    EXPECT_EQ(::GlobalFlags(buffer.GetHandle()) & GMEM_LOCKCOUNT, 0u);
    EXPECT_TRUE(CatchThrown([&] { buffer.GetBuf(); }).FindErrorCode(2007, nullptr));
}

TEST(CHBufHGlobal, DetachStreamHandsTheMemoryOverToTheStream)
{
    IStream* pStream = nullptr;
    {
        CHBufHGlobal buffer;
        buffer.Copy("stream content", 14);
        // Locks still in force are released before the hand-over.
        ASSERT_TRUE(buffer.Lock());
        ASSERT_TRUE(buffer.Lock());
        buffer.DetachStream(&pStream);
        ASSERT_NE(pStream, nullptr);

        EXPECT_EQ(buffer.GetSize(), 0u);
        EXPECT_EQ(buffer.GetHandle(), nullptr);
        EXPECT_TRUE(CatchThrown([&] { buffer.GetBuf(); }).FindErrorCode(2007, nullptr));
        EXPECT_EQ(ReadWholeStream(pStream), "stream content");
    }
    CReleaseAtEnd release{pStream};

    // The buffer's destructor left the memory to the stream.
    EXPECT_EQ(ReadWholeStream(pStream), "stream content");
    HGLOBAL hGlobal = nullptr;
    ASSERT_EQ(::GetHGlobalFromStream(pStream, &hGlobal), S_OK);
    EXPECT_EQ(::GlobalFlags(hGlobal) & GMEM_LOCKCOUNT, 0u);
    EXPECT_EQ(::GlobalSize(hGlobal), 14u);
}

TEST(CHBufHGlobal, ReallocIsNotSupported)
{
    CHBufHGlobal buffer;
    buffer.Copy("keep", 4);
    CHException e = CatchThrown([&] { buffer.Realloc(8); });
    EXPECT_EQ(ErrorCodesOf(e), (std::vector<int>{1001}));
    EXPECT_EQ(BufferBytes(buffer), "keep");
}
