#include <gtest/gtest.h>

#include <ole2.h>

#include <cstring>

#include "RAde/DEVEDar/HImage.h"
#include "RAde/DEVEDar/HImageHelper.h"
#include "TestSupport.h"

namespace {
// A view object that fills the bounds it is given with one colour and
// answers with a chosen HRESULT.
class CFillingViewObject : public IViewObject
{
public:
    CFillingViewObject(COLORREF color, HRESULT hrDraw) : m_color(color), m_hrDraw(hrDraw) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IUnknown || riid == IID_IViewObject) {
            *ppv = static_cast<IViewObject*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_nRefs; }
    STDMETHODIMP_(ULONG) Release() override { return --m_nRefs; }

    STDMETHODIMP Draw(DWORD dwAspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC hdcDraw, LPCRECTL prcBounds, LPCRECTL,
                      BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) override
    {
        m_dwAspect = dwAspect;
        if (FAILED(m_hrDraw))
            return m_hrDraw;
        RECT rc{prcBounds->left, prcBounds->top, prcBounds->right, prcBounds->bottom};
        CHBrushHandle brush(::CreateSolidBrush(m_color));
        ::FillRect(hdcDraw, &rc, brush.Get());
        return S_OK;
    }
    STDMETHODIMP GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE**) override { return E_NOTIMPL; }
    STDMETHODIMP Freeze(DWORD, LONG, void*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP Unfreeze(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP SetAdvise(DWORD, DWORD, IAdviseSink*) override { return E_NOTIMPL; }
    STDMETHODIMP GetAdvise(DWORD*, DWORD*, IAdviseSink**) override { return E_NOTIMPL; }

    DWORD m_dwAspect = 0;

private:
    COLORREF m_color;
    HRESULT m_hrDraw;
    ULONG m_nRefs = 1;
};

}  // namespace

TEST(CHImageHelper, OleDrawDrawsIntoTheBoundsAndThrowsFailures)
{
    CHImage target;
    target.Create(8, 8, 32);
    std::memset(target.GetBits(), 0, static_cast<size_t>(target.GetPitch()) * 8);
    HDC hDC = target.GetDC();

    CFillingViewObject object(RGB(0x11, 0x22, 0x33), S_OK);
    CHImageHelper::OleDraw(&object, DVASPECT_CONTENT, hDC, RECT{2, 3, 5, 6});
    EXPECT_EQ(object.m_dwAspect, static_cast<DWORD>(DVASPECT_CONTENT));
    EXPECT_EQ(::GetPixel(hDC, 2, 3), RGB(0x11, 0x22, 0x33));
    EXPECT_EQ(::GetPixel(hDC, 4, 5), RGB(0x11, 0x22, 0x33));
    EXPECT_EQ(::GetPixel(hDC, 5, 5), RGB(0, 0, 0));
    EXPECT_EQ(::GetPixel(hDC, 1, 3), RGB(0, 0, 0));

    CFillingViewObject failing(RGB(0, 0, 0), VIEW_E_DRAW);
    CHException e = CatchThrown([&] { CHImageHelper::OleDraw(&failing, DVASPECT_CONTENT, hDC, RECT{0, 0, 8, 8}); });
    EXPECT_EQ(ErrorCodesOf(e).front(), VIEW_E_DRAW);
    EXPECT_EQ(ErrorFunctionsOf(e).back(), L"CHImageHelper::OleDraw");

    target.ReleaseDC();
}
