#include "RAde/HXmlNode.h"

#include <cwchar>
#include <cwctype>
#include <string_view>
#include <utility>

#include "RAde/HException.h"
#include "RAde/HFileUtilities.h"
#include "RAde/HStringHelper.h"
#include "RAde/HXmlPath.h"

namespace {

// White space of the markup scanner; characters above 255 never are.
bool IsMarkupSpace(wchar_t ch)
{
    return ch == L' ' || ch == L'\t' || ch == L'\n' || ch == L'\v' || ch == L'\f' || ch == L'\r';
}

const wchar_t* SkipMarkupSpace(const wchar_t* p)
{
    while (IsMarkupSpace(*p))
        ++p;
    return p;
}

// The first occurrence of any of the characters, or the end of the text.
const wchar_t* FindAnyOrEnd(const wchar_t* p, const wchar_t* pszCharacters)
{
    const wchar_t* pFound = std::wcspbrk(p, pszCharacters);
    return pFound ? pFound : p + std::wcslen(p);
}

// Compares an ASCII opener ignoring case; never reads past the text's end.
bool StartsWithNoCase(const wchar_t* p, const wchar_t* pszOpener)
{
    for (; *pszOpener; ++p, ++pszOpener)
        if (std::towlower(*p) != std::towlower(*pszOpener))
            return false;
    return true;
}

// An element value counts as blank when nothing but white space is left.
bool IsBlank(const std::wstring& strValue)
{
    for (wchar_t ch : strValue)
        if (!std::iswspace(ch))
            return false;
    return true;
}

struct CSkippedMarkup
{
    const wchar_t* pszOpener;
    const wchar_t* pszCloser;
    const wchar_t* pszNodeName;  // null: dropped, never kept as a node
    DWORD dwNodeType;
};

constexpr CSkippedMarkup kSkippedMarkup[] = {
    {L"<?", L"?>", nullptr, 0},
    {L"<!--", L"-->", L"#COMMENT", HXML_NODE_COMMENT},
    {L"<![CDATA[", L"]]>", L"#CDATA", HXML_NODE_CDATA},
};

}  // namespace

// The recursive descent over one text. Keeps the parse settings and the
// first-error record; knows the tree's private parts.
class CHXmlNode::CParser
{
public:
    CParser(CHXmlParseInfo& info, const wchar_t* pszText) : m_info(info), m_pszText(pszText) {}

    const wchar_t* LoadElement(CHXmlNode& node, const wchar_t* p, int nDepth);

private:
    const wchar_t* ParseAttributes(CHXmlNode& node, const wchar_t* p);
    const wchar_t* ParseContent(CHXmlNode& node, const wchar_t* p, int nDepth);
    const wchar_t* ParseEndTag(CHXmlNode& node, const wchar_t* p);
    std::wstring MakeText(const wchar_t* pBegin, const wchar_t* pEnd) const;
    void TakeValueIfBlank(CHXmlNode& node, const wchar_t* p) const;
    void RecordError(int nCode, const wchar_t* pPosition, std::wstring strMessage);

    size_t OffsetOf(const wchar_t* p) const { return static_cast<size_t>(p - m_pszText); }

    CHXmlParseInfo& m_info;
    const wchar_t* m_pszText;  // where offsets count from
};

void CHXmlNode::CParser::RecordError(int nCode, const wchar_t* pPosition, std::wstring strMessage)
{
    if (m_info.bErrorOccurred)
        return;
    m_info.bErrorOccurred = true;
    m_info.nErrorCode = nCode;
    m_info.pErrorPosition = pPosition;
    m_info.strErrorMessage = std::move(strMessage);
}

std::wstring CHXmlNode::CParser::MakeText(const wchar_t* pBegin, const wchar_t* pEnd) const
{
    std::wstring_view text(pBegin, static_cast<size_t>(pEnd - pBegin));
    if (m_info.bTrimText) {
        while (!text.empty() && std::iswspace(text.front()))
            text.remove_prefix(1);
        while (!text.empty() && std::iswspace(text.back()))
            text.remove_suffix(1);
    }
    if (m_info.bDecodeEntities && m_info.pEntities)
        return m_info.pEntities->Decode(text);
    return std::wstring(text);
}

// An element's value is its first non-blank run of character data.
void CHXmlNode::CParser::TakeValueIfBlank(CHXmlNode& node, const wchar_t* p) const
{
    if (!IsBlank(node.m_strValue))
        return;
    const wchar_t* pEnd = FindAnyOrEnd(p, L"<");
    if (pEnd > p)
        node.m_strValue = MakeText(p, pEnd);
}

