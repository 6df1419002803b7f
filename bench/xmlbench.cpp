// xmlbench: how long CHXmlNode::Load takes for skin-like documents of about
// 100 KB, 1 MB and 10 MB, and how long Find takes on realistic paths.
//
// Sizes are those of the UTF-16 text in memory (code units x 2 bytes);
// KB and MB are 1024 and 1024 x 1024 bytes. Each figure is the best of
// several runs. Loading should grow linearly: the 10 MB load should take at
// most 12 times the 1 MB load. The program prints the figures; it judges nothing.
#include <windows.h>

#include "BenchSupport.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "RAde/HException.h"
#include "RAde/HXmlNode.h"

namespace {

// ---------------------------------------------------------------------------
// A generated skin

struct CSkinDocument
{
    std::wstring strText;
    size_t nForms = 0;
};

std::wstring Number(size_t n)
{
    return std::to_wstring(n);
}

std::wstring FormBlock(size_t nForm)
{
    std::wstring strId = Number(nForm);
    std::wstring strBlock = L"    <form id=\"form" + strId + L"\" image=\"form" + strId +
                            L".png\" width=\"480\" height=\"320\">\r\n"
                            L"      <!-- form " +
                            strId +
                            L": buttons, a text and its options -->\r\n"
                            L"      <class id=\"general\" font=\"Segoe UI\" size=\"9\"/>\r\n"
                            L"      <controls>\r\n";
    for (size_t nControl = 0; nControl < 8; ++nControl) {
        std::wstring strControl = Number(nControl);
        strBlock += L"        <control id=\"ctl" + strId + L"_" + strControl + L"\" type=\"button\" x=\"" +
                    Number(10 + 60 * nControl) + L"\" y=\"280\" image=\"btn" + strControl +
                    L".png\" tooltip=\"Press &quot;" + strControl + L"&quot; &amp; continue\"/>\r\n";
    }
    strBlock += L"        <control id=\"txt" + strId + L"\" type=\"static\">Step " + strId +
                L" &lt;of many&gt; \u2013 please wait</control>\r\n"
                L"      </controls>\r\n"
                L"    </form>\r\n";
    return strBlock;
}

std::wstring StringBlock(size_t nForm)
{
    static const wchar_t* const kLanguages[][2] = {
        {L"en", L"Deleting temporary files &amp; folders"},
        {L"de", L"Tempor\u00E4re Dateien &amp; Ordner werden gel\u00F6scht"},
        {L"ja", L"\u4E00\u6642\u30D5\u30A1\u30A4\u30EB\u3092\u524A\u9664\u3057\u3066\u3044\u307E\u3059"},
    };
    std::wstring strBlock;
    for (const auto& language : kLanguages)
        strBlock += L"    <string id=\"ids-" + Number(nForm) + L"\" lang=\"" + language[0] + L"\">" + language[1] +
                    L" (" + Number(nForm) + L")</string>\r\n";
    return strBlock;
}

std::wstring OptionBlock(size_t nForm)
{
    return L"    <option id=\"opt-" + Number(nForm) + L"\" value=\"" + Number(nForm * 7) + L"\"/>\r\n";
}

// Forms with controls, localised strings and options, grown until the text
// reaches the size asked for.
CSkinDocument MakeSkinDocument(size_t nTargetBytes)
{
    const std::wstring strHead = L"<?xml version=\"1.0\" encoding=\"utf-16\"?>\r\n"
                                 L"<!-- Skin generated for the load benchmark -->\r\n"
                                 L"<skin version=\"3\">\r\n"
                                 L"  <colors text=\"0x000000\" background=\"0xFFFFFF\"/>\r\n";
    const std::wstring strTail = L"  <fontadjustment lang=\"ja\" id=\"general\" size=\"+1\"/>\r\n"
                                 L"  Text after the sections &apos;is dropped&apos;\r\n"
                                 L"</skin>\r\n";
    std::wstring strForms, strStrings, strOptions;
    CSkinDocument document;
    auto nBytes = [&] {
        return (strHead.size() + strTail.size() + strForms.size() + strStrings.size() + strOptions.size() + 100) *
               sizeof(wchar_t);
    };
    while (nBytes() < nTargetBytes) {
        strForms += FormBlock(document.nForms);
        strStrings += StringBlock(document.nForms);
        strOptions += OptionBlock(document.nForms);
        ++document.nForms;
    }
    document.strText = strHead + L"  <forms>\r\n" + strForms + L"  </forms>\r\n  <strings>\r\n" + strStrings +
                       L"  </strings>\r\n  <options>\r\n" + strOptions + L"  </options>\r\n" + strTail;
    return document;
}

size_t CountNodes(const CHXmlNode& top)
{
    size_t nNodes = 0;
    std::vector<const CHXmlNode*> pending{&top};
    while (!pending.empty()) {
        const CHXmlNode* pNode = pending.back();
        pending.pop_back();
        ++nNodes;
        for (const auto& child : pNode->GetChildNodes())
            pending.push_back(child.get());
    }
    return nNodes;
}

struct CLoadTiming
{
    double dLoad = 1e300;  // best, seconds
    double dFree = 1e300;  // destroying the tree, best, seconds
    size_t nNodes = 0;
    bool bError = false;
};

// Each run loads into a fresh node, so the time is the parse alone; freeing
// the tree is timed on its own.
CLoadTiming TimeLoad(const std::wstring& strText, int nRuns)
{
    CLoadTiming timing;
    for (int nRun = 0; nRun < nRuns; ++nRun) {
        auto top = std::make_unique<CHXmlNode>();
        CHXmlParseInfo info;
        LONGLONG nStart = Now();
        const wchar_t* pEnd = top->Load(strText.c_str(), info);
        LONGLONG nLoaded = Now();
        timing.bError = timing.bError || info.bErrorOccurred || !pEnd;
        timing.nNodes = CountNodes(*top);
        LONGLONG nFreeStart = Now();
        top.reset();
        LONGLONG nFreed = Now();
        timing.dLoad = std::min(timing.dLoad, Seconds(nLoaded - nStart));
        timing.dFree = std::min(timing.dFree, Seconds(nFreed - nFreeStart));
    }
    return timing;
}

// Microseconds per Find, the best of several batches.
double TimeFind(const CHXmlNode& top, const std::wstring& strPath, bool& bFound)
{
    bFound = top.Find(strPath) != nullptr;
    double dBest = 1e300;
    for (int nBatch = 0; nBatch < 5; ++nBatch) {
        constexpr int kPerBatch = 200;
        LONGLONG nStart = Now();
        for (int i = 0; i < kPerBatch; ++i)
            top.Find(strPath);
        dBest = std::min(dBest, Seconds(Now() - nStart) / kPerBatch);
    }
    return dBest * 1e6;
}

struct CSize
{
    const char* pszLabel;
    size_t nBytes;
    int nRuns;
};

const CSize kSizes[] = {
    {"100 KB", 100 * 1024, 30},
    {"1 MB", 1024 * 1024, 10},
    {"10 MB", 10 * 1024 * 1024, 5},
};

void Run()
{
    HTRY {
        std::vector<CSkinDocument> documents;
        std::vector<CLoadTiming> timings;
        std::printf("CHXmlNode::Load (best of n runs; size = UTF-16 code units x 2)\n\n");
        std::printf("%-8s %12s %9s %5s %11s %9s %11s\n", "document", "bytes", "nodes", "runs", "load ms", "MB/s",
                    "free ms");
        for (const CSize& size : kSizes) {
            documents.push_back(MakeSkinDocument(size.nBytes));
            const std::wstring& strText = documents.back().strText;
            CLoadTiming timing = TimeLoad(strText, size.nRuns);
            timings.push_back(timing);
            double dBytes = static_cast<double>(strText.size() * sizeof(wchar_t));
            std::printf("%-8s %12.0f %9u %5d %11.3f %9.1f %11.3f%s\n", size.pszLabel, dBytes,
                        static_cast<unsigned>(timing.nNodes), size.nRuns, timing.dLoad * 1e3,
                        dBytes / (1024.0 * 1024.0) / timing.dLoad, timing.dFree * 1e3,
                        timing.bError ? "  (parse error!)" : "");
        }
        std::printf("\nload 1 MB / 100 KB: %.2f (size ratio %.2f)\n", timings[1].dLoad / timings[0].dLoad,
                    static_cast<double>(documents[1].strText.size()) / documents[0].strText.size());
        std::printf("load 10 MB / 1 MB:  %.2f (size ratio %.2f; at most 12 wanted)\n",
                    timings[2].dLoad / timings[1].dLoad,
                    static_cast<double>(documents[2].strText.size()) / documents[1].strText.size());

        std::printf("\nCHXmlNode::Find, microseconds per call (best of 5 x 200)\n\n");
        std::printf("%-72s", "path");
        for (const CSize& size : kSizes)
            std::printf(" %10s", size.pszLabel);
        std::printf("\n");
        // Paths as the skin reader uses them; the ids are picked per document
        // (first form, middle form, last form) so every path finds its node.
        struct CPathPattern
        {
            const char* pszLabel;
            std::wstring (*make)(size_t nForms);
        };
        static const CPathPattern kPatterns[] = {
            {"forms/form[id=\"form<mid>\"]/controls/control[id=\"ctl<mid>_7\"]",
             [](size_t n) {
                 std::wstring strMid = Number(n / 2);
                 return L"forms/form[id=\"form" + strMid + L"\"]/controls/control[id=\"ctl" + strMid + L"_7\"]";
             }},
            {"forms/form[id=\"form0\"]/class[id=general]",
             [](size_t) { return std::wstring(L"forms/form[id=\"form0\"]/class[id=general]"); }},
            {"strings/string[id=\"ids-<last>\"][lang=\"ja\"]",
             [](size_t n) { return L"strings/string[id=\"ids-" + Number(n - 1) + L"\"][lang=\"ja\"]"; }},
            {"options/option[id=\"opt-<last>\"]",
             [](size_t n) { return L"options/option[id=\"opt-" + Number(n - 1) + L"\"]"; }},
            {"fontadjustment[lang=\"ja\"][id=\"general\"]",
             [](size_t) { return std::wstring(L"fontadjustment[lang=\"ja\"][id=\"general\"]"); }},
            {"forms/form[id=\"missing\"]/controls (not found)",
             [](size_t) { return std::wstring(L"forms/form[id=\"missing\"]/controls"); }},
        };
        std::vector<std::unique_ptr<CHXmlNode>> trees;
        for (const CSkinDocument& document : documents) {
            trees.push_back(std::make_unique<CHXmlNode>());
            CHXmlParseInfo info;
            trees.back()->Load(document.strText.c_str(), info);
        }
        for (const CPathPattern& pattern : kPatterns) {
            std::printf("%-72s", pattern.pszLabel);
            for (size_t i = 0; i < documents.size(); ++i) {
                bool bFound = false;
                double dMicroseconds = TimeFind(*trees[i], pattern.make(documents[i].nForms), bFound);
                std::printf(" %9.2f%s", dMicroseconds, bFound ? " " : "-");
            }
            std::printf("\n");
        }
        std::printf("(\"-\" after a figure: the path found nothing)\n");
    } HCATCH
}

}  // namespace

int wmain()
{
    try {
        Run();
        return 0;
    } catch (CHException& e) {
        std::fwprintf(stderr, L"%ls\n", e.GetDescription(0).c_str());
        return 1;
    }
}
