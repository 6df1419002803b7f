#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "PixelTestSupport.h"
#include "RAde/DEVEDar/HImage.h"
#include "TestSupport.h"

namespace {
// A COM stream on global memory, released when it goes.
class CMemoryStream
{
public:
    CMemoryStream() { EXPECT_EQ(::CreateStreamOnHGlobal(nullptr, TRUE, &m_pStream), S_OK); }
    explicit CMemoryStream(const std::string& bytes) : CMemoryStream()
    {
        ULONG nWritten = 0;
        m_pStream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &nWritten);
        Rewind();
    }
    ~CMemoryStream() { m_pStream->Release(); }
    CMemoryStream(const CMemoryStream&) = delete;
    CMemoryStream& operator=(const CMemoryStream&) = delete;

    IStream* Get() const { return m_pStream; }
    void Rewind()
    {
        LARGE_INTEGER start = {};
        m_pStream->Seek(start, STREAM_SEEK_SET, nullptr);
    }
    std::string Bytes() const
    {
        STATSTG stat = {};
        m_pStream->Stat(&stat, STATFLAG_NONAME);
        HGLOBAL hGlobal = nullptr;
        ::GetHGlobalFromStream(m_pStream, &hGlobal);
        std::string bytes(static_cast<const char*>(::GlobalLock(hGlobal)), static_cast<size_t>(stat.cbSize.QuadPart));
        ::GlobalUnlock(hGlobal);
        return bytes;
    }

private:
    IStream* m_pStream = nullptr;
};

// A 32-bit image whose every pixel differs: blue = x, green = y, red = 0x40,
// alpha = 0x80 + x + 16 * y (so half transparent throughout).
CHImage PatternImage(int nWidth, int nHeight, bool bOpaque = false)
{
    CHImage image;
    image.Create(nWidth, nHeight, 32, CHImage::createAlphaChannel);
    for (int y = 0; y < nHeight; ++y)
        for (int x = 0; x < nWidth; ++x) {
            const DWORD dwAlpha = bOpaque ? 0xFFu : 0x80u + ((x + 16 * y) & 0x7F);
            SetPixel(image, x, y, dwAlpha << 24 | 0x40u << 16 | (y & 0xFF) << 8 | (x & 0xFF));
        }
    return image;
}

std::string PngBytesOf(const CHImage& image)
{
    CMemoryStream stream;
    image.Save(stream.Get());
    return stream.Bytes();
}

// The codes of the entries that are not stack entries (1005), oldest first.
std::vector<int> FailureCodesOf(const CHException& e)
{
    std::vector<int> codes;
    for (int nCode : ErrorCodesOf(e))
        if (nCode != 1005)
            codes.push_back(nCode);
    return codes;
}

DWORD Crc32(const std::string& bytes)
{
    DWORD dwCrc = 0xFFFFFFFF;
    for (unsigned char ch : bytes) {
        dwCrc ^= ch;
        for (int nBit = 0; nBit < 8; ++nBit)
            dwCrc = (dwCrc >> 1) ^ (0xEDB88320u & (0u - (dwCrc & 1)));
    }
    return ~dwCrc;
}

// The PNG with its header's width replaced (and the header's checksum fixed).
std::string WithPngWidth(std::string png, DWORD dwWidth)
{
    // Signature (8), chunk length (4), "IHDR" (4), then width, height...; CRC after the 13 data bytes.
    for (int i = 0; i < 4; ++i)
        png[16 + i] = static_cast<char>(dwWidth >> (24 - 8 * i));
    const DWORD dwCrc = Crc32(png.substr(12, 17));
    for (int i = 0; i < 4; ++i)
        png[29 + i] = static_cast<char>(dwCrc >> (24 - 8 * i));
    return png;
}

void ExpectFileLoadFailure(const CHException& e, HRESULT hrFirst, const std::wstring& strPath)
{
    const std::vector<int> codes = FailureCodesOf(e);
    ASSERT_EQ(codes.size(), 2u);
    EXPECT_EQ(codes[0], hrFirst);
    EXPECT_EQ(codes[1], 1016);
    EXPECT_NE(e.GetDescription(1).find(L"Failed to open file."), std::wstring::npos);
    EXPECT_EQ(ValuesNamed(e, L"file"), std::vector<std::wstring>{strPath});
    EXPECT_EQ(ErrorFunctionsOf(e).back(), L"CHImage::Load");
}
}  // namespace

