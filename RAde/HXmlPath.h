// Path queries over a CHXmlNode tree: "forms/form[id="main"]/controls/control[id="ok"]".
#pragma once

#include <string>
#include <vector>

// One step of a path: an element name and its [attr="value"] predicates.
struct CHXmlPathStep
{
    std::wstring strName;
    std::vector<std::wstring> attributeNames;
    std::vector<std::wstring> attributeValues;
};

class CHXmlPath
{
public:
    // Splits the path at "/" (empty steps are dropped) and parses each step.
    // A step with a malformed bracket group keeps its name and the predicates
    // before that group, and every later step gets an empty name, which never
    // matches. So `class[id=general]` (unquoted) matches any `class` child.
    explicit CHXmlPath(const std::wstring& strPath);

    const std::vector<CHXmlPathStep>& GetSteps() const { return m_steps; }

private:
    // Parses one step; returns false when the rest of the path must be voided.
    static bool ParseStep(const std::wstring& strText, CHXmlPathStep& step);

    std::vector<CHXmlPathStep> m_steps;
};
