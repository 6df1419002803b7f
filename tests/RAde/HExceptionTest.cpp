// The exception's trail, its renderings, and the catch idiom's conversions.
#include <windows.h>
#include <comdef.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "RAde/HException.h"
#include "RAde/HLogging.h"
#include "TestSupport.h"

namespace {

// Three levels of methods, the innermost failing with a library error.
struct CThreeLevels
{
    static void Inner()
    {
        HTRY {
            throw CHException(HError::InvalidParameter, HSITE).AddValue(L"File", L"C:\\x.txt");
        } HCATCH
    }
    static void Middle()
    {
        HTRY {
            Inner();
        } HCATCH
    }
    static void Outer()
    {
        HTRY {
            Middle();
        } HCATCH
    }
};

std::wstring EntryChild(const CHException& e, size_t nEntry, const wchar_t* pszChild)
{
    auto entries = e.GetXml().GetChildren(L"errorentry");
    if (nEntry >= entries.size())
        return L"<no entry>";
    auto children = entries[nEntry]->GetChildren(pszChild);
    return children.empty() ? L"<none>" : children.front()->GetValue();
}

template <class Thrower>
CHException CatchThroughIdiom(Thrower thrower)
{
    try {
        HTRY {
            thrower();
        } HCATCH
    } catch (CHException& e) {
        return e;
    }
    ADD_FAILURE() << "nothing was thrown";
    return CHException();
}

}  // namespace

TEST(CHException, TrailOfThreeLevelsHasTheFailureAndOneStackEntryPerMethod)
{
    CHException caught = CatchThrown([] { CThreeLevels::Outer(); });

    EXPECT_EQ(ErrorCodesOf(caught), (std::vector<int>{1010, 1005, 1005, 1005}));
    EXPECT_EQ(caught.GetDescription(0), L"Invalid function parameter.\n\tFile:\tC:\\x.txt\n");

    // Newest first; the throw point and the first handler share function and
    // file but not the line, so both show.
    std::wstring strTrace = caught.GetStackTrace();
    size_t nOuter = strTrace.find(L"CThreeLevels::Outer");
    size_t nMiddle = strTrace.find(L"CThreeLevels::Middle");
    size_t nInner = strTrace.find(L"CThreeLevels::Inner");
    ASSERT_NE(nOuter, std::wstring::npos) << strTrace;
    EXPECT_LT(nOuter, nMiddle);
    EXPECT_LT(nMiddle, nInner);
    EXPECT_NE(strTrace.find(L"CThreeLevels::Inner", nInner + 1), std::wstring::npos) << strTrace;
    EXPECT_TRUE(strTrace.starts_with(L"Stack trace:\n\t")) << strTrace;
    EXPECT_TRUE(strTrace.ends_with(L"\n"));
    EXPECT_EQ(EntryChild(caught, 0, L"sourcefile"), L"tests/RAde/HExceptionTest.cpp");
    EXPECT_EQ(EntryChild(caught, 3, L"sourcefunction"), L"{anonymous}::CThreeLevels::Outer");
}

TEST(CHException, DescriptionFlagsSelectEntriesCodesAndTrace)
{
    CHException e(L"first", 5, HSITE);
    e.AddEntry(L"second", -2147024891, HSITE).AddValue(L"Name", L"v");
    e.AddEntry(L"", 1005, HSITE);

    EXPECT_EQ(e.GetDescription(0), L"second\n\tName:\tv\n");
    EXPECT_EQ(e.GetDescription(1), L"second\n\tName:\tv\nfirst\n");
    EXPECT_EQ(e.GetDescription(4), L"second\n\terrorcode:\t-2147024891\n\tName:\tv\n");
    EXPECT_EQ(e.GetDescription(2), L"second\n\tName:\tv\n\n" + e.GetStackTrace());
    EXPECT_EQ(e.GetDescription(7),
              L"second\n\terrorcode:\t-2147024891\n\tName:\tv\nfirst\n\terrorcode:\t5\n\n" + e.GetStackTrace());
}

