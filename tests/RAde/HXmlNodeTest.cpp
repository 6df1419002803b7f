// The XML reader: what it builds from text, how it records the first error,
// and how trees are copied and destroyed.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "RAde/HXmlNode.h"
#include "TestSupport.h"

namespace {

struct CLoaded
{
    std::wstring strText;
    CHXmlNode node;
    CHXmlParseInfo info;
    const wchar_t* pEnd = nullptr;

    explicit CLoaded(std::wstring text) : strText(std::move(text)) { pEnd = node.Load(strText.c_str(), info); }

    size_t ErrorOffset() const { return static_cast<size_t>(info.pErrorPosition - strText.c_str()); }
    size_t EndOffset() const { return static_cast<size_t>(pEnd - strText.c_str()); }
};

std::vector<std::wstring> ChildNames(const CHXmlNode& node)
{
    std::vector<std::wstring> names;
    for (const auto& child : node.GetChildNodes())
        names.push_back(child->GetName());
    return names;
}

std::vector<std::pair<std::wstring, std::wstring>> AttributesOf(const CHXmlNode& node)
{
    std::vector<std::pair<std::wstring, std::wstring>> attributes;
    for (const auto& attribute : node.GetAttributes())
        attributes.emplace_back(attribute->GetName(), attribute->GetValue());
    return attributes;
}

std::wstring Nested(int nDepth)
{
    std::wstring strText;
    for (int i = 0; i < nDepth; ++i)
        strText += L"<e>";
    for (int i = 0; i < nDepth; ++i)
        strText += L"</e>";
    return strText;
}

int DepthOf(const CHXmlNode& top)
{
    int nDepth = 1;
    for (const CHXmlNode* p = &top; !p->GetChildNodes().empty(); p = p->GetChildNodes().front().get())
        ++nDepth;
    return nDepth;
}

}  // namespace

TEST(CHXmlNode, AttributesInEveryFormAndTheValue)
{
    CLoaded doc(L"<a b='1' c=\"2\" d e=3>t</a>");
    EXPECT_FALSE(doc.info.bErrorOccurred);
    EXPECT_EQ(doc.node.GetName(), L"a");
    EXPECT_EQ(doc.node.GetValue(), L"t");
    EXPECT_EQ(AttributesOf(doc.node), (std::vector<std::pair<std::wstring, std::wstring>>{
                                          {L"b", L"1"}, {L"c", L"2"}, {L"d", L""}, {L"e", L"3"}}));
    EXPECT_EQ(doc.EndOffset(), doc.strText.size());
    for (const auto& attribute : doc.node.GetAttributes())
        EXPECT_EQ(attribute->GetOwner(), &doc.node);
}

TEST(CHXmlNode, DuplicateAttributesAreAllKeptAndLookupTakesTheFirst)
{
    CLoaded doc(L"<a id=\"x\" Id=\"y\" id=\"z\"/>");
    EXPECT_EQ(doc.node.GetAttributes().size(), 3u);
    ASSERT_NE(doc.node.GetAttributeValue(L"id"), nullptr);
    EXPECT_EQ(*doc.node.GetAttributeValue(L"id"), L"x");
    EXPECT_EQ(*doc.node.GetAttributeValue(L"Id"), L"y");
    EXPECT_EQ(doc.node.GetAttribute(L"ID"), nullptr);
}

TEST(CHXmlNode, MissingNamesForLookupsAreFailures)
{
    CLoaded doc(L"<a/>");
    CHException e = CatchThrown([&] { doc.node.GetAttribute(nullptr); });
    EXPECT_TRUE(e.FindErrorCode(static_cast<int>(E_FAIL), nullptr));
    EXPECT_TRUE(CatchThrown([&] { doc.node.GetChildren(nullptr); }).FindErrorCode(static_cast<int>(E_FAIL), nullptr));
}

