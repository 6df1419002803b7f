// Kernel object names and the open security attributes.
#include <windows.h>
#include <aclapi.h>

#include <gtest/gtest.h>

#include <cstring>
#include <cwctype>
#include <string>

#include "RAde/HSystem.h"
#include "RAde/HUniqueHandle.h"
#include "TestSupport.h"

namespace {

// n characters of letters, digits and punctuation; converted, the pattern
// "a1." reads "A1_".
std::wstring Pattern(size_t n)
{
    std::wstring strText;
    for (size_t i = 0; i < n; ++i)
        strText += L"a1."[i % 3];
    return strText;
}

std::wstring ConvertedPattern(size_t n)
{
    std::wstring strText;
    for (size_t i = 0; i < n; ++i)
        strText += L"A1_"[i % 3];
    return strText;
}

// Whether the kernel object's security holds a null access list (everyone
// has every access), read back from the object itself.
testing::AssertionResult HasNullAccessList(HANDLE hObject)
{
    PACL pDacl = reinterpret_cast<PACL>(1);
    PSECURITY_DESCRIPTOR pDescriptor = nullptr;
    DWORD dwError = ::GetSecurityInfo(hObject, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &pDacl,
                                      nullptr, &pDescriptor);
    if (dwError != ERROR_SUCCESS)
        return testing::AssertionFailure() << "GetSecurityInfo failed with " << dwError;
    BOOL bPresent = FALSE, bDefaulted = FALSE;
    PACL pListed = nullptr;
    ::GetSecurityDescriptorDacl(pDescriptor, &bPresent, &pListed, &bDefaulted);
    ::LocalFree(pDescriptor);
    if (pDacl != nullptr || !bPresent)
        return testing::AssertionFailure()
               << "access list present " << bPresent << ", " << (pDacl ? pDacl->AceCount : 0) << " entries";
    return testing::AssertionSuccess();
}

}  // namespace

TEST(CHSystem, KernelObjectNameUpperCasesLettersAndDigitsAndReplacesEverythingElse)
{
    EXPECT_EQ(CHSystem::MakeKernelObjectName(L"C:\\Logs\\app.log", false), L"C__LOGS_APP_LOG");
    EXPECT_EQ(CHSystem::MakeKernelObjectName(L"C:\\Logs\\app.log", true), L"Global\\C__LOGS_APP_LOG");
    EXPECT_EQ(CHSystem::MakeKernelObjectName(L"a b\t9-Z_", false), L"A_B_9_Z_");
}

TEST(CHSystem, KernelObjectNameKeepsTheEndOfALongName)
{
    // 300 characters whose first 47 differ from the rest, so the kept end shows.
    const std::wstring strName = std::wstring(47, L'h') + Pattern(253);

    const std::wstring strGlobal = CHSystem::MakeKernelObjectName(strName, true);
    EXPECT_EQ(strGlobal.size(), 260u);
    EXPECT_EQ(strGlobal, L"Global\\" + ConvertedPattern(253));

    const std::wstring strLocal = CHSystem::MakeKernelObjectName(strName, false);
    EXPECT_EQ(strLocal, std::wstring(7, L'H') + ConvertedPattern(253));

    // At the limit nothing is cut.
    EXPECT_EQ(CHSystem::MakeKernelObjectName(Pattern(253), true), L"Global\\" + ConvertedPattern(253));
    EXPECT_EQ(CHSystem::MakeKernelObjectName(Pattern(260), false), ConvertedPattern(260));
    EXPECT_EQ(CHSystem::MakeKernelObjectName(Pattern(261), false), ConvertedPattern(261).substr(1));
}

TEST(CHSystem, KernelObjectNameClassifiesNonAsciiCharactersLikeTheCRuntime)
{
    // e acute, sharp s, Cyrillic zhe, Greek omega, an Arabic-Indic digit three,
    // the euro sign and a high surrogate: what the C runtime calls a letter or
    // digit is kept (upper-cased by its rules), the rest becomes "_". In the
    // "C" locale the letters count as letters but only ASCII changes case.
    const std::wstring strName = L"\u00e9\u00df\u0436\u03c9\u0663\u20ac\xd83d";
    std::wstring strExpected;
    for (wchar_t ch : strName)
        strExpected += std::iswalnum(ch) ? static_cast<wchar_t>(std::towupper(ch)) : L'_';

    EXPECT_EQ(CHSystem::MakeKernelObjectName(strName, false), strExpected);
    EXPECT_EQ(CHSystem::MakeKernelObjectName(L"\u20ac", false), L"_");
}

TEST(CHSystem, OpenSecurityAttributesPointAtADescriptorWithANullAccessList)
{
    SECURITY_ATTRIBUTES attributes;
    SECURITY_DESCRIPTOR descriptor;
    ::memset(&attributes, 0xCC, sizeof(attributes));
    CHSystem::InitOpenSecurityAttributes(&attributes, &descriptor);

    EXPECT_EQ(attributes.nLength, sizeof(SECURITY_ATTRIBUTES));
    EXPECT_FALSE(attributes.bInheritHandle);
    ASSERT_EQ(attributes.lpSecurityDescriptor, &descriptor);

    BOOL bPresent = FALSE, bDefaulted = TRUE;
    PACL pDacl = reinterpret_cast<PACL>(1);
    ASSERT_TRUE(::GetSecurityDescriptorDacl(&descriptor, &bPresent, &pDacl, &bDefaulted));
    EXPECT_TRUE(bPresent);
    EXPECT_EQ(pDacl, nullptr);
    EXPECT_FALSE(bDefaulted);
    EXPECT_TRUE(::IsValidSecurityDescriptor(&descriptor));
}

TEST(CHSystem, MutexCreatedWithOpenSecurityAttributesHasANullAccessList)
{
    SECURITY_ATTRIBUTES attributes;
    SECURITY_DESCRIPTOR descriptor;
    CHSystem::InitOpenSecurityAttributes(&attributes, &descriptor);
    const std::wstring strName = CHSystem::MakeKernelObjectName(UniqueTempPath(L"open_mutex"), true);
    CHKernelHandle hOpen(::CreateMutexW(&attributes, FALSE, strName.c_str()));
    ASSERT_TRUE(hOpen);
    EXPECT_TRUE(HasNullAccessList(hOpen.Get()));

    // The control: with the creator's default security the object has a list.
    CHKernelHandle hDefault(::CreateMutexW(nullptr, FALSE, (strName + L"_default").c_str()));
    ASSERT_TRUE(hDefault);
    EXPECT_FALSE(HasNullAccessList(hDefault.Get()));
}
