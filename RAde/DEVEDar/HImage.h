// 32-bit images with per-pixel alpha: a DIB section whose rows are addressed
// through the bits pointer and a signed pitch (row r starts at bits + r * pitch),
// loaded from any file or stream the system's image codecs (GDI+) read, and
// drawn with AlphaBlend, BitBlt or StretchBlt. Pixels are blue, green, red,
// alpha bytes. Loading gives straight alpha; skin images are premultiplied
// afterwards (PremultiplyAlpha), which is what AlphaBlend and layered windows
// expect.
//
// GDI+ starts on the first load or save in the process (never from a static
// constructor: the DLL search is restricted only when the program's entry point
// runs) and shuts down at exit. gdiplus.dll and msimg32.dll are delay-loaded.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <optional>
#include <string>

#include "RAde/HUniqueHandle.h"

// A small process-wide cache of memory device contexts, so that drawing an
// image or painting through a back buffer does not create and delete a device
// context each time. Thread-safe; a device context is used by one caller at a time.
class CHDCCache
{
public:
    // A memory device context compatible with the screen. Throws when none can be made.
    static HDC Acquire();
    // Gives it back (deleted when the cache is full). Selected objects must be
    // restored by the caller first.
    static void Release(HDC hDC) noexcept;
};

class CHImage
{
public:
    // Flag of Create: the image has an alpha channel that drawing uses.
    static constexpr DWORD createAlphaChannel = 0x01;
    // Largest width or height accepted from a file or stream.
    static constexpr int kMaxSide = 16384;

    CHImage() noexcept = default;
    // Deep copies: the pixels, never the bitmap handle. Never throws (a failure
    // is logged and leaves the copy as far as it got).
    CHImage(const CHImage& other);
    CHImage& operator=(const CHImage& other);
    ~CHImage();

    // Empties the image and decodes the file. Throws with the codec's HRESULT and
    // "Failed to open file." (1016) with the value "file"; also for images of
    // zero size or larger than kMaxSide, and for files the codecs cannot decode.
    void Load(const std::wstring& strPath);
    // The same from a COM stream (no 1016 entry, no file value).
    void Load(IStream* pStream);
    // Empties the image and creates an uninitialised DIB section (top-down, so
    // the pitch is positive). Throws 1010 with nWidth, nHeight, nBPP, dwFlags.
    void Create(int nWidth, int nHeight, int nBPP, DWORD dwFlags = 0);
    // Replaces the image with a copy of source made through a PNG memory stream:
    // whatever its depth, the copy is 32 bits with straight alpha.
    void LoadThroughPng(const CHImage& source);
    // Encodes the image into the stream in the given format (PNG by default).
    void Save(IStream* pStream, const GUID* pFormat = nullptr) const;
    // Writes the image as a PNG file, replacing one that is there. Throws the
    // system's reason with the value "File" when the file cannot be written.
    void Save(const std::wstring& strPath) const;
    void Destroy() noexcept;

    bool IsNull() const noexcept { return !m_hBitmap; }
    int GetWidth() const noexcept { return m_nWidth; }
    int GetHeight() const noexcept { return m_nHeight; }
    int GetPitch() const noexcept { return m_nPitch; }
    int GetBPP() const noexcept { return m_nBPP; }
    bool IsDIBSection() const noexcept { return m_bIsDIBSection; }
    bool HasAlphaChannel() const noexcept { return m_bHasAlphaChannel; }
    void SetHasAlphaChannel(bool bHasAlpha) noexcept { m_bHasAlphaChannel = bHasAlpha; }
    HBITMAP GetHBITMAP() const noexcept { return m_hBitmap.Get(); }
    BYTE* GetBits() noexcept { return m_pBits; }
    const BYTE* GetBits() const noexcept { return m_pBits; }
    BYTE* GetPixelAddress(int x, int y) noexcept { return m_pBits + y * m_nPitch + x * (m_nBPP / 8); }
    const BYTE* GetPixelAddress(int x, int y) const noexcept { return m_pBits + y * m_nPitch + x * (m_nBPP / 8); }

    // A memory device context with the bitmap selected, shared by nested callers
    // (use count); each GetDC is matched by one ReleaseDC. The device context
    // comes from a process-wide cache: whatever a caller changes in it (origins,
    // mapping mode, clipping, selected objects) is undone when the last user
    // gives it back, so the next image drawn through it starts from defaults.
    HDC GetDC() const;
    void ReleaseDC() const noexcept;

    // Drawing from a source rectangle of the image to a destination rectangle.
    // AlphaBlend uses per-pixel alpha when the image has an alpha channel, and
    // the constant alpha nAlpha. FALSE when the system call fails.
    BOOL AlphaBlend(HDC hDestDC, int xDest, int yDest, int nDestWidth, int nDestHeight, int xSrc, int ySrc,
                    int nSrcWidth, int nSrcHeight, BYTE nAlpha = 0xFF) const;
    BOOL BitBlt(HDC hDestDC, int xDest, int yDest, int nDestWidth, int nDestHeight, int xSrc, int ySrc,
                DWORD dwRop = SRCCOPY) const;
    BOOL StretchBlt(HDC hDestDC, int xDest, int yDest, int nDestWidth, int nDestHeight, int xSrc, int ySrc,
                    int nSrcWidth, int nSrcHeight, DWORD dwRop = SRCCOPY) const;

private:
    void CopyFrom(const CHImage& other);
    void GiveBackDC() const noexcept;

    CHBitmapHandle m_hBitmap;
    BYTE* m_pBits = nullptr;
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nPitch = 0;
    int m_nBPP = 0;
    bool m_bIsDIBSection = false;
    bool m_bHasAlphaChannel = false;
    mutable HDC m_hDC = nullptr;
    mutable int m_nDCUses = 0;
    mutable std::optional<CHSelectedObject> m_selectedBitmap;
    mutable std::optional<CHSavedDC> m_savedState;
};

// An image's device context held for one scope (GetDC ... ReleaseDC).
class CHImageDC
{
public:
    explicit CHImageDC(const CHImage& image) : m_image(image), m_hDC(image.GetDC()) {}
    ~CHImageDC() { m_image.ReleaseDC(); }
    CHImageDC(const CHImageDC&) = delete;
    CHImageDC& operator=(const CHImageDC&) = delete;

    HDC Get() const noexcept { return m_hDC; }

private:
    const CHImage& m_image;
    HDC m_hDC;
};

// Multiplies blue, green and red by alpha / 255 (truncated). True when some
// pixel has an alpha other than 255; false and nothing done for an empty image
// or one of fewer than 32 bits per pixel.
bool PremultiplyAlpha(CHImage& image);
// True when the image has 32 bits per pixel and some pixel's alpha is below 255.
bool HasTransparency(const CHImage& image);
// Sets every pixel's alpha to 255 (a copy of the screen carries none); for
// 32-bit images only.
void MakeOpaque(CHImage& image);