TEST(CHXmlNode, EntitiesAreDecodedInTextAndAttributesOnly)
{
    CLoaded doc(L"<a v=\"&quot;&apos;&gt;\">x &lt; y &amp; z &ltx &#65; &amp</a>");
    EXPECT_EQ(doc.node.GetValue(), L"x < y & z &ltx &#65; &amp");
    EXPECT_EQ(*doc.node.GetAttributeValue(L"v"), L"\"'>");
}

TEST(CHXmlNode, DeclarationAndTopLevelCommentsAreNotKept)
{
    CLoaded doc(L"<?xml version=\"1.0\"?><!-- c --><root/><!-- after -->");
    EXPECT_EQ(doc.node.GetName(), L"root");
    EXPECT_TRUE(doc.node.GetChildNodes().empty());
    EXPECT_FALSE(doc.info.bErrorOccurred);

    CLoaded upper(L"<?XML?>\r\n<!--x--><r>v</r>");
    EXPECT_EQ(upper.node.GetName(), L"r");
    EXPECT_EQ(upper.node.GetValue(), L"v");
}

TEST(CHXmlNode, CommentsAndCDataInsideAnElementBecomeChildren)
{
    CLoaded doc(L"<r><!-- n --><x/><![CDATA[<b>&amp;]]></r>");
    EXPECT_EQ(ChildNames(doc.node), (std::vector<std::wstring>{L"#COMMENT", L"x", L"#CDATA"}));
    const auto& children = doc.node.GetChildNodes();
    EXPECT_EQ(children[0]->GetValue(), L" n ");
    EXPECT_EQ(children[0]->GetType(), HXML_NODE_COMMENT);
    EXPECT_EQ(children[2]->GetValue(), L"<b>&amp;");
    EXPECT_EQ(children[2]->GetType(), HXML_NODE_CDATA);
    for (const auto& child : children)
        EXPECT_EQ(child->GetParent(), &doc.node);
}

TEST(CHXmlNode, ValueIsTheFirstNonBlankRunOfText)
{
    CLoaded doc(L"<r>\n<a/>\n text\n<b/>\nmore</r>");
    EXPECT_EQ(doc.node.GetValue(), L"\n text\n");
    EXPECT_EQ(ChildNames(doc.node), (std::vector<std::wstring>{L"a", L"b"}));

    CLoaded spaced(L"<a>  x  </a>");
    EXPECT_EQ(spaced.node.GetValue(), L"  x  ");
}

TEST(CHXmlNode, TrimmingAndNoDecodingWhenAsked)
{
    std::wstring strText = L"<a v=\" &amp; \"> x &lt; </a>";
    CHXmlNode node;
    CHXmlParseInfo info;
    info.bTrimText = true;
    info.bDecodeEntities = false;
    node.Load(strText.c_str(), info);
    EXPECT_EQ(node.GetValue(), L"x &lt;");
    EXPECT_EQ(*node.GetAttributeValue(L"v"), L"&amp;");
}

TEST(CHXmlNode, MismatchedEndTagIsErrorThreeAndKeepsWhatWasBuilt)
{
    CLoaded doc(L"<r><x></y></r>");
    EXPECT_EQ(doc.pEnd, nullptr);
    EXPECT_EQ(doc.info.nErrorCode, HXML_ERROR_END_TAG_MISMATCH);
    EXPECT_EQ(doc.info.strErrorMessage, L"'<x> ... </y>' is not wel-formed.");
    EXPECT_EQ(doc.ErrorOffset(), 6u);
    EXPECT_EQ(ChildNames(doc.node), (std::vector<std::wstring>{L"x"}));

    CHXmlNode lax;
    CHXmlParseInfo laxInfo;
    laxInfo.bStrictNesting = false;
    lax.Load(doc.strText.c_str(), laxInfo);
    EXPECT_FALSE(laxInfo.bErrorOccurred);
}

