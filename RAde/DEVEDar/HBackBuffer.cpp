#include "RAde/DEVEDar/HBackBuffer.h"

#include "RAde/HException.h"

CHBackBuffer::~CHBackBuffer()
{
    HTRY {
        // A paint that never reached End: the copy is dropped, the device
        // context must still go back to the cache.
        if (m_nUses > 0)
            GiveBackDC();
    } HCATCH_LOG
}

void CHBackBuffer::EnsureImage(int nWidth, int nHeight)
{
    if (!m_image.IsNull() && m_image.GetWidth() == nWidth && m_image.GetHeight() == nHeight)
        return;
    m_image.Create(nWidth, nHeight, 32, CHImage::createAlphaChannel);
}

HDC CHBackBuffer::Begin(HDC hTarget, const RECT& rc)
{
    HTRY {
        if (m_nUses > 0) {
            ++m_nUses;
            return m_hMemDC;
        }
        const int nWidth = rc.right - rc.left;
        const int nHeight = rc.bottom - rc.top;
        if (!m_bEnabled || nWidth <= 0 || nHeight <= 0)
            return hTarget;

        EnsureImage(nWidth, nHeight);
        // The image's device context comes back to the cache with every change
        // made from here on undone.
        HDC hMemDC = m_image.GetDC();
        ::SetViewportOrgEx(hMemDC, -rc.left, -rc.top, nullptr);
        POINT ptBrushOrg{};
        if (::GetBrushOrgEx(hTarget, &ptBrushOrg))
            ::SetBrushOrgEx(hMemDC, ptBrushOrg.x, ptBrushOrg.y, nullptr);

        m_hMemDC = hMemDC;
        m_hTarget = hTarget;
        m_rcTarget = rc;
        m_nUses = 1;
        return hMemDC;
    } HCATCH
}

void CHBackBuffer::End() noexcept
{
    HTRY {
        if (m_nUses == 0 || --m_nUses > 0)
            return;
        const int nWidth = m_rcTarget.right - m_rcTarget.left;
        const int nHeight = m_rcTarget.bottom - m_rcTarget.top;
        // Source coordinates are logical: the viewport shift maps rc's corner
        // to the image's first pixel.
        ::BitBlt(m_hTarget, m_rcTarget.left, m_rcTarget.top, nWidth, nHeight, m_hMemDC, m_rcTarget.left, m_rcTarget.top,
                 SRCCOPY);
        GiveBackDC();
    } HCATCH_LOG
}

void CHBackBuffer::GiveBackDC() noexcept
{
    m_image.ReleaseDC();
    m_hMemDC = nullptr;
    m_hTarget = nullptr;
    m_nUses = 0;
}