TEST(CHException, StackTraceCollapsesRepeatedLocationsAndNamesMissingOnes)
{
    CHException e;
    EXPECT_EQ(e.GetStackTrace(), L"Stack trace:\n");

    e.AddEntry(L"no location", 1);
    CHSourceSite site{"f.cpp", 7, "void Fn()"};
    e.AddEntry(L"Stacktrace.", 1005, site);
    e.AddEntry(L"Stacktrace.", 1005, site);
    EXPECT_EQ(e.GetStackTrace(), L"Stack trace:\n\tf.cpp(7) : Fn\n\tUnknown file(Unknown line) : Unknown function\n");
}

TEST(CHException, AddValueSanitisesNamesAndSkipsStackEntries)
{
    CHException e(L"d", 1, HSITE);
    e.AddValue(L"Registry key", L"HKCU\\x");
    e.AddValue(L"a<b&c", L"1");
    e.AddValue(L"Flags", 255, true);
    e.AddValue(L"Count", -3, false);
    e.AddEntry(HError::StackTrace, HSITE);
    e.AddValue(L"Late", L"goes to the failure entry");

    EXPECT_EQ(EntryChild(e, 0, L"Registrykey"), L"HKCU\\x");
    EXPECT_EQ(EntryChild(e, 0, L"abc"), L"1");
    EXPECT_EQ(EntryChild(e, 0, L"Flags"), L"0xFF");
    EXPECT_EQ(EntryChild(e, 0, L"Count"), L"-3");
    EXPECT_EQ(EntryChild(e, 0, L"Late"), L"goes to the failure entry");
    EXPECT_EQ(EntryChild(e, 1, L"Late"), L"<none>");

    CHException onlyStack;
    onlyStack.AddEntry(L"Stacktrace.", 1005);
    onlyStack.AddValue(L"x", L"y");
    EXPECT_EQ(onlyStack.GetXml().GetChildren(L"errorentry").front()->GetChildNodes().size(), 2u);
}

TEST(CHException, DescriptionDoublesPercentSigns)
{
    CHException e(L"100% sure", 1, HSITE);
    EXPECT_EQ(e.GetDescription(0), L"100%% sure\n");
}

TEST(CHException, FindErrorCodeAndFacilityCopyTheFirstMatchingEntry)
{
    CHException e(L"access", static_cast<int>(0x80070005), HSITE);
    e.AddEntry(HError::DeleteFileFailed, HSITE).AddValue(L"File", L"f");
    e.AddEntry(HError::StackTrace, HSITE);

    CHException found(L"old", 1, HSITE);
    ASSERT_TRUE(e.FindFacility(7, &found));
    EXPECT_EQ(ErrorCodesOf(found), (std::vector<int>{static_cast<int>(0x80070005)}));
    EXPECT_EQ(found.GetDescription(0), L"access\n");

    ASSERT_TRUE(e.FindErrorCode(2012, &found));
    EXPECT_EQ(found.GetDescription(0), L"Failed to delete file.\n\tFile:\tf\n");
    EXPECT_TRUE(e.FindErrorCode(1005, nullptr));

    CHException untouched(L"keep", 9, HSITE);
    EXPECT_FALSE(e.FindErrorCode(42, &untouched));
    EXPECT_FALSE(e.FindFacility(4, &untouched));
    EXPECT_FALSE(CHException().FindErrorCode(0, &untouched));
    EXPECT_EQ(untouched.GetDescription(0), L"keep\n");
}

TEST(CHException, CopiesAreDeepAndIndependent)
{
    CHException original(L"a", 1, HSITE);
    CHException copy(original);
    copy.AddEntry(L"b", 2);
    original.AddValue(L"only", L"original");

    EXPECT_EQ(ErrorCodesOf(original), (std::vector<int>{1}));
    EXPECT_EQ(ErrorCodesOf(copy), (std::vector<int>{1, 2}));
    EXPECT_EQ(EntryChild(copy, 0, L"only"), L"<none>");

    copy = original;
    EXPECT_EQ(copy.GetDescription(1), original.GetDescription(1));
    copy = copy;
    EXPECT_EQ(ErrorCodesOf(copy), (std::vector<int>{1}));
}