TEST(CHXmlNode, UnclosedTagsAreErrorsOneAndTwo)
{
    CLoaded emptyElement(L"<r><x/");
    EXPECT_EQ(emptyElement.info.nErrorCode, HXML_ERROR_UNCLOSED_EMPTY_ELEMENT);
    EXPECT_EQ(emptyElement.info.strErrorMessage, L"Element must be closed.");
    EXPECT_EQ(emptyElement.ErrorOffset(), 5u);

    CLoaded endTag(L"<r></r");
    EXPECT_EQ(endTag.info.nErrorCode, HXML_ERROR_END_TAG_NOT_CLOSED);
    EXPECT_EQ(endTag.info.strErrorMessage, L"it must be closed with </r>");
    EXPECT_EQ(endTag.ErrorOffset(), 3u);
}

TEST(CHXmlNode, AnElementLeftOpenAtTheEndIsAccepted)
{
    CLoaded doc(L"<r>abc");
    EXPECT_FALSE(doc.info.bErrorOccurred);
    EXPECT_EQ(doc.node.GetName(), L"r");
    EXPECT_EQ(doc.node.GetValue(), L"abc");

    CLoaded open(L"<r><a>");
    EXPECT_FALSE(open.info.bErrorOccurred);
    EXPECT_EQ(ChildNames(open.node), (std::vector<std::wstring>{L"a"}));
}

TEST(CHXmlNode, AttributeWithoutSpaceOrEqualsIsErrorFour)
{
    CLoaded doc(L"<r><x a>t</x></r>");
    EXPECT_EQ(doc.info.nErrorCode, HXML_ERROR_BAD_ATTRIBUTE);
    EXPECT_EQ(doc.info.strErrorMessage, L"<x> attribute has error ");
    EXPECT_EQ(doc.ErrorOffset(), 6u);
}

TEST(CHXmlNode, OnlyTheFirstErrorIsRecorded)
{
    CHXmlParseInfo info;
    CHXmlNode node;
    std::wstring strFirst = L"<r><x></y></r>";
    node.Load(strFirst.c_str(), info);
    std::wstring strSecond = L"<r><x/";
    node.Load(strSecond.c_str(), info);
    EXPECT_EQ(info.nErrorCode, HXML_ERROR_END_TAG_MISMATCH);
    EXPECT_EQ(info.pErrorPosition, strFirst.c_str() + 6);
}

TEST(CHXmlNode, UnfinishedMarkupStopsAtTheEndOfTheText)
{
    // Each of these runs out of text somewhere a careless scanner reads on.
    for (const wchar_t* pszText :
         {L"<", L"<a", L"<a ", L"<a b=", L"<a b=\"x", L"<a b='x", L"<r><!-- x", L"<r><![CDATA[", L"<?xml", L"<r></",
          L"<r></ ", L"<a b=x", L"<a\t", L"", L"text only"}) {
        SCOPED_TRACE(testing::Message() << "text: " << testing::PrintToString(std::wstring(pszText)));
        CLoaded doc(pszText);
        EXPECT_EQ(doc.pEnd, nullptr);
    }
    CLoaded unquoted(L"<a b=\"x");
    EXPECT_EQ(*unquoted.node.GetAttributeValue(L"b"), L"x");
}

TEST(CHXmlNode, NestingDeeperThanTheLimitIsErrorFiveAndKeepsTheLimit)
{
    CLoaded atLimit(Nested(CHXmlNode::MaxNestingDepth));
    EXPECT_FALSE(atLimit.info.bErrorOccurred);
    EXPECT_EQ(DepthOf(atLimit.node), CHXmlNode::MaxNestingDepth);

    CLoaded tooDeep(Nested(CHXmlNode::MaxNestingDepth * 50));
    EXPECT_EQ(tooDeep.info.nErrorCode, HXML_ERROR_NESTING_TOO_DEEP);
    EXPECT_EQ(tooDeep.info.strErrorMessage, L"Element nesting too deep.");
    EXPECT_EQ(tooDeep.ErrorOffset(), 3u * CHXmlNode::MaxNestingDepth);
    EXPECT_EQ(DepthOf(tooDeep.node), CHXmlNode::MaxNestingDepth);
}

