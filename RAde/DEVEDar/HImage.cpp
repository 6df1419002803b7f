#include "RAde/DEVEDar/HImage.h"

#include <gdiplus.h>
#include <shlwapi.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "RAde/HCOMLock.h"
#include "RAde/HException.h"
#include "RAde/HFileUtilities.h"
#include "RAde/HLock.h"

namespace {

// ---------------------------------------------------------------------------
// GDI+ session

// Started by the first image load or save and shut down when the process's
// statics are destroyed. A function-local static, so nothing touches
// gdiplus.dll before the entry point has restricted the DLL search.
class CGdiplusSession
{
public:
    CGdiplusSession() noexcept
    {
        Gdiplus::GdiplusStartupInput input;
        m_status = Gdiplus::GdiplusStartup(&m_token, &input, nullptr);
    }
    ~CGdiplusSession()
    {
        if (m_status == Gdiplus::Ok)
            Gdiplus::GdiplusShutdown(m_token);
    }
    CGdiplusSession(const CGdiplusSession&) = delete;
    CGdiplusSession& operator=(const CGdiplusSession&) = delete;

    Gdiplus::Status GetStatus() const noexcept { return m_status; }

private:
    ULONG_PTR m_token = 0;
    Gdiplus::Status m_status = Gdiplus::GenericError;
};

// The PNG file format's identifier (ImageFormatPNG), kept here so the image
// layer needs no data symbols from the import libraries.
constexpr GUID kImageFormatPng = {0xb96b3caf, 0x0728, 0x11d3, {0x9d, 0x7b, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};

// GDI+ reports its own status codes; the error model speaks HRESULT.
HRESULT HResultFromGdiplusStatus(Gdiplus::Status status)
{
    switch (status) {
    case Gdiplus::Ok:
        return S_OK;
    case Gdiplus::OutOfMemory:
        return E_OUTOFMEMORY;
    case Gdiplus::InvalidParameter:
        return E_INVALIDARG;
    case Gdiplus::FileNotFound:
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    case Gdiplus::Win32Error: {
        DWORD dwError = ::GetLastError();
        return dwError != 0 ? HRESULT_FROM_WIN32(dwError) : E_FAIL;
    }
    default:
        return E_FAIL;
    }
}

void ThrowOnGdiplusFailure(Gdiplus::Status status, const CHSourceSite& site)
{
    if (status != Gdiplus::Ok)
        throw CHException::FromHResult(HResultFromGdiplusStatus(status), site);
}

// GDI+ answers OutOfMemory for many files it cannot decode; a user told "not
// enough memory" about a damaged image would look in the wrong place.
void ThrowOnDecodeFailure(Gdiplus::Status status, const CHSourceSite& site)
{
    ThrowOnGdiplusFailure(status == Gdiplus::OutOfMemory ? Gdiplus::GenericError : status, site);
}

void StartGdiplus()
{
    static CGdiplusSession s_session;
    ThrowOnGdiplusFailure(s_session.GetStatus(), HSITE);
}

// The encoder that writes the given file format (ImageFormatPNG and the like).
CLSID FindEncoder(const GUID& format)
{
    UINT nEncoders = 0, nBytes = 0;
    ThrowOnGdiplusFailure(Gdiplus::GetImageEncodersSize(&nEncoders, &nBytes), HSITE);
    std::vector<BYTE> buffer(nBytes);
    auto* pEncoders = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    if (nEncoders > 0)
        ThrowOnGdiplusFailure(Gdiplus::GetImageEncoders(nEncoders, nBytes, pEncoders), HSITE);
    for (UINT i = 0; i < nEncoders; ++i) {
        if (::IsEqualGUID(pEncoders[i].FormatID, format))
            return pEncoders[i].Clsid;
    }
    throw CHException::FromHResult(HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED), HSITE);
}

// Whether the decoded image carries transparency: an alpha pixel format, or
// a palette with alpha entries (PNGs with a transparency chunk).
bool SourceHasAlpha(Gdiplus::Bitmap& bitmap)
{
    const Gdiplus::PixelFormat format = bitmap.GetPixelFormat();
    if (Gdiplus::IsAlphaPixelFormat(format))
        return true;
    if (!Gdiplus::IsIndexedPixelFormat(format))
        return false;
    const INT nPaletteBytes = bitmap.GetPaletteSize();
    if (nPaletteBytes <= 0)
        return false;
    std::vector<BYTE> buffer(static_cast<size_t>(nPaletteBytes));
    auto* pPalette = reinterpret_cast<Gdiplus::ColorPalette*>(buffer.data());
    return bitmap.GetPalette(pPalette, nPaletteBytes) == Gdiplus::Ok &&
           (pPalette->Flags & Gdiplus::PaletteFlagsHasAlpha) != 0;
}

// ---------------------------------------------------------------------------
// Device context cache

constexpr size_t kMaxCachedDCs = 4;

class CDCCacheStore
{
public:
    CDCCacheStore() = default;
    ~CDCCacheStore()
    {
        for (size_t i = 0; i < m_nCount; ++i)
            ::DeleteDC(m_dcs[i]);
    }
    CDCCacheStore(const CDCCacheStore&) = delete;
    CDCCacheStore& operator=(const CDCCacheStore&) = delete;

