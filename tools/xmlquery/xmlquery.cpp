// xmlquery FILE [PATH]
//
// Shows a skin author how the core library reads an XML file: the first parse
// error it records and the tree it builds (or the node PATH selects in it),
// as one line of JSON on standard output, in UTF-8:
//
//   {"error": null | {"code": N, "message": "...", "offset": N},
//    "node": null | {"name": "...", "value": "...", "type": N,
//                    "attributes": [["name", "value"], ...], "children": [NODE, ...]}}
//
// The offset counts UTF-16 code units from the start of the text. The file is
// read exactly as CHXmlNode::LoadFromFile reads it. Exit code 0 when the file
// was read (even if it does not parse), 1 when it could not be read or the
// usage was wrong; the reason then goes to standard error.
#include <windows.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "RAde/HException.h"
#include "RAde/HFileUtilities.h"
#include "RAde/HXmlNode.h"

namespace {

// ---------------------------------------------------------------------------
// UTF-8 and JSON text

struct CCodePoint
{
    char32_t cp;
    size_t nUnits;   // code units taken from the text
    bool bUnpaired;  // a lone surrogate: cp is the surrogate itself
};

CCodePoint ReadCodePoint(std::wstring_view text, size_t nPos)
{
    char32_t ch = text[nPos];
    if (ch >= 0xD800 && ch <= 0xDBFF && nPos + 1 < text.size()) {
        char32_t chLow = text[nPos + 1];
        if (chLow >= 0xDC00 && chLow <= 0xDFFF)
            return {0x10000 + ((ch - 0xD800) << 10) + (chLow - 0xDC00), 2, false};
    }
    return {ch, 1, ch >= 0xD800 && ch <= 0xDFFF};
}

void AppendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Plain UTF-8 for messages; a lone surrogate becomes U+FFFD.
std::string ToUtf8(std::wstring_view text)
{
    std::string out;
    for (size_t nPos = 0; nPos < text.size();) {
        CCodePoint point = ReadCodePoint(text, nPos);
        AppendUtf8(out, point.bUnpaired ? 0xFFFD : point.cp);
        nPos += point.nUnits;
    }
    return out;
}

void AppendUnicodeEscape(std::string& out, char32_t unit)
{
    static const char kHex[] = "0123456789abcdef";
    out += "\\u";
    for (int nShift = 12; nShift >= 0; nShift -= 4)
        out += kHex[(unit >> nShift) & 0xF];
}

// A JSON string literal. A lone surrogate, which UTF-8 cannot carry, is kept
// as a \u escape, so the output stays valid JSON and valid UTF-8 whatever
// the text holds.
void AppendJsonString(std::string& out, std::wstring_view text)
{
    out += '"';
    for (size_t nPos = 0; nPos < text.size();) {
        CCodePoint point = ReadCodePoint(text, nPos);
        nPos += point.nUnits;
        switch (point.cp) {
        case U'"':
            out += "\\\"";
            break;
        case U'\\':
            out += "\\\\";
            break;
        case U'\n':
            out += "\\n";
            break;
        case U'\r':
            out += "\\r";
            break;
        case U'\t':
            out += "\\t";
            break;
        case U'\b':
            out += "\\b";
            break;
        case U'\f':
            out += "\\f";
            break;
        default:
            if (point.bUnpaired || point.cp < 0x20)
                AppendUnicodeEscape(out, point.cp);
            else
                AppendUtf8(out, point.cp);
        }
    }
    out += '"';
}

// ---------------------------------------------------------------------------
// The document as JSON

// Everything of a node up to the opening of its children's list.
void AppendNodeOpening(std::string& out, const CHXmlNode& node)
{
    out += "{\"name\": ";
    AppendJsonString(out, node.GetName());
    out += ", \"value\": ";
    AppendJsonString(out, node.GetValue());
    out += ", \"type\": " + std::to_string(node.GetType()) + ", \"attributes\": [";
    bool bFirst = true;
    for (const auto& attribute : node.GetAttributes()) {
        out += bFirst ? "[" : ", [";
        bFirst = false;
        AppendJsonString(out, attribute->GetName());
        out += ", ";
        AppendJsonString(out, attribute->GetValue());
        out += "]";
    }
    out += "], \"children\": [";
}

// Walks the tree with a stack of its own rather than recursion: a document
// may nest elements a thousand levels deep.
void AppendNode(std::string& out, const CHXmlNode& top)
{
    struct CLevel
    {
        const CHXmlNode* pNode;
        size_t nNextChild;
    };
    std::vector<CLevel> levels{{&top, 0}};
    AppendNodeOpening(out, top);
    while (!levels.empty()) {
        CLevel& level = levels.back();
        const auto& children = level.pNode->GetChildNodes();
        if (level.nNextChild == children.size()) {
            out += "]}";
            levels.pop_back();
            continue;
        }
        if (level.nNextChild > 0)
            out += ", ";
        const CHXmlNode& child = *children[level.nNextChild++];
        AppendNodeOpening(out, child);
        levels.push_back({&child, 0});
    }
}

void AppendError(std::string& out, const CHXmlParseInfo& info, const wchar_t* pszText)
{
    if (!info.bErrorOccurred) {
        out += "null";
        return;
    }
    out += "{\"code\": " + std::to_string(info.nErrorCode) + ", \"message\": ";
    AppendJsonString(out, info.strErrorMessage);
    out += ", \"offset\": " + std::to_string(info.pErrorPosition - pszText) + "}";
}

// ---------------------------------------------------------------------------
// The program

void WriteAll(DWORD dwStdHandle, const std::string& bytes)
{
    HTRY {
        // Written as bytes to the handle itself: no text-mode line-end translation.
        HANDLE hOut = ::GetStdHandle(dwStdHandle);
        size_t nWritten = 0;
        while (nWritten < bytes.size()) {
            DWORD dwChunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - nWritten, 1u << 20));
            DWORD dwDone = 0;
            HCHECK_WIN32(::WriteFile(hOut, bytes.data() + nWritten, dwChunk, &dwDone, nullptr));
            nWritten += dwDone;
        }
    } HCATCH
}

std::string QueryAsJson(const std::wstring& strFile, const wchar_t* pszPath)
{
    HTRY {
        // As CHXmlNode::LoadFromFile reads it, but keeping the text and the error record.
        std::wstring strText = CHFileUtilities::ReadTextFile(strFile, HTEXT_ENCODING_ANSI);
        CHXmlNode top;
        CHXmlParseInfo info;
        top.Load(strText.c_str(), info);
        const CHXmlNode* pNode = pszPath ? top.Find(pszPath) : &top;

        std::string out = "{\"error\": ";
        AppendError(out, info, strText.c_str());
        out += ", \"node\": ";
        if (pNode)
            AppendNode(out, *pNode);
        else
            out += "null";
        out += "}\n";
        return out;
    } HCATCH
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2 && argc != 3) {
        static const char kUsage[] = "usage: xmlquery FILE [PATH]\n";
        DWORD dwDone = 0;
        ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), kUsage, sizeof(kUsage) - 1, &dwDone, nullptr);
        return 1;
    }
    try {
        WriteAll(STD_OUTPUT_HANDLE, QueryAsJson(argv[1], argc == 3 ? argv[2] : nullptr));
        return 0;
    } catch (CHException& e) {
        try {
            WriteAll(STD_ERROR_HANDLE, ToUtf8(e.GetDescription(CHException::DescribeNewest)));
        } catch (...) {
            // Nowhere left to report to.
        }
        return 1;
    }
}