TEST(CHXmlNode, VeryDeepTreesBuiltByHandAreCopiedAndDestroyedWithoutRecursion)
{
    // Far deeper than any stack would take recursively.
    constexpr int kDepth = 200000;
    auto top = std::make_unique<CHXmlNode>();
    top->SetName(L"top");
    CHXmlNode* pLeaf = top.get();
    for (int i = 0; i < kDepth; ++i)
        pLeaf = pLeaf->AppendChild(L"e", std::to_wstring(i));
    pLeaf->AppendAttribute(L"leaf", L"yes");

    CHXmlNode copy;
    copy.CopyFrom(*top);
    EXPECT_EQ(DepthOf(copy), kDepth + 1);
    const CHXmlNode* pCopyLeaf = &copy;
    while (!pCopyLeaf->GetChildNodes().empty())
        pCopyLeaf = pCopyLeaf->GetChildNodes().front().get();
    EXPECT_EQ(pCopyLeaf->GetValue(), std::to_wstring(kDepth - 1));
    EXPECT_EQ(pCopyLeaf->GetAttribute(L"leaf")->GetOwner(), pCopyLeaf);

    top.reset();
    copy.Clear();
    EXPECT_TRUE(copy.GetChildNodes().empty());
}

TEST(CHXmlNode, CopyFromIsDeepAndLinksParentsAndOwners)
{
    CLoaded doc(L"<r a=\"1\"><x b=\"2\">t<y/></x><!--c--></r>");
    CHXmlNode copy;
    copy.CopyFrom(doc.node);
    EXPECT_EQ(SerialiseForTest(copy), SerialiseForTest(doc.node));
    EXPECT_EQ(copy.GetParent(), doc.node.GetParent());
    const CHXmlNode& x = *copy.GetChildNodes()[0];
    EXPECT_EQ(x.GetParent(), &copy);
    EXPECT_EQ(x.GetChildNodes()[0]->GetParent(), &x);
    EXPECT_EQ(x.GetAttributes()[0]->GetOwner(), &x);
    EXPECT_EQ(copy.GetChildNodes()[1]->GetType(), HXML_NODE_COMMENT);

    // Copying a node's own descendant into it.
    CHXmlNode* pX = doc.node.GetChildNodes()[0].get();
    doc.node.CopyFrom(*pX);
    EXPECT_EQ(doc.node.GetName(), L"x");
    EXPECT_EQ(ChildNames(doc.node), (std::vector<std::wstring>{L"y"}));
    // The source's parent link would point at this very node: the own one stays.
    EXPECT_EQ(doc.node.GetParent(), nullptr);
}

TEST(CHXmlNode, CopyingACopyWhoseSourceTreeIsGoneNeverFollowsItsParentLink)
{
    // The first copy keeps the parent link of its source, which then dies and
    // its memory is reused: copying the copy must not walk that link.
    alignas(CHXmlNode) unsigned char storage[sizeof(CHXmlNode)];
    auto* pDoc = new (storage) CHXmlNode();
    CHXmlParseInfo info;
    pDoc->Load(L"<r><a k=\"v\"><b/></a></r>", info);
    CHXmlNode copy;
    copy.CopyFrom(*pDoc->GetChildNodes()[0]);
    EXPECT_EQ(copy.GetParent(), pDoc);
    pDoc->~CHXmlNode();
    std::memset(storage, 0xA5, sizeof(storage));

    CHXmlNode other;
    other.CopyFrom(copy);
    CHXmlNode root;
    root.AppendCopy(copy);
    EXPECT_EQ(SerialiseForTest(other), L"<a k=\"v\"><b></b></a>");
    EXPECT_EQ(SerialiseForTest(root), L"<><a k=\"v\"><b></b></a></>");
}

