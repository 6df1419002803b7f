// Randomly damaged skin documents and paths through the XML reader. Whatever
// the text, Load must not throw, crash, hang or read past the text's
// terminating zero, and the tree it leaves must hold together; Find and
// CopyFrom must cope with any such tree.
//
// Every case is derived from a fixed seed, printed with any failure (and by
// the crash handler below when the process dies), so a failure replays.
#include <windows.h>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "RAde/HException.h"
#include "RAde/HXmlNode.h"
#include "RAde/HXmlPath.h"
#include "TestSupport.h"

namespace {

// ---------------------------------------------------------------------------
// A text that ends right before a page that cannot be read

class CGuardedText
{
public:
    explicit CGuardedText(size_t nMaxUnits)
    {
        SYSTEM_INFO si = {};
        ::GetSystemInfo(&si);
        m_nPage = si.dwPageSize;
        size_t nBytes = (nMaxUnits + 1) * sizeof(wchar_t);
        m_nUsable = (nBytes + m_nPage - 1) / m_nPage * m_nPage;
        m_pBase =
            static_cast<BYTE*>(::VirtualAlloc(nullptr, m_nUsable + m_nPage, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD dwOld = 0;
        if (!m_pBase || !::VirtualProtect(m_pBase + m_nUsable, m_nPage, PAGE_NOACCESS, &dwOld))
            throw CHException::FromLastError(HSITE);
    }
    ~CGuardedText() { ::VirtualFree(m_pBase, 0, MEM_RELEASE); }
    CGuardedText(const CGuardedText&) = delete;
    CGuardedText& operator=(const CGuardedText&) = delete;

    // Copies the text so that its terminating zero is the last unit before the guard page.
    const wchar_t* Place(const std::wstring& strText)
    {
        if ((strText.size() + 1) * sizeof(wchar_t) > m_nUsable)
            throw CHException(HError::BufferTooSmall, HSITE);
        auto* pEnd = reinterpret_cast<wchar_t*>(m_pBase + m_nUsable);
        wchar_t* pText = pEnd - (strText.size() + 1);
        std::memcpy(pText, strText.c_str(), (strText.size() + 1) * sizeof(wchar_t));
        return pText;
    }

    DWORD GuardProtection() const
    {
        MEMORY_BASIC_INFORMATION mbi = {};
        ::VirtualQuery(m_pBase + m_nUsable, &mbi, sizeof(mbi));
        return mbi.Protect;
    }

private:
    size_t m_nPage = 0;
    size_t m_nUsable = 0;
    BYTE* m_pBase = nullptr;
};

// ---------------------------------------------------------------------------
// Naming the case at hand when the process dies (a read of the guard page)

std::string g_strCurrentCase;

LONG WINAPI ReportCaseOnCrash(EXCEPTION_POINTERS* pInfo)
{
    std::string strReport = "\nXML fuzz case crashed (exception 0x";
    char szCode[16];
    std::snprintf(szCode, sizeof(szCode), "%08lx", pInfo->ExceptionRecord->ExceptionCode);
    strReport += szCode;
    strReport += "): " + g_strCurrentCase + "\n";
    DWORD dwDone = 0;
    ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), strReport.data(), static_cast<DWORD>(strReport.size()), &dwDone,
                nullptr);
    return EXCEPTION_CONTINUE_SEARCH;
}

class CCrashReport
{
public:
    CCrashReport() : m_pPrevious(::SetUnhandledExceptionFilter(ReportCaseOnCrash)) {}
    ~CCrashReport()
    {
        ::SetUnhandledExceptionFilter(m_pPrevious);
        g_strCurrentCase.clear();
    }
    CCrashReport(const CCrashReport&) = delete;
    CCrashReport& operator=(const CCrashReport&) = delete;

private:
    LPTOP_LEVEL_EXCEPTION_FILTER m_pPrevious;
};

// ---------------------------------------------------------------------------
// Documents and their mutations

const wchar_t kSkinDocument[] =
    L"<?xml version=\"1.0\" encoding=\"utf-16\"?>\r\n"
    L"<!-- Skin of the installer -->\r\n"
    L"<skin version='3'>\r\n"
    L"  <colors text=\"0x000000\" background=0xFFFFFF/>\r\n"
    L"  <forms>\r\n"
    L"    <form id=\"general\" image=\"bg.png\" width=\"480\" height=\"320\">\r\n"
    L"      <class id=\"general\" font=\"Segoe UI\" size=\"9\"/>\r\n"
    L"      <controls>\r\n"
    L"        <control id=\"ok\" type=\"button\" x=\"380\" y=\"280\" tooltip=\"Press &quot;OK&quot; &amp; go\"/>\r\n"
    L"        <control id='cancel' type='button' disabled x=290 y=280>Cancel</control>\r\n"
    L"        <!-- the progress bar is drawn by the dialog -->\r\n"
    L"        <control id=\"progress\" type=\"progress\"><![CDATA[<b>raw & kept</b>]]></control>\r\n"
    L"      </controls>\r\n"
    L"    </form>\r\n"
    L"    <form id=\"ids-deleting-files\" image=\"wait.png\">\r\n"
    L"      <controls><control id=\"text\" align=\"center\">Deleting &lt;files&gt; \u2026</control></controls>\r\n"
    L"    </form>\r\n"
    L"  </forms>\r\n"
    L"  <strings>\r\n"
    L"    <string id=\"ids-deleting-files\" lang=\"en\">Deleting temporary files&#8230;</string>\r\n"
    L"    <string id=\"ids-deleting-files\" lang=\"de\">Tempor\u00E4re Dateien werden gel\u00F6scht</string>\r\n"
    L"    <string id=\"ids-title\" lang=\"ja\">\u30A4\u30F3\u30B9\u30C8\u30FC\u30EB \U0001F4F1</string>\r\n"
    L"  </strings>\r\n"
    L"  <options><option id=\"shadow\" value=\"1\"/><option id=\"fade\" value=\"200\"/></options>\r\n"
    L"  <fontadjustment lang=\"ja\" id=\"general\" size=\"+1\"/>\r\n"
    L"  Trailing text &apos;here&apos;\r\n"
    L"</skin>\r\n";

const wchar_t* const kPaths[] = {
    L"forms/form[id=\"general\"]/controls/control[id=\"ok\"]",
    L"forms/form[id=\"GENERAL\"]/class[id=general]",
    L"strings/string[id=\"ids-deleting-files\"][lang=\"de\"]",
    L"options/option[id=\"fade\"]",
    L"fontadjustment[lang=\"ja\"][id=\"general\"]",
    L"/forms//form/controls/",
    L"forms/form[id=\"ids-deleting-files\"]/controls/control",
    L"",
};

size_t Pick(std::mt19937& rng, size_t nCount)
{
    return nCount == 0 ? 0 : rng() % nCount;
}

void InsertAt(std::mt19937& rng, std::wstring& strText, const std::wstring& strInsert)
{
    strText.insert(Pick(rng, strText.size() + 1), strInsert);
}

// One random change of the text; markupCharacters and snippets are what is inserted.
void Mutate(std::mt19937& rng, std::wstring& strText, const std::wstring& strMarkupCharacters,
            const std::vector<std::wstring>& snippets)
{
    switch (Pick(rng, 8)) {
    case 0:  // flip a bit of one code unit (lone surrogates and control characters included)
        if (!strText.empty())
            strText[Pick(rng, strText.size())] ^= static_cast<wchar_t>(1u << Pick(rng, 16));
        break;
    case 1: {  // delete a range
        size_t nPos = Pick(rng, strText.size() + 1);
        strText.erase(nPos, 1 + Pick(rng, 24));
        break;
    }
    case 2:  // insert markup characters
        for (size_t n = 1 + Pick(rng, 3); n > 0; --n)
            InsertAt(rng, strText, std::wstring(1, strMarkupCharacters[Pick(rng, strMarkupCharacters.size())]));
        break;
    case 3:  // insert a piece of markup
        InsertAt(rng, strText, snippets[Pick(rng, snippets.size())]);
        break;
    case 4:  // truncate
        strText.resize(Pick(rng, strText.size() + 1));
        break;
    case 5: {  // duplicate a range somewhere else
        size_t nPos = Pick(rng, strText.size() + 1);
        std::wstring strRange = strText.substr(nPos, 1 + Pick(rng, 200));
        InsertAt(rng, strText, strRange);
        break;
    }
    case 6: {  // replace one unit by a character that is, or nearly is, white space
        static const wchar_t kSpaces[] = {L' ', L'\t', L'\n', L'\v', L'\f', L'\r', 0x00A0, 0x3000, 0x0085};
        if (!strText.empty())
            strText[Pick(rng, strText.size())] = kSpaces[Pick(rng, std::size(kSpaces))];
        break;
    }
    default: {  // nest elements around the limit, sometimes closed again
        static const size_t kDepths[] = {10, 999, 1000, 1001, 1800};
        size_t nDepth = kDepths[Pick(rng, std::size(kDepths))];
        std::wstring strOpen, strClose;
        for (size_t i = 0; i < nDepth; ++i) {
            strOpen += L"<d>";
            strClose += L"</d>";
        }
        size_t nPos = Pick(rng, strText.size() + 1);
        if (Pick(rng, 2))
            strText.insert(nPos, strOpen + L"<!--deep-->" + strClose);
        else
            strText.insert(nPos, strOpen);
    }
    }
}

// A zero inside the text would end it early and hide a read past the real end.
void RemoveZeros(std::wstring& strText)
{
    for (wchar_t& ch : strText)
        if (ch == L'\0')
            ch = L'\x1';
}

// ---------------------------------------------------------------------------
// What must hold after any load

// Walks the tree without recursion, checking every link and node kind.
void CheckTree(const CHXmlNode& top)
{
    int nMaxElementDepth = 0;
    struct CLevel
    {
        const CHXmlNode* pNode;
        int nDepth;
    };
    std::vector<CLevel> pending{{&top, 1}};
    while (!pending.empty()) {
        CLevel level = pending.back();
        pending.pop_back();
        const CHXmlNode& node = *level.pNode;
        for (const auto& attribute : node.GetAttributes())
            EXPECT_EQ(attribute->GetOwner(), &node) << "attribute " << ::testing::PrintToString(attribute->GetName());
        switch (node.GetType()) {
        case HXML_NODE_ELEMENT:
            nMaxElementDepth = std::max(nMaxElementDepth, level.nDepth);
            break;
        case HXML_NODE_COMMENT:
        case HXML_NODE_CDATA:
            EXPECT_EQ(node.GetName(), node.GetType() == HXML_NODE_COMMENT ? L"#COMMENT" : L"#CDATA");
            EXPECT_TRUE(node.GetChildNodes().empty() && node.GetAttributes().empty());
            break;
        default:
            ADD_FAILURE() << "node type " << node.GetType();
        }
        for (const auto& child : node.GetChildNodes()) {
            EXPECT_EQ(child->GetParent(), &node) << "child " << ::testing::PrintToString(child->GetName());
            // A nameless node stood for an end tag, a comment or a CDATA section and is never kept.
            EXPECT_FALSE(child->GetName().empty());
            pending.push_back({child.get(), level.nDepth + 1});
        }
    }
    EXPECT_LE(nMaxElementDepth, CHXmlNode::MaxNestingDepth);
}

void CheckLoadResult(const wchar_t* pText, size_t nLength, const wchar_t* pResult, const CHXmlParseInfo& info)
{
    const wchar_t* pEnd = pText + nLength;
    if (pResult) {
        EXPECT_TRUE(pResult >= pText && pResult <= pEnd) << "returned offset " << (pResult - pText);
        EXPECT_FALSE(info.bErrorOccurred) << "a position was returned after error " << info.nErrorCode;
    }
    if (!info.bErrorOccurred) {
        EXPECT_EQ(info.nErrorCode, HXML_ERROR_NONE);
        return;
    }
    EXPECT_TRUE(info.nErrorCode >= HXML_ERROR_UNCLOSED_EMPTY_ELEMENT && info.nErrorCode <= HXML_ERROR_NESTING_TOO_DEEP)
        << "error code " << info.nErrorCode;
    EXPECT_FALSE(info.strErrorMessage.empty());
    ASSERT_TRUE(info.pErrorPosition >= pText && info.pErrorPosition <= pEnd)
        << "error offset " << (info.pErrorPosition - pText);
    // Each kind of error is found at the markup it is about.
    switch (info.nErrorCode) {
    case HXML_ERROR_UNCLOSED_EMPTY_ELEMENT:
        EXPECT_EQ(info.pErrorPosition[0], L'/');
        break;
    case HXML_ERROR_END_TAG_NOT_CLOSED:
    case HXML_ERROR_END_TAG_MISMATCH:
        EXPECT_TRUE(info.pErrorPosition[0] == L'<' && info.pErrorPosition[1] == L'/');
        break;
    case HXML_ERROR_NESTING_TOO_DEEP:
        EXPECT_EQ(info.pErrorPosition[0], L'<');
        break;
    }
}

bool IsWithin(const CHXmlNode* pNode, const CHXmlNode& top)
{
    for (; pNode; pNode = pNode->GetParent())
        if (pNode == &top)
            return true;
    return false;
}

int DepthBelow(const CHXmlNode* pNode, const CHXmlNode& top)
{
    int nDepth = 0;
    for (; pNode != &top; pNode = pNode->GetParent())
        ++nDepth;
    return nDepth;
}

// A found node lies one level below the start per step and satisfies the last step.
void CheckFind(const CHXmlNode& top, const std::wstring& strPath)
{
    SCOPED_TRACE(::testing::Message() << "path " << ::testing::PrintToString(strPath));
    CHXmlNode* pFound = nullptr;
    try {
        pFound = top.Find(strPath);
    } catch (CHException& e) {
        ADD_FAILURE() << "Find threw: " << ::testing::PrintToString(e.GetDescription(0));
        return;
    }
    if (!pFound)
        return;
    ASSERT_TRUE(IsWithin(pFound, top));
    CHXmlPath path(strPath);
    const auto& steps = path.GetSteps();
    ASSERT_EQ(static_cast<size_t>(DepthBelow(pFound, top)), steps.size());
    if (steps.empty())
        return;
    const CHXmlPathStep& last = steps.back();
    EXPECT_EQ(pFound->GetName(), last.strName);
    for (size_t i = 0; i < last.attributeNames.size(); ++i) {
        const std::wstring* pValue = pFound->GetAttributeValue(last.attributeNames[i].c_str());
        ASSERT_NE(pValue, nullptr);
        EXPECT_EQ(::CompareStringOrdinal(pValue->c_str(), -1, last.attributeValues[i].c_str(), -1, TRUE), CSTR_EQUAL);
    }
}

// The copy has the same shape and content, and its links point into the copy.
void CheckCopy(const CHXmlNode& top)
{
    CHXmlNode copy;
    copy.CopyFrom(top);
    EXPECT_EQ(copy.GetParent(), top.GetParent());
    std::vector<std::pair<const CHXmlNode*, const CHXmlNode*>> pending{{&top, &copy}};
    while (!pending.empty()) {
        auto [pOriginal, pCopy] = pending.back();
        pending.pop_back();
        ASSERT_EQ(pCopy->GetName(), pOriginal->GetName());
        ASSERT_EQ(pCopy->GetValue(), pOriginal->GetValue());
        ASSERT_EQ(pCopy->GetType(), pOriginal->GetType());
        ASSERT_EQ(pCopy->GetAttributes().size(), pOriginal->GetAttributes().size());
        for (size_t i = 0; i < pOriginal->GetAttributes().size(); ++i) {
            const CHXmlAttribute& original = *pOriginal->GetAttributes()[i];
            const CHXmlAttribute& copied = *pCopy->GetAttributes()[i];
            ASSERT_TRUE(copied.GetName() == original.GetName() && copied.GetValue() == original.GetValue());
            ASSERT_EQ(copied.GetOwner(), pCopy);
        }
        ASSERT_EQ(pCopy->GetChildNodes().size(), pOriginal->GetChildNodes().size());
        for (size_t i = 0; i < pOriginal->GetChildNodes().size(); ++i) {
            ASSERT_EQ(pCopy->GetChildNodes()[i]->GetParent(), pCopy);
            pending.emplace_back(pOriginal->GetChildNodes()[i].get(), pCopy->GetChildNodes()[i].get());
        }
    }
}

// A realistic path, mutated like the documents but with the characters of paths.
std::wstring MutatedPath(std::mt19937& rng)
{
    static const std::vector<std::wstring> kPathSnippets = {L"[", L"]", L"[id=\"", L"\"]", L"[id=x]", L"//", L"=\"\""};
    std::wstring strPath = kPaths[Pick(rng, std::size(kPaths))];
    for (size_t n = 1 + Pick(rng, 3); n > 0; --n) {
        std::wstring strBefore = strPath;
        Mutate(rng, strPath, L"/[]\"=' ", kPathSnippets);
        if (strPath.size() > 400)  // the nesting mutation is for documents
            strPath = strBefore;
    }
    return strPath;
}

// Loads one text placed before the guard page into top and checks everything
// above; returns the error code the load recorded.
int LoadAndCheck(CGuardedText& guarded, CHXmlNode& top, const std::wstring& strText, std::mt19937& rng)
{
    const wchar_t* pText = guarded.Place(strText);
    CHXmlParseInfo info;
    const wchar_t* pResult = nullptr;
    try {
        pResult = top.Load(pText, info);
    } catch (CHException& e) {
        ADD_FAILURE() << "Load threw: " << ::testing::PrintToString(e.GetDescription(0));
        return -1;
    }
    CheckLoadResult(pText, strText.size(), pResult, info);
    CheckTree(top);
    for (const wchar_t* pszPath : kPaths)
        CheckFind(top, pszPath);
    for (int i = 0; i < 4; ++i)
        CheckFind(top, MutatedPath(rng));
    CheckCopy(top);
    return info.nErrorCode;
}

const std::wstring kMarkupCharacters = L"<>/\"'=[&!?-";
const std::vector<std::wstring> kMarkupSnippets = {
    L"<",     L"</",  L"/>", L"<!--", L"-->", L"<![CDATA[", L"]]>",  L"<?",        L"?>",          L"<!",
    L"&amp;", L"&lt", L"&",  L"=\"",  L"\"",  L"<x a='",    L"<a b", L"<control ", L"</controls>", L"</ d>",
};

}  // namespace

