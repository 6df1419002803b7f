// Helpers of the skinned-dialog tests: a dialog whose form id a test
// chooses, and the appearance every dialog of a test asks.
#pragma once

#include <optional>
#include <string>

#include "RAde/DEVEDar/HDialog.h"

class CTestDialog : public CHDialog<CTestDialog>
{
public:
    explicit CTestDialog(UINT nTemplate, std::optional<std::wstring> formId = std::nullopt)
        : CHDialog(nTemplate), m_formId(std::move(formId))
    {
    }
    std::optional<std::wstring> GetFormId() const override { return m_formId; }

private:
    std::optional<std::wstring> m_formId;
};

class CAppearanceScope
{
public:
    explicit CAppearanceScope(CHDialogAppeareaceDef& appearance) : m_pSaved(g_pAppearance)
    {
        g_pAppearance = &appearance;
    }
    ~CAppearanceScope() { g_pAppearance = m_pSaved; }
    CAppearanceScope(const CAppearanceScope&) = delete;
    CAppearanceScope& operator=(const CAppearanceScope&) = delete;

private:
    CHDialogAppeareaceDef* m_pSaved;
};