TEST(CHXmlNode, AppendCopyHangsACopyUnderThisNode)
{
    CLoaded doc(L"<x k=\"v\"><y/></x>");
    CHXmlNode root;
    root.SetName(L"root");
    CHXmlNode* pCopy = root.AppendCopy(doc.node);
    EXPECT_EQ(pCopy->GetParent(), &root);
    EXPECT_EQ(SerialiseForTest(root), L"<root><x k=\"v\"><y></y></x></root>");
}

TEST(CHXmlNode, ReloadingClearsChildrenAndAttributesButKeepsAValue)
{
    CHXmlNode node;
    CHXmlParseInfo info;
    std::wstring strFirst = L"<a k=\"1\">first<b/></a>";
    node.Load(strFirst.c_str(), info);
    std::wstring strSecond = L"<c>second</c>";
    node.Load(strSecond.c_str(), info);
    EXPECT_EQ(node.GetName(), L"c");
    EXPECT_TRUE(node.GetAttributes().empty());
    EXPECT_TRUE(node.GetChildNodes().empty());
    // The value is taken only while the node's value is blank.
    EXPECT_EQ(node.GetValue(), L"first");
}

TEST(CHXmlNode, ChildrenByNameAndTypeInheritance)
{
    CLoaded doc(L"<r><a i=\"1\"/><b/><a i=\"2\"><c/></a></r>");
    auto as = doc.node.GetChildren(L"a");
    ASSERT_EQ(as.size(), 2u);
    EXPECT_EQ(*as[1]->GetAttributeValue(L"i"), L"2");
    EXPECT_TRUE(doc.node.GetChildren(L"A").empty());
    EXPECT_EQ(as[1]->GetChildNodes()[0]->GetType(), HXML_NODE_ELEMENT);
}

TEST(CHXmlNode, LoadFromFileReadsTheTextAndLetsReadFailuresThrough)
{
    std::wstring strPath = UniqueTempPath(L"xml") + L".xml";
    WriteFileBytes(strPath, "\xEF\xBB\xBF<skin><string id=\"x\">\xC3\xA9t\xC3\xA9</string></skin>");
    CHXmlNode node;
    node.LoadFromFile(strPath);
    EXPECT_EQ(node.GetName(), L"skin");
    ASSERT_EQ(node.GetChildNodes().size(), 1u);
    EXPECT_EQ(node.GetChildNodes()[0]->GetValue(), L"\u00e9t\u00e9");
    ::DeleteFileW(strPath.c_str());

    CHException e = CatchThrown([&] { node.LoadFromFile(strPath); });
    EXPECT_TRUE(e.FindErrorCode(static_cast<int>(0x80070002), nullptr));
}

TEST(CHXmlNode, NodesAndAttributesKnowWhereTheyBeganAndCopiesKeepIt)
{
    CLoaded doc(L"<r>\n  <x a=\"1\"  b='2'/><!--c-->\n</r>");
    const CHXmlNode& x = *doc.node.GetChildNodes()[0];
    EXPECT_EQ(doc.node.GetSourceOffset(), 0u);
    EXPECT_EQ(x.GetSourceOffset(), doc.strText.find(L"<x"));
    EXPECT_EQ(x.GetAttribute(L"a")->GetSourceOffset(), doc.strText.find(L"a=\"1\""));
    EXPECT_EQ(x.GetAttribute(L"b")->GetSourceOffset(), doc.strText.find(L"b='2'"));
    EXPECT_EQ(doc.node.GetChildNodes()[1]->GetSourceOffset(), doc.strText.find(L"<!--"));

    CHXmlNode copy;
    copy.CopyFrom(x);
    EXPECT_EQ(copy.GetSourceOffset(), x.GetSourceOffset());
    EXPECT_EQ(copy.GetAttribute(L"b")->GetSourceOffset(), x.GetAttribute(L"b")->GetSourceOffset());
    EXPECT_EQ(doc.node.AppendChild(L"made", L"")->GetSourceOffset(), kNoSourceOffset);
}