TEST(CHXmlFuzz, GuardPageFollowsThePlacedText)
{
    CGuardedText guarded(100);
    const wchar_t* pText = guarded.Place(L"<a/>");
    EXPECT_EQ(guarded.GuardProtection(), static_cast<DWORD>(PAGE_NOACCESS));
    // The terminating zero is the last readable unit.
    MEMORY_BASIC_INFORMATION mbi = {};
    ::VirtualQuery(pText + 5, &mbi, sizeof(mbi));
    EXPECT_EQ(mbi.Protect, static_cast<DWORD>(PAGE_NOACCESS));
    ::VirtualQuery(pText + 4, &mbi, sizeof(mbi));
    EXPECT_EQ(mbi.Protect, static_cast<DWORD>(PAGE_READWRITE));
}

TEST(CHXmlFuzz, ChecksDetectBrokenInvariants)
{
    // A fuzz run that passes proves something only if its checks can fail.
    const wchar_t szText[] = L"<r/>";
    CHXmlParseInfo info;
    EXPECT_NONFATAL_FAILURE(CheckLoadResult(szText, 4, szText + 5, info), "returned offset 5");
    info.bErrorOccurred = true;
    info.nErrorCode = 9;
    info.pErrorPosition = szText;
    info.strErrorMessage = L"x";
    EXPECT_NONFATAL_FAILURE(CheckLoadResult(szText, 4, nullptr, info), "error code 9");

    // A copy made of an inner node keeps that node's parent link, so hung under
    // another node it points at the wrong parent.
    CHXmlNode document;
    CHXmlParseInfo loadInfo;
    document.Load(L"<r><a/></r>", loadInfo);
    CHXmlNode holder;
    holder.AppendChild(L"x", L"")->CopyFrom(*document.GetChildNodes()[0]);
    EXPECT_NONFATAL_FAILURE(CheckTree(holder), "child L\"a\"");
}

