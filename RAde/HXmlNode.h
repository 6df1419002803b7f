// A small, forgiving XML reader: a tree of CHXmlNode objects built from wide
// text, and slash-separated path queries over it.
//
// It is not validating. It reads elements, attributes, text, comments, CDATA
// sections and declarations, keeps the first structural error it meets in
// the parse info, and leaves every node built before that error in the tree.
// It never throws for malformed text.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "RAde/HXmlEntityTable.h"

class CHXmlNode;
class CHXmlPath;

// Where a node or attribute began in the text it was loaded from, in UTF-16
// code units from the text's start; kNoSourceOffset for one built by hand.
constexpr size_t kNoSourceOffset = static_cast<size_t>(-1);

class CHXmlAttribute
{
public:
    CHXmlAttribute(std::wstring strName, std::wstring strValue, CHXmlNode* pOwner)
        : m_strName(std::move(strName)), m_strValue(std::move(strValue)), m_pOwner(pOwner)
    {
    }

    const std::wstring& GetName() const { return m_strName; }
    const std::wstring& GetValue() const { return m_strValue; }
    CHXmlNode* GetOwner() const { return m_pOwner; }
    void SetValue(std::wstring strValue) { m_strValue = std::move(strValue); }
    size_t GetSourceOffset() const { return m_nSourceOffset; }
    void SetSourceOffset(size_t nOffset) { m_nSourceOffset = nOffset; }

private:
    std::wstring m_strName;
    std::wstring m_strValue;
    CHXmlNode* m_pOwner;
    size_t m_nSourceOffset = kNoSourceOffset;
};

// Error codes of a parse.
enum : int
{
    HXML_ERROR_NONE = 0,
    HXML_ERROR_UNCLOSED_EMPTY_ELEMENT = 1,
    HXML_ERROR_END_TAG_NOT_CLOSED = 2,
    HXML_ERROR_END_TAG_MISMATCH = 3,
    HXML_ERROR_BAD_ATTRIBUTE = 4,
    HXML_ERROR_NESTING_TOO_DEEP = 5,
};

// The settings of one parse and the record of its first error.
struct CHXmlParseInfo
{
    bool bTrimText = false;
    bool bDecodeEntities = true;
    const CHXmlEntityTable* pEntities = &DefaultEntities;
    bool bStrictNesting = true;

    bool bErrorOccurred = false;
    const wchar_t* pErrorPosition = nullptr;
    int nErrorCode = HXML_ERROR_NONE;
    std::wstring strErrorMessage;
};

// Node types.
enum : DWORD
{
    HXML_NODE_ELEMENT = 0,
    HXML_NODE_COMMENT = 2,
    HXML_NODE_CDATA = 3,
};

class CHXmlNode
{
public:
    // Elements nested deeper than this are refused with HXML_ERROR_NESTING_TOO_DEEP,
    // so neither parsing nor any other walk of a loaded tree can exhaust the stack.
    static constexpr int MaxNestingDepth = 1000;

    CHXmlNode() = default;
    CHXmlNode(const CHXmlNode&) = delete;
    CHXmlNode& operator=(const CHXmlNode&) = delete;
    ~CHXmlNode();

    // Parses zero-terminated text into this node. Returns the position just
    // after what was consumed, or null on an error or an unfinished text
    // (the error, if any, is in info).
    const wchar_t* Load(const wchar_t* pszText, CHXmlParseInfo& info);
    // Reads the whole file as text (ANSI code page when it has no byte-order
    // mark) and loads it; the parse result is dropped. Read failures throw.
    void LoadFromFile(const std::wstring& strPath);

    // Deletes all children and attributes; name and value stay.
    void Clear();

    const std::wstring& GetName() const { return m_strName; }
    const std::wstring& GetValue() const { return m_strValue; }
    DWORD GetType() const { return m_dwType; }
    CHXmlNode* GetParent() const { return m_pParent; }
    // The position of the node's "<" in the loaded text (a checker's line and column).
    size_t GetSourceOffset() const { return m_nSourceOffset; }
    void SetName(std::wstring strName) { m_strName = std::move(strName); }
    void SetValue(std::wstring strValue) { m_strValue = std::move(strValue); }
    void SetType(DWORD dwType) { m_dwType = dwType; }

    const std::vector<std::unique_ptr<CHXmlNode>>& GetChildNodes() const { return m_children; }
    const std::vector<std::unique_ptr<CHXmlAttribute>>& GetAttributes() const { return m_attributes; }

    // The first attribute of that exact name, or null.
    CHXmlAttribute* GetAttribute(const wchar_t* pszName) const;
    // Its value, or null.
    const std::wstring* GetAttributeValue(const wchar_t* pszName) const;
    // The children of that exact name, in document order.
    std::vector<CHXmlNode*> GetChildren(const wchar_t* pszName) const;

    CHXmlNode* AppendChild(const std::wstring& strName, const std::wstring& strValue);
    CHXmlAttribute* AppendAttribute(const std::wstring& strName, const std::wstring& strValue);
    // Makes this node a deep copy of other, parent link included (unless other
    // lies inside this node, whose own parent then stays).
    void CopyFrom(const CHXmlNode& other);
    // Appends a deep copy of other as the last child.
    CHXmlNode* AppendCopy(const CHXmlNode& other);

    // The node the path selects below this node, or null.
    CHXmlNode* Find(const std::wstring& strPath) const;
    CHXmlNode* Find(const CHXmlPath& path) const;

private:
    class CParser;

    CHXmlNode* AdoptChild(std::unique_ptr<CHXmlNode> child);
    void CopyShallowFrom(const CHXmlNode& other);
    // Whether node is this node or lies below it.
    bool Contains(const CHXmlNode& node) const;

    std::wstring m_strName;
    std::wstring m_strValue;
    CHXmlNode* m_pParent = nullptr;
    std::vector<std::unique_ptr<CHXmlNode>> m_children;
    std::vector<std::unique_ptr<CHXmlAttribute>> m_attributes;
    DWORD m_dwType = HXML_NODE_ELEMENT;
    size_t m_nSourceOffset = kNoSourceOffset;
};
