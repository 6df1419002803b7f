#include "RAde/DEVEDar/HSkinnedControls.h"

#include <optional>
#include <string>

#include "RAde/HException.h"

namespace {
// The windows of each list, collected before any is subclassed.
struct CCollected
{
    std::vector<HWND> buttons, groupBoxes, staticTexts, comboBoxes, listBoxes;
};

CCollected CollectChildren(HWND hDialog, const CHAppearanceOptions& options,
                           const CHDialogAppeareaceDef::CNameMap* pNameMap, CHDialogAppeareaceDef& appearance)
{
    CCollected collected;
    for (HWND hChild = ::GetWindow(hDialog, GW_CHILD); hChild; hChild = ::GetWindow(hChild, GW_HWNDNEXT)) {
        if (options.m_bSkinPushButtons &&
            (appearance.IsPushButton(hChild) || (options.m_bButtonOption && appearance.IsCheckOrRadio(hChild))))
            collected.buttons.push_back(hChild);
        else if (options.m_bSkinGroupBoxes && appearance.IsGroupBox(hChild))
            collected.groupBoxes.push_back(hChild);
        else if (options.m_bSkinStaticText && appearance.IsStaticText(hChild))
            collected.staticTexts.push_back(hChild);
        else if (options.m_bSkinComboBoxes && appearance.IsSkinnableCombo(hChild))
            collected.comboBoxes.push_back(hChild);
        else if (options.m_bSkinListBoxes && appearance.IsListBox(hChild))
            collected.listBoxes.push_back(hChild);
        else if (appearance.IsListView(hChild))
            appearance.OnListView(hChild);
        if (pNameMap != nullptr)
            if (std::optional<std::wstring> text = appearance.GetControlText(hChild, *pNameMap))
                ::SetWindowTextW(hChild, text->c_str());
    }
    return collected;
}

// A fresh control for each window; configure(control) once it is subclassed.
// Windows that cannot be subclassed (taken by another object) get none.
template <class Control, class Configure>
void SubclassAll(const std::vector<HWND>& windows, std::vector<std::unique_ptr<Control>>& controls,
                 Configure&& configure)
{
    controls.clear();
    for (HWND hWnd : windows) {
        auto control = std::make_unique<Control>();
        if (!control->SubclassWindow(hWnd))
            continue;
        configure(*control);
        controls.push_back(std::move(control));
    }
}
}  // namespace

void SkinChildControls(HWND hDialog, CHSkinnedControls& controls, const CHAppearanceOptions& options,
                       const CHDialogAppeareaceDef::CNameMap* pNameMap, CHDialogAppeareaceDef& appearance)
{
    HTRY {
        const CCollected collected = CollectChildren(hDialog, options, pNameMap, appearance);
        SubclassAll(collected.buttons, controls.m_buttons, [&](CHTransparentButton& button) {
            CHButtonColors colors{button.GetTextColors()};
            const bool bCheckOrRadio = button.GetKind() != CHTransparentButton::kindPush;
            appearance.GetButtonColors(button, bCheckOrRadio, colors, pNameMap);
            button.SetTextColors(colors.m_crText);
            button.SetNoAlphaHitTest(bCheckOrRadio);
        });
        SubclassAll(collected.groupBoxes, controls.m_groupBoxes, [&](CHGroupBox& groupBox) {
            CHGroupBoxColors colors;
            appearance.GetGroupBoxColors(colors);
            groupBox.SetLineColors(colors.m_crDark, colors.m_crLight);
        });
        SubclassAll(collected.staticTexts, controls.m_staticTexts,
                    [&](CHStaticTextCtrl& text) { appearance.GetStaticTextColors(text); });
        SubclassAll(collected.comboBoxes, controls.m_comboBoxes, [&](CHComboBox& combo) {
            CHSelectionColors colors{combo.GetLook().m_crSelection, combo.GetLook().m_crSelectedText};
            appearance.GetComboColors(combo, colors, pNameMap);
            combo.SetSelectionColors(colors.m_crSelection, colors.m_crSelectedText);
        });
        SubclassAll(collected.listBoxes, controls.m_listBoxes, [&](CHListBox& list) {
            CHSelectionColors colors{list.GetLook().m_crSelection, list.GetLook().m_crSelectedText};
            appearance.GetListColors(list, colors, pNameMap);
            list.SetSelectionColors(colors.m_crSelection, colors.m_crSelectedText);
        });
    } HCATCH
}