const wchar_t* CHXmlNode::CParser::LoadElement(CHXmlNode& node, const wchar_t* p, int nDepth)
{
    node.Clear();

    // Text before the first markup is ignored; so are declarations, and
    // comments and CDATA sections outside any element. Inside an element they
    // become nodes of that element, and this node stays nameless.
    const wchar_t* pOpen;
    for (;;) {
        pOpen = std::wcschr(p, L'<');
        if (!pOpen)
            return nullptr;
        if (pOpen[1] == L'/')
            return pOpen;  // the end tag of an enclosing element
        const CSkippedMarkup* pSkipped = nullptr;
        for (const CSkippedMarkup& markup : kSkippedMarkup) {
            if (StartsWithNoCase(pOpen, markup.pszOpener)) {
                pSkipped = &markup;
                break;
            }
        }
        if (!pSkipped)
            break;
        const wchar_t* pContent = pOpen + std::wcslen(pSkipped->pszOpener);
        const wchar_t* pCloser = std::wcsstr(pContent, pSkipped->pszCloser);
        if (!pCloser)
            return nullptr;
        p = pCloser + std::wcslen(pSkipped->pszCloser);
        if (pSkipped->pszNodeName && node.m_pParent) {
            auto markupNode = std::make_unique<CHXmlNode>();
            markupNode->m_strName = pSkipped->pszNodeName;
            markupNode->m_strValue.assign(pContent, pCloser);
            markupNode->m_dwType = pSkipped->dwNodeType;
            markupNode->m_pParent = node.m_pParent;
            markupNode->m_nSourceOffset = OffsetOf(pOpen);
            node.m_pParent->AdoptChild(std::move(markupNode));
            return p;
        }
    }

    if (nDepth > MaxNestingDepth) {
        RecordError(HXML_ERROR_NESTING_TOO_DEEP, pOpen, L"Element nesting too deep.");
        return nullptr;
    }

    const wchar_t* pName = pOpen + 1;
    const wchar_t* pNameEnd = FindAnyOrEnd(pName, L" />\t\r\n");
    node.m_strName.assign(pName, pNameEnd);
    node.m_nSourceOffset = OffsetOf(pOpen);

    p = ParseAttributes(node, pNameEnd);
    if (!p)
        return nullptr;
    if (*p == L'/') {
        if (p[1] == L'>')
            return p + 2;
        RecordError(HXML_ERROR_UNCLOSED_EMPTY_ELEMENT, p, L"Element must be closed.");
        return nullptr;
    }
    ++p;  // past ">"
    TakeValueIfBlank(node, p);
    return ParseContent(node, p, nDepth);
}

// Returns the position of the ">" or "/" that ends the start tag, or null.
const wchar_t* CHXmlNode::CParser::ParseAttributes(CHXmlNode& node, const wchar_t* p)
{
    for (;;) {
        if (!*p)
            return nullptr;
        p = SkipMarkupSpace(p);
        if (*p == L'>' || *p == L'/')
            return p;

        const wchar_t* pNameEnd = std::wcspbrk(p, L" =");
        if (!pNameEnd) {
            RecordError(HXML_ERROR_BAD_ATTRIBUTE, p,
                        CHStringHelper::Format(L"<%s> attribute has error ", node.m_strName.c_str()));
            return nullptr;
        }
        CHXmlAttribute* pAttribute = node.AppendAttribute(std::wstring(p, pNameEnd), std::wstring());
        pAttribute->SetSourceOffset(OffsetOf(p));
        p = SkipMarkupSpace(pNameEnd);
        if (*p != L'=')
            continue;  // an attribute without a value

        p = SkipMarkupSpace(p + 1);
        if (*p == L'"' || *p == L'\'') {
            const wchar_t* pValue = p + 1;
            const wchar_t* pQuote = std::wcschr(pValue, *p);
            if (!pQuote) {
                pAttribute->SetValue(MakeText(pValue, pValue + std::wcslen(pValue)));
                return nullptr;
            }
            pAttribute->SetValue(MakeText(pValue, pQuote));
            p = pQuote + 1;
        } else {
            const wchar_t* pValueEnd = FindAnyOrEnd(p, L" >");
            pAttribute->SetValue(MakeText(p, pValueEnd));
            p = pValueEnd;
        }
    }
}

