// The skinning pass of a dialog: which of its standard controls become
// skinned ones, and the objects that draw them.
//
// SkinChildControls asks the appearance about each direct child of the
// dialog and, for the kinds the options switch on, subclasses it with a fresh
// skinned control configured from the appearance's colours:
//   push buttons (skin push buttons), with the button option also check boxes
//   and radio buttons -> CHTransparentButton (check boxes and radio buttons
//   are hit anywhere, whatever the alpha of their images);
//   group boxes -> CHGroupBox; static texts -> CHStaticTextCtrl;
//   owner-drawn combo boxes with strings -> CHComboBox; list boxes -> CHListBox.
// List views go to the appearance's list-view hook. Every child with a skin
// text for its name gets that text. A window another object has subclassed
// already is left alone. The lists are refilled on each call.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "RAde/DEVEDar/HComboBox.h"
#include "RAde/DEVEDar/HDialogAppeareaceDef.h"
#include "RAde/DEVEDar/HGroupBox.h"
#include "RAde/DEVEDar/HListBox.h"
#include "RAde/DEVEDar/HStaticTextCtrl.h"
#include "RAde/DEVEDar/HTransparentButton.h"

// The skinned controls of one dialog, owned by it.
struct CHSkinnedControls
{
    std::vector<std::unique_ptr<CHTransparentButton>> m_buttons;
    std::vector<std::unique_ptr<CHGroupBox>> m_groupBoxes;
    std::vector<std::unique_ptr<CHStaticTextCtrl>> m_staticTexts;
    std::vector<std::unique_ptr<CHComboBox>> m_comboBoxes;
    std::vector<std::unique_ptr<CHListBox>> m_listBoxes;
};

// pNameMap may be null (no skin texts, the general form's colours).
void SkinChildControls(HWND hDialog, CHSkinnedControls& controls, const CHAppearanceOptions& options,
                       const CHDialogAppeareaceDef::CNameMap* pNameMap,
                       CHDialogAppeareaceDef& appearance = *g_pAppearance);
// Gives the skinned controls their colours from the appearance (done by
// SkinChildControls; again when the appearance's colours change).
void ColorSkinnedControls(CHSkinnedControls& controls, const CHDialogAppeareaceDef::CNameMap* pNameMap,
                          CHDialogAppeareaceDef& appearance);