    HDC Take()
    {
        CHLockHolder holder(m_lock);
        return m_nCount > 0 ? m_dcs[--m_nCount] : nullptr;
    }
    // False when the cache is full and the caller must delete the device context.
    bool Put(HDC hDC)
    {
        CHLockHolder holder(m_lock);
        if (m_nCount == kMaxCachedDCs)
            return false;
        m_dcs[m_nCount++] = hDC;
        return true;
    }

    static CDCCacheStore& Instance()
    {
        static CDCCacheStore s_store;
        return s_store;
    }

private:
    CHCOMLock m_lock;
    HDC m_dcs[kMaxCachedDCs] = {};
    size_t m_nCount = 0;
};

// Bytes from one row to the next of an uncompressed DIB: rows are padded to 4 bytes.
int64_t DibRowBytes(int nWidth, int nBPP)
{
    return (static_cast<int64_t>(nWidth) * nBPP + 31) / 32 * 4;
}

// A GDI+ bitmap that reads (and writes) the image's own pixels in place.
Gdiplus::PixelFormat GdiplusFormatOf(const CHImage& image)
{
    switch (image.GetBPP()) {
    case 32:
        return image.HasAlphaChannel() ? PixelFormat32bppARGB : PixelFormat32bppRGB;
    case 24:
        return PixelFormat24bppRGB;
    case 16:
        return PixelFormat16bppRGB555;
    default:
        return PixelFormatUndefined;
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// CHDCCache

HDC CHDCCache::Acquire()
{
    HTRY {
        if (HDC hDC = CDCCacheStore::Instance().Take())
            return hDC;
        HDC hDC = ::CreateCompatibleDC(nullptr);
        HCHECK_WIN32(hDC);
        return hDC;
    } HCATCH
}

void CHDCCache::Release(HDC hDC) noexcept
{
    if (!hDC)
        return;
    HTRY {
        if (CDCCacheStore::Instance().Put(hDC))
            return;
        ::DeleteDC(hDC);
    } HCATCH_LOG
}

// ---------------------------------------------------------------------------
// CHImage: life and copies

CHImage::CHImage(const CHImage& other)
{
    HTRY {
        CopyFrom(other);
    } HCATCH_LOG
}

CHImage& CHImage::operator=(const CHImage& other)
{
    HTRY {
        if (this != &other)
            CopyFrom(other);
    } HCATCH_LOG
    return *this;
}

CHImage::~CHImage()
{
    Destroy();
}

void CHImage::CopyFrom(const CHImage& other)
{
    HTRY {
        Destroy();
        if (other.IsNull())
            return;
        if (other.IsDIBSection() && other.GetBPP() > 23) {
            Create(other.GetWidth(), other.GetHeight(), other.GetBPP(), other.GetBPP() == 32 ? createAlphaChannel : 0);
            // The DIB's pixels may still wait in GDI's batch.
            ::GdiFlush();
            const size_t nRowBytes = static_cast<size_t>(std::abs(other.GetPitch()));
            for (int y = 0; y < m_nHeight; ++y)
                std::memcpy(GetPixelAddress(0, y), other.GetPixelAddress(0, y), nRowBytes);
            return;
        }
        // Other depths take the way through the codecs.
        LoadThroughPng(other);
    } HCATCH
}

void CHImage::LoadThroughPng(const CHImage& source)
{
    HTRY {
        // Encoded before anything is emptied, so source may be this image.
        CHStreamPtr stream;
        HRESULT hr = ::CreateStreamOnHGlobal(nullptr, TRUE, stream.OutParam());
        if (FAILED(hr))
            throw CHException::FromHResult(hr, HSITE);
        source.Save(stream.Get());
        const LARGE_INTEGER liStart = {};
        hr = stream.Get()->Seek(liStart, STREAM_SEEK_SET, nullptr);
        if (FAILED(hr))
            throw CHException::FromHResult(hr, HSITE);
        Load(stream.Get());
    } HCATCH
}

void CHImage::Destroy() noexcept
{
    // A bitmap still selected into a device context cannot be deleted.
    if (m_hDC)
        GiveBackDC();
    m_hBitmap.Reset();
    m_pBits = nullptr;
    m_nWidth = m_nHeight = m_nPitch = m_nBPP = 0;
    m_bIsDIBSection = false;
    m_bHasAlphaChannel = false;
}

// ---------------------------------------------------------------------------
// CHImage: creating, loading, saving

void CHImage::Create(int nWidth, int nHeight, int nBPP, DWORD dwFlags)
{
    HTRY {
        HTRY {
            Destroy();
            const bool bAlpha = (dwFlags & createAlphaChannel) != 0;
            const bool bDepthKnown = nBPP == 16 || nBPP == 24 || nBPP == 32;
            if (nWidth <= 0 || nHeight <= 0 || !bDepthKnown || (bAlpha && nBPP != 32))
                throw CHException(HError::InvalidParameter, HSITE);
            const int64_t nPitch = DibRowBytes(nWidth, nBPP);
            if (nPitch > INT_MAX || nPitch * nHeight > INT_MAX)
                throw CHException(HError::InvalidParameter, HSITE);

            BITMAPINFO info = {};
            info.bmiHeader.biSize = sizeof(info.bmiHeader);
            info.bmiHeader.biWidth = nWidth;
            // A negative height asks for top-down rows, so the pitch is positive.
            info.bmiHeader.biHeight = -nHeight;
            info.bmiHeader.biPlanes = 1;
            info.bmiHeader.biBitCount = static_cast<WORD>(nBPP);
            info.bmiHeader.biCompression = BI_RGB;
            void* pBits = nullptr;
            CHBitmapHandle hBitmap(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pBits, nullptr, 0));
            if (!hBitmap || !pBits)
                throw CHException(HError::InvalidParameter, HSITE);

            m_hBitmap = std::move(hBitmap);
            m_pBits = static_cast<BYTE*>(pBits);
            m_nWidth = nWidth;
            m_nHeight = nHeight;
            m_nPitch = static_cast<int>(nPitch);
            m_nBPP = nBPP;
            m_bIsDIBSection = true;
            m_bHasAlphaChannel = bAlpha;
        } HCATCH
    } HCATCH_ATTACH([&](CHException& e) {
        e.AddValue(L"nWidth", nWidth, false);
        e.AddValue(L"nHeight", nHeight, false);
        e.AddValue(L"nBPP", nBPP, false);
        e.AddValue(L"dwFlags", static_cast<int>(dwFlags), true);
    })
}

// Copies a decoded GDI+ bitmap into a new 32-bit DIB section of this image.
static void LoadFromGdiplusBitmap(CHImage& image, Gdiplus::Bitmap& bitmap)
{
    HTRY {
        ThrowOnDecodeFailure(bitmap.GetLastStatus(), HSITE);
        const UINT nWidth = bitmap.GetWidth(), nHeight = bitmap.GetHeight();
        // Refused before anything is allocated: a file's header can claim any size.
        if (nWidth == 0 || nHeight == 0 || nWidth > static_cast<UINT>(CHImage::kMaxSide) ||
            nHeight > static_cast<UINT>(CHImage::kMaxSide))
            throw CHException::FromHResult(HRESULT_FROM_WIN32(ERROR_INVALID_DATA), HSITE)
                .AddValue(L"Width", static_cast<int>(nWidth), false)
                .AddValue(L"Height", static_cast<int>(nHeight), false);
        const bool bAlpha = SourceHasAlpha(bitmap);
        image.Create(static_cast<int>(nWidth), static_cast<int>(nHeight), 32, CHImage::createAlphaChannel);
        image.SetHasAlphaChannel(bAlpha);

        // Decoded straight into the DIB's rows: GDI+ writes through our bits and pitch.
        Gdiplus::BitmapData data = {};
        data.Width = nWidth;
        data.Height = nHeight;
        data.Stride = image.GetPitch();
        data.PixelFormat = PixelFormat32bppARGB;
        data.Scan0 = image.GetBits();
        Gdiplus::Rect rect(0, 0, static_cast<INT>(nWidth), static_cast<INT>(nHeight));
        const Gdiplus::Status status = bitmap.LockBits(
            &rect, Gdiplus::ImageLockModeRead | Gdiplus::ImageLockModeUserInputBuf, PixelFormat32bppARGB, &data);
        if (status != Gdiplus::Ok) {
            image.Destroy();
            ThrowOnGdiplusFailure(status, HSITE);
        }
        bitmap.UnlockBits(&data);
    } HCATCH
}

void CHImage::Load(const std::wstring& strPath)
{
    HTRY {
        HTRY {
            Destroy();
            CHFileUtilities::CheckFileExists(strPath);
            const std::wstring strUnicodePath = CHFileUtilities::GetUnicodePath(strPath);
            StartGdiplus();
            Gdiplus::Bitmap bitmap(strUnicodePath.c_str());
            LoadFromGdiplusBitmap(*this, bitmap);
        } HCATCH
    } HCATCH_ATTACH([&](CHException& e) {
        e.AddEntry(HError::OpenFileFailed);
        e.AddValue(L"file", strPath);
    })
}

void CHImage::Load(IStream* pStream)
{
    HTRY {
        Destroy();
        if (!pStream)
            throw CHException::FromHResult(E_POINTER, HSITE);
        StartGdiplus();
        Gdiplus::Bitmap bitmap(pStream);
        LoadFromGdiplusBitmap(*this, bitmap);
    } HCATCH
}

void CHImage::Save(IStream* pStream, const GUID* pFormat) const
{
    HTRY {
        if (!pStream || IsNull())
            throw CHException::FromHResult(E_INVALIDARG, HSITE);
        const Gdiplus::PixelFormat format = GdiplusFormatOf(*this);
        if (format == PixelFormatUndefined)
            throw CHException::FromHResult(E_NOTIMPL, HSITE);
        StartGdiplus();
        const CLSID encoder = FindEncoder(pFormat ? *pFormat : kImageFormatPng);
        ::GdiFlush();
        // The pixels are read in place; GDI+ never writes to them while saving.
        Gdiplus::Bitmap bitmap(m_nWidth, m_nHeight, m_nPitch, format, const_cast<BYTE*>(m_pBits));
        ThrowOnGdiplusFailure(bitmap.GetLastStatus(), HSITE);
        ThrowOnGdiplusFailure(bitmap.Save(pStream, &encoder, nullptr), HSITE);
    } HCATCH
}

void CHImage::Save(const std::wstring& strPath) const
{
    HTRY {
        IStream* pRawStream = nullptr;
        const HRESULT hr = ::SHCreateStreamOnFileEx(strPath.c_str(), STGM_CREATE | STGM_WRITE | STGM_SHARE_DENY_WRITE,
                                                    FILE_ATTRIBUTE_NORMAL, TRUE, nullptr, &pRawStream);
        if (FAILED(hr))
            throw CHException::FromHResult(hr, HSITE).AddValue(L"File", strPath);
        CHStreamPtr stream(pRawStream);
        Save(stream.Get());
    } HCATCH
}

// ---------------------------------------------------------------------------
// CHImage: drawing

HDC CHImage::GetDC() const
{
    HTRY {
        if (IsNull())
            throw CHException(HError::NotInitialized, HSITE);
        if (m_nDCUses == 0) {
            HDC hDC = CHDCCache::Acquire();
            m_selectedBitmap.emplace(hDC, m_hBitmap.Get());
            // The cached device context is shared with every other image:
            // what our callers change in it is undone in GiveBackDC.
            m_savedState.emplace(hDC);
            m_hDC = hDC;
        }
        ++m_nDCUses;
        return m_hDC;
    } HCATCH
}

void CHImage::ReleaseDC() const noexcept
{
    if (m_nDCUses == 0 || --m_nDCUses > 0)
        return;
    GiveBackDC();
    // Whoever reads the bits next sees what was drawn into them.
    ::GdiFlush();
}

void CHImage::GiveBackDC() const noexcept
{
    m_savedState.reset();
    m_selectedBitmap.reset();
    CHDCCache::Release(m_hDC);
    m_hDC = nullptr;
    m_nDCUses = 0;
}

BOOL CHImage::AlphaBlend(HDC hDestDC, int xDest, int yDest, int nDestWidth, int nDestHeight, int xSrc, int ySrc,
                         int nSrcWidth, int nSrcHeight, BYTE nAlpha) const
{
    HTRY {
        BLENDFUNCTION blend = {};
        blend.BlendOp = AC_SRC_OVER;
        blend.SourceConstantAlpha = nAlpha;
        blend.AlphaFormat = m_bHasAlphaChannel ? AC_SRC_ALPHA : 0;
        CHImageDC source(*this);
        return ::AlphaBlend(hDestDC, xDest, yDest, nDestWidth, nDestHeight, source.Get(), xSrc, ySrc, nSrcWidth,
                            nSrcHeight, blend);
    } HCATCH
}

BOOL CHImage::BitBlt(HDC hDestDC, int xDest, int yDest, int nDestWidth, int nDestHeight, int xSrc, int ySrc,
                     DWORD dwRop) const
{
    HTRY {
        CHImageDC source(*this);
        return ::BitBlt(hDestDC, xDest, yDest, nDestWidth, nDestHeight, source.Get(), xSrc, ySrc, dwRop);
    } HCATCH
}

BOOL CHImage::StretchBlt(HDC hDestDC, int xDest, int yDest, int nDestWidth, int nDestHeight, int xSrc, int ySrc,
                         int nSrcWidth, int nSrcHeight, DWORD dwRop) const
{
    HTRY {
        CHImageDC source(*this);
        // A device context's default mode combines dropped pixels as if they
        // were monochrome, which smears colours when an image shrinks: drop
        // them whole instead, unless the caller asked for halftoning.
        const int nOldMode = ::GetStretchBltMode(hDestDC);
        if (nOldMode != HALFTONE)
            ::SetStretchBltMode(hDestDC, COLORONCOLOR);
        const BOOL bDone = ::StretchBlt(hDestDC, xDest, yDest, nDestWidth, nDestHeight, source.Get(), xSrc, ySrc,
                                        nSrcWidth, nSrcHeight, dwRop);
        if (nOldMode != 0 && nOldMode != HALFTONE)
            ::SetStretchBltMode(hDestDC, nOldMode);
        return bDone;
    } HCATCH
}

// ---------------------------------------------------------------------------
// Alpha

bool PremultiplyAlpha(CHImage& image)
{
    if (image.IsNull() || image.GetBPP() < 32)
        return false;
    ::GdiFlush();
    bool bTransparent = false;
    for (int y = 0; y < image.GetHeight(); ++y) {
        BYTE* pPixel = image.GetPixelAddress(0, y);
        for (int x = 0; x < image.GetWidth(); ++x, pPixel += 4) {
            const unsigned nAlpha = pPixel[3];
            if (nAlpha == 255)
                continue;
            bTransparent = true;
            for (int nChannel = 0; nChannel < 3; ++nChannel)
                pPixel[nChannel] = static_cast<BYTE>(pPixel[nChannel] * nAlpha / 255);
        }
    }
    return bTransparent;
}

bool HasTransparency(const CHImage& image)
{
    if (image.IsNull() || image.GetBPP() != 32)
        return false;
    ::GdiFlush();
    for (int y = 0; y < image.GetHeight(); ++y) {
        const BYTE* pPixel = image.GetPixelAddress(0, y);
        for (int x = 0; x < image.GetWidth(); ++x, pPixel += 4) {
            if (pPixel[3] < 255)
                return true;
        }
    }
    return false;
}

void MakeOpaque(CHImage& image)
{
    if (image.IsNull() || image.GetBPP() != 32)
        return;
    ::GdiFlush();
    for (int y = 0; y < image.GetHeight(); ++y) {
        BYTE* pPixel = image.GetPixelAddress(0, y);
        for (int x = 0; x < image.GetWidth(); ++x, pPixel += 4)
            pPixel[3] = 255;
    }
}
