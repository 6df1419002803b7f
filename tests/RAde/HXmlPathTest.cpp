// Path queries: how steps are parsed, and how Find walks the tree.
#include <gtest/gtest.h>

#include <string>

#include "RAde/HXmlNode.h"
#include "RAde/HXmlPath.h"

namespace {

class CSkin
{
public:
    explicit CSkin(const wchar_t* pszText) : m_strText(pszText) { m_node.Load(m_strText.c_str(), m_info); }

    // The "id" (or, failing that, the name) of what the path finds; "-" for nothing.
    std::wstring Find(const std::wstring& strPath) const
    {
        const CHXmlNode* pFound = m_node.Find(strPath);
        if (!pFound)
            return L"-";
        const std::wstring* pId = pFound->GetAttributeValue(L"n");
        return pId ? *pId : pFound->GetName();
    }

private:
    std::wstring m_strText;
    CHXmlNode m_node;
    CHXmlParseInfo m_info;
};

const wchar_t kSkin[] = LR"(<skin>
  <forms>
    <form id="main" n="form-main">
      <class id="special" n="class-1"/>
      <class id="general" n="class-2"/>
      <controls>
        <control id="ok" kind="button" n="ok-button"/>
        <control id="ok" kind="label" n="ok-label"/>
      </controls>
    </form>
    <form id="wait" n="form-wait"/>
  </forms>
  <string id="title" lang="en" n="title-en">Setup</string>
  <string id="title" lang="de" n="title-de">Einrichtung</string>
  <option id="closeButton" n="option">1</option>
</skin>)";

}  // namespace

TEST(CHXmlPath, StepsWithAndWithoutPredicates)
{
    CHXmlPath path(L"/forms//form[id=\"main\"][x=\"a b\"]/controls/");
    const auto& steps = path.GetSteps();
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_EQ(steps[0].strName, L"forms");
    EXPECT_TRUE(steps[0].attributeNames.empty());
    EXPECT_EQ(steps[1].strName, L"form");
    EXPECT_EQ(steps[1].attributeNames, (std::vector<std::wstring>{L"id", L"x"}));
    EXPECT_EQ(steps[1].attributeValues, (std::vector<std::wstring>{L"main", L"a b"}));
    EXPECT_EQ(steps[2].strName, L"controls");
}

TEST(CHXmlPath, MalformedGroupKeepsEarlierPredicatesAndVoidsLaterSteps)
{
    CHXmlPath path(L"form[id=\"main\"][id=general]/controls/control");
    const auto& steps = path.GetSteps();
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_EQ(steps[0].strName, L"form");
    EXPECT_EQ(steps[0].attributeValues, (std::vector<std::wstring>{L"main"}));
    EXPECT_EQ(steps[1].strName, L"");
    EXPECT_EQ(steps[2].strName, L"");

    // Brackets without a closing one, or a closing quote: the step text is the name, or the
    // group is malformed; either way parsing ends inside the step.
    EXPECT_EQ(CHXmlPath(L"a[id=\"x").GetSteps()[0].strName, L"a[id=\"x");
    EXPECT_EQ(CHXmlPath(L"a[id=\"x]").GetSteps()[0].strName, L"a");
    EXPECT_TRUE(CHXmlPath(L"a[id=\"x]").GetSteps()[0].attributeNames.empty());
    EXPECT_TRUE(CHXmlPath(L"a[id=\"\"]").GetSteps()[0].attributeNames.empty());
    EXPECT_EQ(CHXmlPath(L"[id=\"x\"]").GetSteps()[0].strName, L"");
    EXPECT_TRUE(CHXmlPath(L"").GetSteps().empty());
}

TEST(CHXmlNodeFind, PathsTheSkinReaderUses)
{
    CSkin skin(kSkin);
    EXPECT_EQ(skin.Find(L"forms/form[id=\"main\"]/controls/control[id=\"ok\"]"), L"ok-button");
    EXPECT_EQ(skin.Find(L"forms/form[id=\"main\"]/controls/control[id=\"ok\"][kind=\"label\"]"), L"ok-label");
    EXPECT_EQ(skin.Find(L"string[id=\"title\"][lang=\"de\"]"), L"title-de");
    EXPECT_EQ(skin.Find(L"option[id=\"closeButton\"]"), L"option");
    EXPECT_EQ(skin.Find(L"forms/form[id=\"wait\"]"), L"form-wait");
    EXPECT_EQ(skin.Find(L"string[id=\"title\"][lang=\"fr\"]"), L"-");
    EXPECT_EQ(skin.Find(L""), L"skin");
}

TEST(CHXmlNodeFind, UnquotedPredicateMatchesTheFirstChildOfThatName)
{
    CSkin skin(kSkin);
    EXPECT_EQ(skin.Find(L"forms/form[id=\"main\"]/class[id=general]"), L"class-1");
    EXPECT_EQ(skin.Find(L"forms/form[id=\"main\"]/class[id=\"general\"]"), L"class-2");
    // Steps after the malformed one never match.
    EXPECT_EQ(skin.Find(L"forms/form[id=main]/controls"), L"-");
}

TEST(CHXmlNodeFind, ValuesIgnoreCaseNamesDoNot)
{
    CSkin skin(LR"(<r><b id="ok" n="found"/></r>)");
    EXPECT_EQ(skin.Find(L"b[id=\"OK\"]"), L"found");
    EXPECT_EQ(skin.Find(L"b[ID=\"ok\"]"), L"-");
    EXPECT_EQ(skin.Find(L"B[id=\"ok\"]"), L"-");
    // The predicate's attribute name is taken verbatim, spaces included.
    EXPECT_EQ(skin.Find(L"b[ id=\"ok\"]"), L"-");
}

TEST(CHXmlNodeFind, NoBacktrackingIntoLaterSiblings)
{
    CSkin skin(LR"(<r><a id="1"/><a id="1"><b n="deep"/></a></r>)");
    EXPECT_EQ(skin.Find(L"a[id=\"1\"]/b"), L"-");
    EXPECT_EQ(skin.Find(L"a/b"), L"-");
}

TEST(CHXmlNodeFind, PredicateLooksAtTheFirstAttributeOfThatName)
{
    CSkin skin(LR"(<r><a id="x" id="y" n="dup"/></r>)");
    EXPECT_EQ(skin.Find(L"a[id=\"x\"]"), L"dup");
    EXPECT_EQ(skin.Find(L"a[id=\"y\"]"), L"-");
}