TEST(CHException, ComErrorCarryingASerialisedExceptionBecomesThatException)
{
    CHException original = CatchThrown([] { CThreeLevels::Outer(); });
    std::wstring strXml = SerialiseForTest(original.GetXml());

    ICreateErrorInfo* pCreate = nullptr;
    ASSERT_EQ(::CreateErrorInfo(&pCreate), S_OK);
    pCreate->SetDescription(const_cast<LPOLESTR>(strXml.c_str()));
    pCreate->SetHelpFile(const_cast<LPOLESTR>(L"ignored.hlp"));
    IErrorInfo* pInfo = nullptr;
    pCreate->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&pInfo));
    pCreate->Release();

    CHException converted(_com_error(static_cast<HRESULT>(0x80045D53), pInfo, false));
    EXPECT_EQ(ErrorCodesOf(converted), ErrorCodesOf(original));
    EXPECT_EQ(converted.GetDescription(7), original.GetDescription(7));
    EXPECT_EQ(EntryChild(converted, 1, L"sourcefile"), L"tests/RAde/HExceptionTest.cpp");
}

TEST(CHException, ComErrorTakesItsDescriptionOrTheSystemText)
{
    ICreateErrorInfo* pCreate = nullptr;
    ASSERT_EQ(::CreateErrorInfo(&pCreate), S_OK);
    pCreate->SetDescription(const_cast<LPOLESTR>(L"The component failed."));
    pCreate->SetHelpFile(const_cast<LPOLESTR>(L"help.chm"));
    IErrorInfo* pInfo = nullptr;
    pCreate->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&pInfo));
    pCreate->Release();

    CHException described(_com_error(E_ACCESSDENIED, pInfo, false));
    EXPECT_EQ(described.GetDescription(4), L"The component failed.\n\terrorcode:\t-2147024891\n");
    // The help file is kept as the entry's source file, so the trail names it.
    EXPECT_EQ(EntryChild(described, 0, L"sourcefile"), L"help.chm");
    EXPECT_EQ(described.GetStackTrace(), L"Stack trace:\n\thelp.chm(Unknown line) : Unknown function\n");

    _com_error plain(E_ACCESSDENIED);
    CHException fromSystem(plain);
    EXPECT_EQ(fromSystem.GetDescription(0), std::wstring(plain.ErrorMessage()) + L"\n");

    // No system text: the COM error's own wording for dispatch codes.
    CHException dispatch(_com_error(static_cast<HRESULT>(0x80040205)));
    EXPECT_EQ(dispatch.GetDescription(0), L"IDispatch error #5\n");
}

TEST(CHException, CatchIdiomConvertsEveryKindOfThrownValue)
{
    CHException fromStd = CatchThroughIdiom([] { throw std::runtime_error("disk on fire"); });
    EXPECT_EQ(ErrorCodesOf(fromStd), (std::vector<int>{1002}));
    EXPECT_EQ(fromStd.GetDescription(0), L"std exception caught: disk on fire\n");

    CHException fromChar = CatchThroughIdiom([] { throw "narrow"; });
    EXPECT_EQ(fromChar.GetDescription(0), L"char* exception caught: narrow\n");
    EXPECT_EQ(ErrorCodesOf(fromChar), (std::vector<int>{1003}));

    CHException fromWide = CatchThroughIdiom([] { throw L"wide"; });
    EXPECT_EQ(fromWide.GetDescription(0), L"wchar_t* exception caught: wide\n");
    EXPECT_EQ(ErrorCodesOf(fromWide), (std::vector<int>{1004}));

    CHException fromInt = CatchThroughIdiom([] { throw 42; });
    EXPECT_EQ(fromInt.GetDescription(0), L"Unhandled exception caught (Possibly caused by access violation)\n");

    CHException fromFramework = CatchThroughIdiom([] { throw CHFrameworkError(E_NOTIMPL); });
    EXPECT_EQ(ErrorCodesOf(fromFramework), (std::vector<int>{1001}));

    // A COM error gets an empty stack entry after its own.
    CHException fromCom = CatchThroughIdiom([] { throw _com_error(E_ACCESSDENIED); });
    EXPECT_EQ(ErrorCodesOf(fromCom), (std::vector<int>{static_cast<int>(0x80070005), 1005}));
    EXPECT_EQ(EntryChild(fromCom, 1, L"description"), L"");
}