TEST(CHXmlFuzz, MutatedSkinDocumentsLoadWithoutFaultsAndHoldTogether)
{
    CCrashReport crashReport;
    CGuardedText guarded(1 << 20);
    CHXmlNode top;  // reused: every load clears what the last one built
    const std::wstring strSkin = kSkinDocument;
    constexpr unsigned kFirstSeed = 20240611;
    constexpr unsigned kCases = 6000;

    std::array<size_t, HXML_ERROR_NESTING_TOO_DEEP + 1> casesByError = {};
    auto start = std::chrono::steady_clock::now();
    for (unsigned nSeed = kFirstSeed; nSeed < kFirstSeed + kCases; ++nSeed) {
        SCOPED_TRACE(::testing::Message() << "seed " << nSeed);
        g_strCurrentCase = "seed " + std::to_string(nSeed);
        std::mt19937 rng(nSeed);
        std::wstring strText = strSkin;
        for (size_t n = 1 + Pick(rng, 6); n > 0; --n)
            Mutate(rng, strText, kMarkupCharacters, kMarkupSnippets);
        RemoveZeros(strText);

        int nError = LoadAndCheck(guarded, top, strText, rng);
        if (::testing::Test::HasFailure())
            break;  // one replayable seed is enough
        ++casesByError.at(static_cast<size_t>(nError));
    }
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    std::printf("%u cases in %.2f s; by error code 0..5:", kCases, elapsed.count());
    for (size_t nCount : casesByError)
        std::printf(" %u", static_cast<unsigned>(nCount));
    std::printf("\n");
    // The mutations must reach every kind of error, and leave some documents intact,
    // or the run proves less than it seems to.
    for (size_t nCode = 0; nCode < casesByError.size(); ++nCode)
        EXPECT_GT(casesByError[nCode], 0u) << "no case ended with error code " << nCode;
}

