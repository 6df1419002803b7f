// What the skin holds for the skinned dialogs, as records: one per dialog
// form (CHFormSkinData), the images of a caption button, the default images of
// the skinned controls; and the skin's vocabulary: control states, class
// keys and the names of the frame images.
#pragma once

#include <windows.h>

#include <array>
#include <optional>
#include <string>

#include "RAde/DEVEDar/HCtlColorSet.h"
#include "RAde/DEVEDar/HImage.h"

// States of a skinned control, as its image files and colour attributes name
// them (suffix "n", "s", ...; attribute "color-s", ...).
enum EControlState : int
{
    stateNormal = 0,
    statePressed = 1,
    stateHover = 2,
    stateDisabled = 3,
    stateDefault = 4,
    stateFocused = 5,
    stateFocusedDefault = 6,
    stateHoverDefault = 7,
    stateCount = 8,
};

// The image-file suffix and the colour attribute (null for the normal state) of a state.
const wchar_t* GetStateSuffix(int nState) noexcept;
const wchar_t* GetStateColorAttribute(int nState) noexcept;

// The key of a skin class id: the colour message a dialog receives for that
// control class (WM_CTLCOLORBTN for "button", ...), compared ignoring case; 0
// for any other id.
int GetClassKey(const std::wstring& strClassId);

// What the skin says about one dialog form.
struct CHFormSkinData
{
    // Background modes.
    enum EBackground : BYTE
    {
        backgroundColor = 0,
        backgroundImage = 1,
        backgroundStretchedImage = 2,
    };

    CHFormSkinData() = default;
    CHFormSkinData(const CHFormSkinData&) = delete;
    CHFormSkinData& operator=(const CHFormSkinData&) = delete;

    // Makes the general form's sets answer for keys this form's sets lack.
    void LinkToGeneral(const CHFormSkinData& general) noexcept;

    std::wstring m_strFormId;
    std::optional<COLORREF> m_crText;
    HFONT m_hCaptionFont = nullptr;  // borrowed from the skin's fonts or the appearance
    std::optional<COLORREF> m_crCaptionText;
    CHImage m_imgBackground;
    COLORREF m_crBackground = 0;
    BYTE m_nBackgroundMode = backgroundColor;
    bool m_bHasBackground = false;

    CHCtlColorrefSet m_controlTextColors;   // by control ID
    CHCtlColorrefSet m_classTextColors;     // by class key
    CHCtlColorrefSet m_classStateColors;    // by state number
    CHCtlColorrefSet m_controlStateColors;  // by control ID * 65536 + state number
    CHCtlBkBrushSet m_classBrushes;         // by class key

    std::optional<COLORREF> m_crListSelection;
    std::optional<COLORREF> m_crComboSelection;
    CHCtlColorrefSet m_controlSelectionColors;  // by control ID
    std::optional<COLORREF> m_crListSelectedText;
    std::optional<COLORREF> m_crComboSelectedText;
    CHCtlColorrefSet m_controlSelectedTextColors;  // by control ID
};

// The images of one caption button: normal, pressed and mouse over, then the
// same three for an inactive window.
struct CHCaptionButtonImages
{
    enum ESlot : int
    {
        slotNormal = 0,
        slotPressed = 1,
        slotHover = 2,
        slotNormalInactive = 3,
        slotPressedInactive = 4,
        slotHoverInactive = 5,
        slotCount = 6,
    };

    explicit CHCaptionButtonImages(int nButton) noexcept : m_nButton(nButton) {}

    std::array<CHImage, slotCount> m_images;
    int m_nButton;
};

// The images every skinned control of the process falls back to (straight alpha).
struct CHDefaultControlImages
{
    std::array<CHImage, stateCount> m_button;
    std::array<CHImage, stateCount> m_checkOn;
    std::array<CHImage, stateCount> m_checkOff;
    std::array<CHImage, stateCount> m_checkIndeterminate;
    std::array<CHImage, stateCount> m_radioOn;
    std::array<CHImage, stateCount> m_radioOff;
    std::array<CHImage, 3> m_iconButton;  // normal, pressed, mouse over
    CHImage m_progressEmpty;
    CHImage m_progressFull;
};

// The non-client frame images, in this order.
enum EFrameImage : int
{
    frameCaption = 0,
    frameEdgeLeftTop,
    frameEdgeTop,
    frameEdgeRightTop,
    frameEdgeLeft,
    frameEdgeRight,
    frameEdgeLeftBottom,
    frameEdgeBottom,
    frameEdgeRightBottom,
    frameImageCount,
};
// The file name of a frame image without ".png" ("caption", "edge_left_top", ...).
const wchar_t* GetFrameImageName(int nImage) noexcept;