const wchar_t* CHXmlNode::CParser::ParseContent(CHXmlNode& node, const wchar_t* p, int nDepth)
{
    while (*p) {
        auto child = std::make_unique<CHXmlNode>();
        child->m_pParent = &node;
        child->m_dwType = node.m_dwType;
        const wchar_t* pNext = LoadElement(*child, p, nDepth + 1);
        // A nameless child stood for a comment, a CDATA section or an end tag.
        if (!child->m_strName.empty())
            node.AdoptChild(std::move(child));
        if (!pNext)
            return nullptr;
        p = pNext;
        if (p[0] == L'<' && p[1] == L'/')
            return ParseEndTag(node, p);
        if (*p != L'<')
            TakeValueIfBlank(node, p);
    }
    // An element left open at the end of the text is accepted.
    return p;
}

const wchar_t* CHXmlNode::CParser::ParseEndTag(CHXmlNode& node, const wchar_t* p)
{
    const wchar_t* pName = SkipMarkupSpace(p + 2);
    const wchar_t* pNameEnd = std::wcspbrk(pName, L" >");
    if (!pNameEnd) {
        RecordError(HXML_ERROR_END_TAG_NOT_CLOSED, p,
                    CHStringHelper::Format(L"it must be closed with </%s>", node.m_strName.c_str()));
        return nullptr;
    }
    std::wstring_view endName(pName, static_cast<size_t>(pNameEnd - pName));
    if (endName == node.m_strName || !m_info.bStrictNesting)
        return pNameEnd + 1;
    RecordError(HXML_ERROR_END_TAG_MISMATCH, p,
                CHStringHelper::Format(L"'<%s> ... </%s>' is not wel-formed.", node.m_strName.c_str(),
                                       std::wstring(endName).c_str()));
    return nullptr;
}

// ---------------------------------------------------------------------------

CHXmlNode::~CHXmlNode()
{
    Clear();
}

const wchar_t* CHXmlNode::Load(const wchar_t* pszText, CHXmlParseInfo& info)
{
    HTRY {
        if (!pszText)
            throw CHException(HError::InvalidParameter, HSITE);
        return CParser(info, pszText).LoadElement(*this, pszText, 1);
    } HCATCH
}

void CHXmlNode::LoadFromFile(const std::wstring& strPath)
{
    HTRY {
        std::wstring strText = CHFileUtilities::ReadTextFile(strPath, HTEXT_ENCODING_ANSI);
        CHXmlParseInfo info;
        Load(strText.c_str(), info);
    } HCATCH
}

void CHXmlNode::Clear()
{
    // Iterative, so no depth of tree can exhaust the stack: every node is
    // emptied of its children before it is destroyed.
    std::vector<std::unique_ptr<CHXmlNode>> pending = std::move(m_children);
    m_children.clear();
    m_attributes.clear();
    while (!pending.empty()) {
        std::unique_ptr<CHXmlNode> node = std::move(pending.back());
        pending.pop_back();
        for (auto& child : node->m_children)
            pending.push_back(std::move(child));
        node->m_children.clear();
    }
}

CHXmlAttribute* CHXmlNode::GetAttribute(const wchar_t* pszName) const
{
    HTRY {
        if (!pszName)
            throw CHException::FromHResult(E_FAIL, HSITE);
        for (const auto& attribute : m_attributes)
            if (attribute->GetName() == pszName)
                return attribute.get();
        return nullptr;
    } HCATCH
}

const std::wstring* CHXmlNode::GetAttributeValue(const wchar_t* pszName) const
{
    HTRY {
        const CHXmlAttribute* pAttribute = GetAttribute(pszName);
        return pAttribute ? &pAttribute->GetValue() : nullptr;
    } HCATCH
}

std::vector<CHXmlNode*> CHXmlNode::GetChildren(const wchar_t* pszName) const
{
    HTRY {
        if (!pszName)
            throw CHException::FromHResult(E_FAIL, HSITE);
        std::vector<CHXmlNode*> matches;
        for (const auto& child : m_children)
            if (child->m_strName == pszName)
                matches.push_back(child.get());
        return matches;
    } HCATCH
}

CHXmlNode* CHXmlNode::AdoptChild(std::unique_ptr<CHXmlNode> child)
{
    m_children.push_back(std::move(child));
    return m_children.back().get();
}