// Code that knows only the standard exceptions sees the whole description,
// and the idiom still takes the library's own exception as itself rather
// than as a standard one (no 1002 entry).
TEST(CHException, StandardHandlersSeeTheDescriptionAndTheIdiomKeepsItsOwnKind)
{
    CHException trail =
        CatchThroughIdiom([] { throw CHException(L"Ünïcode text", 0x1234, HSITE).AddValue(L"File", L"C:\\x.txt"); });
    EXPECT_EQ(ErrorCodesOf(trail), (std::vector<int>{0x1234, 1005}));

    try {
        throw trail;
    } catch (const std::exception& e) {
        const std::string strWhat = e.what();
        const std::wstring strDescription = trail.GetDescription(7);
        std::string strExpected(strDescription.size() * 3, '\0');
        strExpected.resize(static_cast<size_t>(
            ::WideCharToMultiByte(CP_UTF8, 0, strDescription.data(), static_cast<int>(strDescription.size()),
                                  strExpected.data(), static_cast<int>(strExpected.size()), nullptr, nullptr)));
        EXPECT_EQ(strWhat, strExpected);
        EXPECT_NE(strWhat.find("\xC3\x9C"), std::string::npos) << "UTF-8 of the first letter";
        EXPECT_NE(strWhat.find("C:\\x.txt"), std::string::npos);
    }

    // A later entry shows in the next call.
    trail.AddEntry(L"later", 7);
    EXPECT_NE(std::string(static_cast<const std::exception&>(trail).what()).find("later"), std::string::npos);
}

TEST(CHException, ValueAttachingIdiomAddsTheInputsAndTwoStackLines)
{
    auto attaching = [](const std::wstring& strPath) {
        HTRY {
            HTRY {
                throw CHException::FromWin32Error(ERROR_ACCESS_DENIED, HSITE);
            } HCATCH
        } HCATCH_ATTACH([&](CHException& e) {
            e.AddEntry(HError::CreateDirectoryFailed);
            e.AddValue(L"Directory", strPath);
        })
    };
    CHException caught = CatchThrown([&] { attaching(L"C:\\d"); });

    EXPECT_EQ(ErrorCodesOf(caught), (std::vector<int>{static_cast<int>(0x80070005), 1005, 2001, 1005}));
    EXPECT_EQ(caught.GetDescription(0), L"Failed to create directory.\n\tDirectory:\tC:\\d\n");
    EXPECT_EQ(caught.GetDescription(1),
              L"Failed to create directory.\n\tDirectory:\tC:\\d\n" + GetErrorMessageText(ERROR_ACCESS_DENIED) + L"\n");
    EXPECT_NE(EntryChild(caught, 1, L"sourceline"), EntryChild(caught, 3, L"sourceline"));
}

TEST(CHException, SwallowingIdiomLogsTwoWarningsAndReturns)
{
    CLogCapture capture;
    struct CFailingDestructor
    {
        ~CFailingDestructor()
        {
            HTRY {
                throw CHException(HError::FileNotOpen, HSITE);
            } HCATCH_LOG
        }
    };
    {
        CFailingDestructor failing;
    }

    ASSERT_EQ(capture.Messages().size(), 2u);
    EXPECT_EQ(capture.Levels(), (std::vector<int>{HLOG_WARNING, HLOG_WARNING}));
    EXPECT_TRUE(capture.Messages()[0].starts_with(L"Exception caught in ")) << capture.Messages()[0];
    EXPECT_NE(capture.Messages()[0].find(L"CFailingDestructor::~CFailingDestructor (tests/RAde/HExceptionTest.cpp : "),
              std::wstring::npos)
        << capture.Messages()[0];
    EXPECT_TRUE(capture.Messages()[1].starts_with(L"File not open.\n\terrorcode:\t2006\n")) << capture.Messages()[1];
}

TEST(CHException, LoggingInternalIdiomNeverLetsAnythingOut)
{
    auto loggingFunction = []() -> bool {
        HTRY {
            throw std::runtime_error("x");
        } HCATCH_LOGGING_INTERNAL
        return false;
    };
    EXPECT_FALSE(loggingFunction());
}

