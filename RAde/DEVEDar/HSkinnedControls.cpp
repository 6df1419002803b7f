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
        auto none = [](auto&) {};
        SubclassAll(collected.buttons, controls.m_buttons, [](CHTransparentButton& button) {
            button.SetNoAlphaHitTest(button.GetKind() != CHTransparentButton::kindPush);
        });
        SubclassAll(collected.groupBoxes, controls.m_groupBoxes, none);
        SubclassAll(collected.staticTexts, controls.m_staticTexts,
                    [&](CHStaticTextCtrl& text) { appearance.GetStaticTextColors(text); });
        SubclassAll(collected.comboBoxes, controls.m_comboBoxes, none);
        SubclassAll(collected.listBoxes, controls.m_listBoxes, none);
        ColorSkinnedControls(controls, pNameMap, appearance);
    } HCATCH
}

void ColorSkinnedControls(CHSkinnedControls& controls, const CHDialogAppeareaceDef::CNameMap* pNameMap,
                          CHDialogAppeareaceDef& appearance)
{
    HTRY {
        for (const auto& button : controls.m_buttons) {
            // From the button's own defaults, so that what the skin leaves out stays as it was made.
            CHButtonColors colors;
            colors.m_crText.fill(CHTransparentButton::kDefaultTextColor);
            const bool bCheckOrRadio = button->GetKind() != CHTransparentButton::kindPush;
            appearance.GetButtonColors(*button, bCheckOrRadio, colors, pNameMap);
            button->SetTextColors(colors.m_crText);
            button->SetSystemFace(appearance.UsesSystemColors());
        }
        for (const auto& groupBox : controls.m_groupBoxes) {
            CHGroupBoxColors colors;
            appearance.GetGroupBoxColors(colors);
            groupBox->SetLineColors(colors.m_crDark, colors.m_crLight);
        }
        for (const auto& combo : controls.m_comboBoxes) {
            CHSelectionColors colors{combo->GetLook().m_crSelection, combo->GetLook().m_crSelectedText};
            appearance.GetComboColors(*combo, colors, pNameMap);
            combo->SetSelectionColors(colors.m_crSelection, colors.m_crSelectedText);
        }
        for (const auto& list : controls.m_listBoxes) {
            CHSelectionColors colors{list->GetLook().m_crSelection, list->GetLook().m_crSelectedText};
            appearance.GetListColors(*list, colors, pNameMap);
            list->SetSelectionColors(colors.m_crSelection, colors.m_crSelectedText);
        }
    } HCATCH
}