TEST(CHImage, CreateGivesTopDownRowsOfTheRightPitch)
{
    CHImage image;
    EXPECT_TRUE(image.IsNull());
    image.Create(5, 3, 24);
    EXPECT_FALSE(image.IsNull());
    EXPECT_TRUE(image.IsDIBSection());
    EXPECT_EQ(image.GetPitch(), 16);  // 15 bytes rounded to 4
    EXPECT_FALSE(image.HasAlphaChannel());

    image.Create(5, 3, 32, CHImage::createAlphaChannel);
    EXPECT_EQ(image.GetWidth(), 5);
    EXPECT_EQ(image.GetHeight(), 3);
    EXPECT_EQ(image.GetPitch(), 20);
    EXPECT_EQ(image.GetBPP(), 32);
    EXPECT_TRUE(image.HasAlphaChannel());

    // Row 0 is the top row: a pixel set through the bits is what GDI sees at (x, 0).
    SetPixel(image, 4, 0, 0x00123456);
    SetPixel(image, 0, 2, 0x00ABCDEF);
    HDC hDC = image.GetDC();
    EXPECT_EQ(::GetPixel(hDC, 4, 0), RGB(0x12, 0x34, 0x56));
    EXPECT_EQ(::GetPixel(hDC, 0, 2), RGB(0xAB, 0xCD, 0xEF));
    image.ReleaseDC();
}

TEST(CHImage, CreateRefusesBadParametersWithTheirValues)
{
    struct
    {
        int nWidth, nHeight, nBPP;
        DWORD dwFlags;
        const wchar_t* pszFlags;
    } cases[] = {
        {0, 5, 32, 0, L"0x0"},          {5, -1, 32, 0, L"0x0"},
        {5, 5, 7, 0, L"0x0"},           {5, 5, 24, CHImage::createAlphaChannel, L"0x1"},  // alpha needs 32 bits
        {0x7FFFFFFF, 2, 32, 0, L"0x0"},  // rows larger than memory can be
    };
    for (const auto& c : cases) {
        CHImage image;
        image.Create(2, 2, 32);
        CHException e = CatchThrown([&] { image.Create(c.nWidth, c.nHeight, c.nBPP, c.dwFlags); });
        EXPECT_EQ(FailureCodesOf(e), std::vector<int>{1010}) << c.nWidth << " " << c.nBPP;
        EXPECT_EQ(ValuesNamed(e, L"nWidth"), std::vector<std::wstring>{std::to_wstring(c.nWidth)});
        EXPECT_EQ(ValuesNamed(e, L"nHeight"), std::vector<std::wstring>{std::to_wstring(c.nHeight)});
        EXPECT_EQ(ValuesNamed(e, L"nBPP"), std::vector<std::wstring>{std::to_wstring(c.nBPP)});
        EXPECT_EQ(ValuesNamed(e, L"dwFlags"), std::vector<std::wstring>{c.pszFlags});
        EXPECT_EQ(ErrorFunctionsOf(e).back(), L"CHImage::Create");
        EXPECT_TRUE(image.IsNull()) << "the old image is emptied first";
    }
}

TEST(CHImage, PngWithAlphaRoundTripsThroughFileAndStream)
{
    const CHImage source = PatternImage(7, 4);
    const std::string png = PngBytesOf(source);
    ASSERT_EQ(png.substr(1, 3), "PNG");

    CTempFile file(L"image.png", png);
    CHImage fromFile;
    fromFile.Load(file.Path());
    CMemoryStream stream(png);
    CHImage fromStream;
    fromStream.Load(stream.Get());

    for (const CHImage* pLoaded : {&fromFile, &fromStream}) {
        ASSERT_EQ(pLoaded->GetWidth(), 7);
        ASSERT_EQ(pLoaded->GetHeight(), 4);
        EXPECT_EQ(pLoaded->GetBPP(), 32);
        EXPECT_GT(pLoaded->GetPitch(), 0);
        EXPECT_TRUE(pLoaded->HasAlphaChannel());
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 7; ++x)
                ASSERT_EQ(PixelAt(*pLoaded, x, y), PixelAt(source, x, y)) << x << "," << y;
    }

    // A file without an alpha channel loads opaque and without the flag.
    CHImage opaque = PatternImage(3, 2, true);
    opaque.SetHasAlphaChannel(false);
    CMemoryStream opaqueStream(PngBytesOf(opaque));
    CHImage loaded;
    loaded.Load(opaqueStream.Get());
    EXPECT_FALSE(loaded.HasAlphaChannel());
    EXPECT_EQ(PixelAt(loaded, 2, 1), PixelAt(opaque, 2, 1));
}