CHXmlNode* CHXmlNode::AppendChild(const std::wstring& strName, const std::wstring& strValue)
{
    HTRY {
        auto child = std::make_unique<CHXmlNode>();
        child->m_strName = strName;
        child->m_strValue = strValue;
        child->m_pParent = this;
        return AdoptChild(std::move(child));
    } HCATCH
}

CHXmlAttribute* CHXmlNode::AppendAttribute(const std::wstring& strName, const std::wstring& strValue)
{
    HTRY {
        m_attributes.push_back(std::make_unique<CHXmlAttribute>(strName, strValue, this));
        return m_attributes.back().get();
    } HCATCH
}

bool CHXmlNode::Contains(const CHXmlNode& node) const
{
    // Searched downwards: a parent link (copied from another tree) may point
    // at a node that no longer exists.
    std::vector<const CHXmlNode*> pending{this};
    while (!pending.empty()) {
        const CHXmlNode* pNode = pending.back();
        pending.pop_back();
        if (pNode == &node)
            return true;
        for (const auto& child : pNode->m_children)
            pending.push_back(child.get());
    }
    return false;
}

void CHXmlNode::CopyShallowFrom(const CHXmlNode& other)
{
    m_strName = other.m_strName;
    m_strValue = other.m_strValue;
    m_dwType = other.m_dwType;
    m_nSourceOffset = other.m_nSourceOffset;
    for (const auto& attribute : other.m_attributes)
        AppendAttribute(attribute->GetName(), attribute->GetValue())->SetSourceOffset(attribute->GetSourceOffset());
}

void CHXmlNode::CopyFrom(const CHXmlNode& other)
{
    HTRY {
        if (&other == this)
            return;
        // Built aside first, since other may lie inside this node. Iterative,
        // like Clear: pairs of (source, copy) whose children are still to copy.
        CHXmlNode copy;
        copy.CopyShallowFrom(other);
        std::vector<std::pair<const CHXmlNode*, CHXmlNode*>> pending{{&other, &copy}};
        while (!pending.empty()) {
            auto [pSource, pCopy] = pending.back();
            pending.pop_back();
            for (const auto& sourceChild : pSource->m_children) {
                auto childCopy = std::make_unique<CHXmlNode>();
                childCopy->CopyShallowFrom(*sourceChild);
                childCopy->m_pParent = pCopy;
                pending.emplace_back(sourceChild.get(), pCopy->AdoptChild(std::move(childCopy)));
            }
        }

        // The parent link comes with the copy, unless it points into the tree
        // this copy replaces.
        CHXmlNode* pParent = Contains(other) ? m_pParent : other.m_pParent;
        Clear();
        CopyShallowFrom(copy);
        m_pParent = pParent;
        m_children = std::move(copy.m_children);
        for (auto& child : m_children)
            child->m_pParent = this;
    } HCATCH
}

CHXmlNode* CHXmlNode::AppendCopy(const CHXmlNode& other)
{
    HTRY {
        auto node = std::make_unique<CHXmlNode>();
        node->CopyFrom(other);
        node->m_pParent = this;
        return AdoptChild(std::move(node));
    } HCATCH
}

CHXmlNode* CHXmlNode::Find(const std::wstring& strPath) const
{
    HTRY {
        return Find(CHXmlPath(strPath));
    } HCATCH
}

CHXmlNode* CHXmlNode::Find(const CHXmlPath& path) const
{
    HTRY {
        const CHXmlNode* pCurrent = this;
        for (const CHXmlPathStep& step : path.GetSteps()) {
            const CHXmlNode* pMatch = nullptr;
            for (const auto& child : pCurrent->m_children) {
                if (step.strName.empty() || child->m_strName != step.strName)
                    continue;
                bool bAllMatch = true;
                for (size_t i = 0; i < step.attributeNames.size() && bAllMatch; ++i) {
                    const std::wstring* pValue = child->GetAttributeValue(step.attributeNames[i].c_str());
                    bAllMatch = pValue && ::CompareStringOrdinal(pValue->c_str(), static_cast<int>(pValue->size()),
                                                                 step.attributeValues[i].c_str(),
                                                                 static_cast<int>(step.attributeValues[i].size()),
                                                                 TRUE) == CSTR_EQUAL;
                }
                if (bAllMatch) {
                    pMatch = child.get();
                    break;
                }
            }
            if (!pMatch)
                return nullptr;  // no backtracking into later siblings
            pCurrent = pMatch;
        }
        return const_cast<CHXmlNode*>(pCurrent);
    } HCATCH
}
