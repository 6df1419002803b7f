// Helpers of the galleries of skinned dialogs: a whole window drawn
// (CHDialogBase::RenderWindow), kept in artefacts\gallery beside the test
// program and compared, channel by channel within a small tolerance, with its
// reference picture in the program's gallery folder
// (tests/RAde/DEVEDar/gallery, copied by the build). scripts/refresh-gallery
// copies the renders over the references, for a change of the look that is
// meant. A test program run in a prefix of another
// DPI (build/wineprefix-dpi144, -dpi192) names its pictures after it.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "ControlTestSupport.h"
#include "RAde/DEVEDar/HDialogBase.h"
#include "SkinTestSupport.h"
#include "TestSupport.h"

namespace Gallery {
using namespace ControlTest;

// Per channel: the renders are the same from run to run; the tolerance only
// absorbs rounding that a different CPU's blending might bring.
constexpr int kTolerance = 8;

// The screen's pixels per inch, which the prefix a test program runs in sets.
inline int ScreenDpi()
{
    HDC hScreen = ::GetDC(nullptr);
    const int nDpi = ::GetDeviceCaps(hScreen, LOGPIXELSY);
    ::ReleaseDC(nullptr, hScreen);
    return nDpi;
}

// A reference picture's name at the screen's DPI: "controls" at 96 dpi,
// "controls-192dpi" at 192.
inline std::string NameAtScreenDpi(const char* pszName)
{
    const int nDpi = ScreenDpi();
    return nDpi == 96 ? std::string(pszName) : std::string(pszName) + "-" + std::to_string(nDpi) + "dpi";
}

// Empty when the pictures agree; otherwise what differs.
inline std::string Compare(const CHImage& actual, const CHImage& expected)
{
    if (actual.GetWidth() != expected.GetWidth() || actual.GetHeight() != expected.GetHeight())
        return "size " + std::to_string(actual.GetWidth()) + " x " + std::to_string(actual.GetHeight()) +
               ", expected " + std::to_string(expected.GetWidth()) + " x " + std::to_string(expected.GetHeight());
    long nOff = 0;
    POINT ptFirst{-1, -1};
    for (int y = 0; y < actual.GetHeight(); ++y)
        for (int x = 0; x < actual.GetWidth(); ++x)
            if (!ColourNear(PixelAt(actual, x, y), PixelAt(expected, x, y), kTolerance) && nOff++ == 0)
                ptFirst = POINT{x, y};
    if (nOff == 0)
        return std::string();
    return std::to_string(nOff) + " pixels differ, the first at " + std::to_string(ptFirst.x) + ", " +
           std::to_string(ptFirst.y);
}

// Keeps the render as artefacts\gallery\<name>.png and compares it with the
// reference gallery\<name>.png beside the test program.
inline void ExpectMatchesReference(const CHImage& render, const std::string& strNameUtf8)
{
    const char* pszName = strNameUtf8.c_str();
    const std::wstring strName(strNameUtf8.begin(), strNameUtf8.end());
    const std::wstring strArtefacts = TestProgramFolder() + L"artefacts";
    ::CreateDirectoryW(strArtefacts.c_str(), nullptr);
    ::CreateDirectoryW((strArtefacts + L"\\gallery").c_str(), nullptr);
    SavePng(render, strArtefacts + L"\\gallery\\" + strName + L".png");

    const std::wstring strReference = TestProgramFolder() + L"gallery\\" + strName + L".png";
    ASSERT_NE(::GetFileAttributesW(strReference.c_str()), INVALID_FILE_ATTRIBUTES)
        << "no reference picture; look at the render in artefacts\\gallery and run scripts/refresh-gallery";
    CHImage reference;
    reference.Load(strReference);
    EXPECT_EQ(Compare(render, reference), "") << "compare artefacts\\gallery\\" << pszName << ".png";
}
}  // namespace Gallery