TEST(CHImage, LoadRefusesImagesOfNoOrTooLargeSize)
{
    // Exactly the largest side loads.
    CHImage image;
    CMemoryStream largest(PngBytesOf(PatternImage(CHImage::kMaxSide, 1)));
    image.Load(largest.Get());
    EXPECT_EQ(image.GetWidth(), CHImage::kMaxSide);

    const std::string tooWide = PngBytesOf(PatternImage(CHImage::kMaxSide + 1, 1));
    CTempFile tooWideFile(L"toowide.png", tooWide);
    CHException e = CatchThrown([&] { image.Load(tooWideFile.Path()); });
    ExpectFileLoadFailure(e, HRESULT_FROM_WIN32(ERROR_INVALID_DATA), tooWideFile.Path());
    EXPECT_TRUE(image.IsNull());

    // A header that claims 20000 pixels (more than the decoder will ever be asked to allocate).
    CTempFile claimsHugeFile(L"claimshuge.png", WithPngWidth(tooWide, 20000));
    e = CatchThrown([&] { image.Load(claimsHugeFile.Path()); });
    EXPECT_EQ(FailureCodesOf(e).back(), 1016);

    // Zero width: whether the codec or the size check refuses it, it is the same error.
    CTempFile zeroFile(L"zero.png", WithPngWidth(PngBytesOf(PatternImage(2, 2)), 0));
    e = CatchThrown([&] { image.Load(zeroFile.Path()); });
    EXPECT_EQ(FailureCodesOf(e).back(), 1016);
    EXPECT_EQ(ValuesNamed(e, L"file"), std::vector<std::wstring>{zeroFile.Path()});

    // From a stream the HRESULT alone.
    CMemoryStream tooWideStream(tooWide);
    e = CatchThrown([&] { image.Load(tooWideStream.Get()); });
    EXPECT_EQ(FailureCodesOf(e), std::vector<int>{HRESULT_FROM_WIN32(ERROR_INVALID_DATA)});
    EXPECT_EQ(ErrorFunctionsOf(e).back(), L"CHImage::Load");
}

TEST(CHImage, LoadReportsUndecodableAndMissingFiles)
{
    CHImage image = PatternImage(2, 2);
    CTempFile garbage(L"garbage.png", std::string("\x89PNG\r\n\x1a\n", 8) + std::string(200, '\x5A'));
    CHException e = CatchThrown([&] { image.Load(garbage.Path()); });
    const std::vector<int> codes = FailureCodesOf(e);
    ASSERT_EQ(codes.size(), 2u);
    EXPECT_LT(codes[0], 0) << "a failing HRESULT";
    // Windows' GDI+ answers OutOfMemory for many damaged files (Wine's does not).
    EXPECT_NE(codes[0], E_OUTOFMEMORY) << "a damaged file is no lack of memory";
    ExpectFileLoadFailure(e, codes[0], garbage.Path());
    EXPECT_TRUE(image.IsNull());

    const std::wstring strMissing = UniqueTempPath(L"missing.png");
    e = CatchThrown([&] { image.Load(strMissing); });
    ExpectFileLoadFailure(e, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), strMissing);

    CMemoryStream garbageStream(std::string(64, '\x01'));
    e = CatchThrown([&] { image.Load(garbageStream.Get()); });
    ASSERT_EQ(FailureCodesOf(e).size(), 1u);
    EXPECT_LT(FailureCodesOf(e)[0], 0);
    EXPECT_NE(FailureCodesOf(e)[0], E_OUTOFMEMORY);
}

