// An off-screen 32-bit image that a control paints into before the result is
// copied to the screen in one BitBlt, so that a control drawn in layers (the
// parent's background, an image with per-pixel alpha, a caption) never shows
// half-drawn states.
//
//     HDC hDC = m_backBuffer.Begin(hTarget, rcClient);
//     ... draw into hDC with the same coordinates as into hTarget ...
//     m_backBuffer.End();              // copies rcClient to hTarget
//
// (CHBackBufferScope pairs the two calls for code that may throw in between.)
//
// Enabled, Begin gives the buffer image's own device context (CHImage::GetDC,
// a memory device context from the process-wide cache with the image selected). The image is as large as the
// rectangle and recreated only when the rectangle's size changes. The device
// context's viewport origin is moved so that the rectangle's top-left corner
// falls on the image's first pixel: callers draw with the target's own
// coordinates. It carries the target's brush origin, so that pattern brushes
// line up as they would in the target. The image's content is what the last
// paint left; callers fill the rectangle first.
//
// Disabled (the state after construction), Begin returns the target itself and
// End does nothing: painting goes straight to the target.
//
// Begin calls nest: while the buffer is in use (a Begin whose End has not come
// yet) a further Begin returns the same memory device context, whatever target
// and rectangle it names, and only the outermost End copies the image and gives
// the device context back to the cache. Enable takes effect at the next
// outermost Begin. State a caller changes in the memory device context (selected
// objects, colours, modes, origins) is undone before it goes back to the cache.
//
// One buffer belongs to one window and is used on that window's thread.
#pragma once

#include <windows.h>

#include "RAde/DEVEDar/HImage.h"

class CHBackBuffer
{
public:
    CHBackBuffer() noexcept = default;
    // Gives a device context still in use back to the cache (without copying).
    ~CHBackBuffer();
    CHBackBuffer(const CHBackBuffer&) = delete;
    CHBackBuffer& operator=(const CHBackBuffer&) = delete;

    void Enable(bool bEnable) noexcept { m_bEnabled = bEnable; }
    bool IsEnabled() const noexcept { return m_bEnabled; }
    // True between an outermost Begin that buffers and its End.
    bool IsInUse() const noexcept { return m_nUses > 0; }

    // The device context to draw into over rc (see above). An empty rectangle
    // is never buffered: the target itself is returned. Throws when no memory
    // device context or image can be made; End must not be called then.
    HDC Begin(HDC hTarget, const RECT& rc);
    // Ends one Begin. The outermost copies the image to the target at the
    // rectangle given to Begin. Does nothing after a Begin that did not buffer.
    void End() noexcept;

    // The off-screen image (empty until the first buffered Begin).
    const CHImage& GetImage() const noexcept { return m_image; }

private:
    void EnsureImage(int nWidth, int nHeight);
    void GiveBackDC() noexcept;

    bool m_bEnabled = false;
    HDC m_hTarget = nullptr;
    CHImage m_image;
    int m_nUses = 0;
    HDC m_hMemDC = nullptr;
    RECT m_rcTarget{};
};

// Begin in the constructor, End in the destructor.
class CHBackBufferScope
{
public:
    CHBackBufferScope(CHBackBuffer& buffer, HDC hTarget, const RECT& rc)
        : m_buffer(buffer), m_hDC(buffer.Begin(hTarget, rc))
    {
    }
    ~CHBackBufferScope() { m_buffer.End(); }
    CHBackBufferScope(const CHBackBufferScope&) = delete;
    CHBackBufferScope& operator=(const CHBackBufferScope&) = delete;

    HDC GetDC() const noexcept { return m_hDC; }

private:
    CHBackBuffer& m_buffer;
    HDC m_hDC;
};