TEST(CHXmlFuzz, EveryPrefixOfTheSkinDocumentLoadsWithoutFaults)
{
    // Truncation at every position: each unfinished construct meets the end of the text.
    CCrashReport crashReport;
    CGuardedText guarded(4096);
    CHXmlNode top;
    const std::wstring strSkin = kSkinDocument;
    std::mt19937 rng(7);
    for (size_t nLength = 0; nLength <= strSkin.size(); ++nLength) {
        SCOPED_TRACE(::testing::Message() << "prefix of " << nLength << " units");
        g_strCurrentCase = "prefix of " + std::to_string(nLength) + " units";
        LoadAndCheck(guarded, top, strSkin.substr(0, nLength), rng);
        if (::testing::Test::HasFailure())
            break;
    }
}

TEST(CHXmlFuzz, ShortRandomMarkupLoadsWithoutFaults)
{
    // Short texts made only of markup pieces reach the corners that a damaged
    // document rarely does: openers and closers meeting the end of the text.
    static const wchar_t* const kPieces[] = {
        L"<", L">", L"/",   L"\"",      L"'",   L"=",    L" ",       L"\t",     L"\n",     L"a",
        L"b", L"&", L"lt;", L"amp;",    L"!--", L"--",   L"[CDATA[", L"]]",     L"?",      L"!",
        L"-", L"[", L"]",   L"x=\"1\"", L"/>",  L"</a>", L"<a>",     L"\u3000", L"\xD800",
    };
    CCrashReport crashReport;
    CGuardedText guarded(4096);
    CHXmlNode top;
    constexpr unsigned kFirstSeed = 77000;
    constexpr unsigned kCases = 10000;
    for (unsigned nSeed = kFirstSeed; nSeed < kFirstSeed + kCases; ++nSeed) {
        SCOPED_TRACE(::testing::Message() << "seed " << nSeed);
        g_strCurrentCase = "markup seed " + std::to_string(nSeed);
        std::mt19937 rng(nSeed);
        std::wstring strText;
        for (size_t n = Pick(rng, 24); n > 0; --n)
            strText += kPieces[Pick(rng, std::size(kPieces))];
        LoadAndCheck(guarded, top, strText, rng);
        if (::testing::Test::HasFailure())
            break;
    }
}