TEST(CHException, Win32AndCRuntimeFailuresCarrySystemTexts)
{
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    CHException fromLast = CHException::FromLastError(HSITE);
    EXPECT_EQ(ErrorCodesOf(fromLast), (std::vector<int>{static_cast<int>(0x80070002)}));
    EXPECT_EQ(fromLast.GetDescription(0), GetErrorMessageText(ERROR_FILE_NOT_FOUND) + L"\n");

    wchar_t szExpected[1024];
    _wcserror_s(szExpected, 1024, ENOENT);
    EXPECT_EQ(CHException::FromErrno(ENOENT, HSITE).GetDescription(4),
              std::wstring(szExpected) + L"\n\terrorcode:\t2\n");
}

TEST(CHException, BoundaryCheckThrowsTheLastErrorWithItsValuesOnlyWhenTheResultIsFalse)
{
    int nTailsApplied = 0;
    const auto countTail = [&]() -> const wchar_t* {
        ++nTailsApplied;
        return L"C:\\missing.txt";
    };
    HCHECK_WIN32(TRUE, .AddValue(L"File", countTail()));
    HCHECK_WIN32(::GetCurrentProcess());
    EXPECT_EQ(nTailsApplied, 0);

    ::SetLastError(ERROR_PATH_NOT_FOUND);
    const CHException checked = CatchThrown([&] { HCHECK_WIN32(FALSE, .AddValue(L"File", countTail())); });
    EXPECT_EQ(nTailsApplied, 1);
    EXPECT_EQ(ErrorCodesOf(checked), (std::vector<int>{static_cast<int>(0x80070003)}));
    EXPECT_EQ(EntryChild(checked, 0, L"File"), L"C:\\missing.txt");
    ::SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(ErrorCodesOf(CatchThrown([] { HCHECK_WIN32(static_cast<HWND>(nullptr)); })),
              (std::vector<int>{static_cast<int>(0x80070005)}));
}

TEST(GetErrorMessageText, MatchesTheSystemTableAndNamesUnknownNumbers)
{
    wchar_t szSystem[512] = {};
    ASSERT_GT(::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_ACCESS_DENIED,
                               0x400, szSystem, 512, nullptr),
              0u);
    std::wstring strSystem = szSystem;
    while (!strSystem.empty() && iswspace(strSystem.back()))
        strSystem.pop_back();
    EXPECT_EQ(GetErrorMessageText(ERROR_ACCESS_DENIED), strSystem);

    EXPECT_EQ(GetErrorMessageText(0x2F0F0F0F), L"Unable to format error message from error number 789516047");
    EXPECT_EQ(HResultFromWin32(5), static_cast<HRESULT>(0x80070005));
    EXPECT_EQ(HResultFromWin32(0), 0);
}

TEST(CHSourceSite, FunctionNameIsTheQualifiedNameWithTemplateArguments)
{
    auto name = [](const char* pszSignature) { return CHSourceSite{"f", 1, pszSignature}.FunctionName(); };
    EXPECT_EQ(name("static std::vector<std::__cxx11::basic_string<wchar_t> > CHStringHelper::TokenizeString("
                   "const std::wstring&, const wchar_t*)"),
              L"CHStringHelper::TokenizeString");
    EXPECT_EQ(name("virtual CHBufMalloc::~CHBufMalloc()"), L"CHBufMalloc::~CHBufMalloc");
    EXPECT_EQ(name("CHBufMalloc::CHBufMalloc(ULONGLONG)"), L"CHBufMalloc::CHBufMalloc");
    EXPECT_EQ(name("LRESULT CHDialog<T>::OnInitDialog(UINT, WPARAM, LPARAM, BOOL&) [with T = CHWaitDialog; "
                   "LRESULT = long long int]"),
              L"CHDialog<CHWaitDialog>::OnInitDialog");
    EXPECT_EQ(name("bool Ns::Fn() const"), L"Ns::Fn");
    EXPECT_EQ(name("int wmain(int, wchar_t**)"), L"wmain");
}