TEST(CHImage, CopiesAreDeep)
{
    CHImage source = PatternImage(3, 2);
    CHImage copy(source);
    ASSERT_FALSE(copy.IsNull());
    EXPECT_NE(copy.GetHBITMAP(), source.GetHBITMAP());
    EXPECT_NE(copy.GetBits(), source.GetBits());
    EXPECT_TRUE(copy.HasAlphaChannel());
    SetPixel(source, 1, 1, 0x11223344);
    EXPECT_EQ(PixelAt(copy, 1, 1), 0x91400101u) << "the copy keeps its own pixels";

    // Assignment replaces an image of another size and depth.
    CHImage assigned;
    assigned.Create(9, 9, 24);
    assigned = source;
    EXPECT_EQ(assigned.GetWidth(), 3);
    EXPECT_EQ(assigned.GetBPP(), 32);
    EXPECT_EQ(PixelAt(assigned, 1, 1), 0x11223344u);

    // 24-bit rows are copied with their padding rule.
    CHImage rgb;
    rgb.Create(3, 2, 24);
    std::memset(rgb.GetBits(), 0x5C, static_cast<size_t>(rgb.GetPitch()) * 2);
    rgb.GetPixelAddress(2, 1)[2] = 0x77;
    const CHImage rgbCopy(rgb);
    EXPECT_EQ(rgbCopy.GetBPP(), 24);
    EXPECT_FALSE(rgbCopy.HasAlphaChannel());
    EXPECT_EQ(std::memcmp(rgbCopy.GetBits(), rgb.GetBits(), static_cast<size_t>(rgb.GetPitch()) * 2), 0);

    // Other depths go through the codecs and come back with the same colours.
    CHImage rgb555;
    rgb555.Create(2, 1, 16);
    const WORD red = 0x1F << 10, green = 0x1F << 5;
    std::memcpy(rgb555.GetPixelAddress(0, 0), &red, 2);
    std::memcpy(rgb555.GetPixelAddress(1, 0), &green, 2);
    const CHImage viaCodecs(rgb555);
    ASSERT_FALSE(viaCodecs.IsNull());
    EXPECT_EQ(PixelAt(viaCodecs, 0, 0) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(PixelAt(viaCodecs, 1, 0) & 0xFFFFFF, 0x00FF00u);

    const CHImage empty;
    const CHImage emptyCopy(empty);
    EXPECT_TRUE(emptyCopy.IsNull());
    assigned = empty;
    EXPECT_TRUE(assigned.IsNull());
}

TEST(CHImage, PremultiplyAlphaAndHasTransparency)
{
    CHImage image;
    image.Create(2, 2, 32, CHImage::createAlphaChannel);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            SetPixel(image, x, y, 0xFFC86432);  // opaque (200, 100, 50) as r, g, b
    EXPECT_FALSE(HasTransparency(image));
    EXPECT_FALSE(PremultiplyAlpha(image));
    EXPECT_EQ(PixelAt(image, 1, 1), 0xFFC86432u);

    // blue 200, green 100, red 50, alpha 128 -> 100, 50, 25
    SetPixel(image, 1, 1, 0x803264C8);
    EXPECT_TRUE(HasTransparency(image));
    EXPECT_TRUE(PremultiplyAlpha(image));
    EXPECT_EQ(PixelAt(image, 1, 1), 0x80193264u);
    EXPECT_EQ(PixelAt(image, 0, 1), 0xFFC86432u);

    SetPixel(image, 1, 1, 0xFEFFFFFF);
    EXPECT_TRUE(HasTransparency(image)) << "alpha 254 in the last pixel";

    CHImage rgb;
    rgb.Create(2, 2, 24);
    std::memset(rgb.GetBits(), 0x10, static_cast<size_t>(rgb.GetPitch()) * 2);
    EXPECT_FALSE(PremultiplyAlpha(rgb));
    EXPECT_FALSE(HasTransparency(rgb));
    EXPECT_EQ(rgb.GetBits()[0], 0x10);
    const CHImage empty;
    EXPECT_FALSE(HasTransparency(empty));
}

TEST(CHImage, DrawingBlendsWithPerPixelAlphaOnlyWithTheFlag)
{
    CHImage target;
    target.Create(4, 1, 32);
    std::memset(target.GetBits(), 0, 16);
    for (int x = 0; x < 4; ++x)
        SetPixel(target, x, 0, 0x00404040);

    CHImage source;
    source.Create(1, 1, 32, CHImage::createAlphaChannel);
    SetPixel(source, 0, 0, 0x80800000);  // premultiplied red 128 at alpha 128

    HDC hTarget = target.GetDC();
    EXPECT_EQ(target.GetDC(), hTarget) << "nested users share the device context";
    EXPECT_EQ(::GetCurrentObject(hTarget, OBJ_BITMAP), target.GetHBITMAP());
    EXPECT_TRUE(source.AlphaBlend(hTarget, 0, 0, 1, 1, 0, 0, 1, 1));
    source.SetHasAlphaChannel(false);
    EXPECT_TRUE(source.AlphaBlend(hTarget, 1, 0, 1, 1, 0, 0, 1, 1));
    EXPECT_TRUE(source.BitBlt(hTarget, 2, 0, 1, 1, 0, 0));
    EXPECT_TRUE(source.StretchBlt(hTarget, 3, 0, 1, 1, 0, 0, 1, 1));
    target.ReleaseDC();
    target.ReleaseDC();

    auto expectNear = [&](int x, int nRed, int nGreenBlue) {
        const BYTE* pPixel = target.GetPixelAddress(x, 0);
        EXPECT_NEAR(pPixel[2], nRed, 2) << x;
        EXPECT_NEAR(pPixel[1], nGreenBlue, 2) << x;
        EXPECT_NEAR(pPixel[0], nGreenBlue, 2) << x;
    };
    expectNear(0, 0x80 + 0x40 * 127 / 255, 0x40 * 127 / 255);  // src + (1 - a) * dst
    expectNear(1, 0x80, 0);                                    // constant alpha 255: a copy
    expectNear(2, 0x80, 0);
    expectNear(3, 0x80, 0);
}

TEST(CHImage, ItsCachedDeviceContextComesBackWithoutWhatACallerChanged)
{
    CHImage first, second;
    first.Create(4, 4, 32);
    second.Create(4, 4, 32);
    std::memset(second.GetBits(), 0, static_cast<size_t>(second.GetPitch()) * 4);

    // A caller that scales, moves and clips the image's device context and
    // forgets to undo it.
    HDC hFirst = first.GetDC();
    ::SetMapMode(hFirst, MM_ANISOTROPIC);
    ::SetWindowExtEx(hFirst, 1, 1, nullptr);
    ::SetViewportExtEx(hFirst, 2, 2, nullptr);
    ::SetViewportOrgEx(hFirst, 1, 0, nullptr);
    ::IntersectClipRect(hFirst, 0, 0, 1, 1);
    first.ReleaseDC();

    HDC hSecond = second.GetDC();
    ASSERT_EQ(hSecond, hFirst) << "the cache hands out the device context it got back last";
    EXPECT_EQ(::GetMapMode(hSecond), MM_TEXT);
    POINT ptOrigin{-1, -1};
    ::GetViewportOrgEx(hSecond, &ptOrigin);
    EXPECT_EQ(ptOrigin.x, 0);
    EXPECT_EQ(ptOrigin.y, 0);
    ::SetPixelV(hSecond, 3, 2, RGB(0x12, 0x34, 0x56));
    second.ReleaseDC();
    EXPECT_EQ(PixelAt(second, 3, 2) & 0xFFFFFF, 0x123456u) << "the pixel lands where it was drawn";
}

TEST(CHDCCache, GivesBackReleasedDeviceContexts)
{
    HDC dcs[6] = {};
    for (HDC& hDC : dcs) {
        hDC = CHDCCache::Acquire();
        ASSERT_NE(hDC, nullptr);
        EXPECT_EQ(::GetObjectType(hDC), static_cast<DWORD>(OBJ_MEMDC));
    }
    for (HDC hDC : dcs)
        CHDCCache::Release(hDC);
    // The first four were kept, the rest deleted.
    EXPECT_EQ(::GetObjectType(dcs[5]), 0u);
    HDC hAgain = CHDCCache::Acquire();
    EXPECT_EQ(hAgain, dcs[3]);
    CHDCCache::Release(hAgain);
}
