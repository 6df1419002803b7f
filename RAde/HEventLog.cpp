#include "RAde/HEventLog.h"

#include <atomic>

#include "RAde/HException.h"
#include "RAde/HFile.h"
#include "RAde/HFileUtilities.h"
#include "RAde/HLogging.h"
#include "RAde/HRegistry.h"
#include "RAde/HStringHelper.h"

namespace {

// ---------------------------------------------------------------------------
// The message file, built at compile time: a PE32 DLL with a header page, a
// resource section (a message table) and an empty relocation section, each
// one 512-byte file page.

class CImageWriter
{
public:
    using Image = std::array<std::uint8_t, CHEventLog::MessageFileSize>;

    constexpr void Put16(size_t nOffset, std::uint16_t nValue)
    {
        m_image[nOffset] = static_cast<std::uint8_t>(nValue);
        m_image[nOffset + 1] = static_cast<std::uint8_t>(nValue >> 8);
    }
    constexpr void Put32(size_t nOffset, std::uint32_t nValue)
    {
        Put16(nOffset, static_cast<std::uint16_t>(nValue));
        Put16(nOffset + 2, static_cast<std::uint16_t>(nValue >> 16));
    }
    constexpr void PutText(size_t nOffset, const char* pszText)
    {
        for (; *pszText; ++pszText)
            m_image[nOffset++] = static_cast<std::uint8_t>(*pszText);
    }
    constexpr const Image& Get() const { return m_image; }

private:
    Image m_image{};
};

constexpr std::uint32_t kFileAlignment = 0x200;
constexpr std::uint32_t kSectionAlignment = 0x1000;
constexpr std::uint32_t kNtHeaders = 0x40;  // right after the DOS header
constexpr std::uint32_t kOptionalHeader = kNtHeaders + 4 + 20;
constexpr std::uint32_t kOptionalHeaderSize = 224;  // PE32, 16 data directories
constexpr std::uint32_t kSectionTable = kOptionalHeader + kOptionalHeaderSize;
constexpr std::uint32_t kResourceFile = kFileAlignment, kResourceRva = kSectionAlignment;
constexpr std::uint32_t kRelocFile = 2 * kFileAlignment, kRelocRva = 2 * kSectionAlignment;

// The resource tree: type RT_MESSAGETABLE, name 1, language en-US, one data entry.
constexpr std::uint32_t kTypeDirectory = 0x00, kNameDirectory = 0x18, kLanguageDirectory = 0x30;
constexpr std::uint32_t kDataEntry = 0x48, kMessageTable = 0x58;
// The message table: one block (ids 1 to 1), one Unicode entry "%1\r\n",
// zero-terminated and padded to a multiple of four bytes.
constexpr char16_t kMessageText[] = u"%1\r\n\0";
constexpr std::uint32_t kEntryHeader = 4, kBlocksHeader = 4 + 12;
constexpr std::uint32_t kEntryLength = kEntryHeader + sizeof(kMessageText);
constexpr std::uint32_t kMessageTableSize = kBlocksHeader + kEntryLength;
constexpr std::uint32_t kResourceSize = kMessageTable + kMessageTableSize;
constexpr std::uint32_t kRelocSize = 8;  // one block header, no entries

constexpr void PutResourceDirectory(CImageWriter& image, std::uint32_t nOffset, std::uint32_t nId,
                                    std::uint32_t nTarget, bool bSubdirectory)
{
    // Characteristics, time stamp and version stay zero; one entry by id.
    image.Put16(kResourceFile + nOffset + 14, 1);
    image.Put32(kResourceFile + nOffset + 16, nId);
    image.Put32(kResourceFile + nOffset + 20, bSubdirectory ? (nTarget | 0x80000000u) : nTarget);
}

constexpr void PutSectionHeader(CImageWriter& image, std::uint32_t nIndex, const char* pszName, std::uint32_t nSize,
                                std::uint32_t nRva, std::uint32_t nFileOffset, std::uint32_t nFlags)
{
    const std::uint32_t nHeader = kSectionTable + 40 * nIndex;
    image.PutText(nHeader, pszName);
    image.Put32(nHeader + 8, nSize);
    image.Put32(nHeader + 12, nRva);
    image.Put32(nHeader + 16, kFileAlignment);
    image.Put32(nHeader + 20, nFileOffset);
    image.Put32(nHeader + 36, nFlags);
}

constexpr CImageWriter::Image BuildMessageFileImage()
{
    CImageWriter image;
    // DOS header: the signature and where the PE headers are.
    image.PutText(0, "MZ");
    image.Put32(0x3C, kNtHeaders);

    // PE signature and file header: i386, two sections, an executable DLL
    // without line numbers, local symbols or a 64-bit address space.
    image.PutText(kNtHeaders, "PE");
    image.Put16(kNtHeaders + 4, IMAGE_FILE_MACHINE_I386);
    image.Put16(kNtHeaders + 6, 2);
    image.Put16(kNtHeaders + 20, kOptionalHeaderSize);
    image.Put16(kNtHeaders + 22, IMAGE_FILE_EXECUTABLE_IMAGE | IMAGE_FILE_LINE_NUMS_STRIPPED |
                                     IMAGE_FILE_LOCAL_SYMS_STRIPPED | IMAGE_FILE_32BIT_MACHINE | IMAGE_FILE_DLL);

    // Optional header: no code and no entry point, only data.
    const std::uint32_t o = kOptionalHeader;
    image.Put16(o + 0, IMAGE_NT_OPTIONAL_HDR32_MAGIC);
    image.Put32(o + 8, 2 * kFileAlignment);  // initialised data
    image.Put32(o + 24, kResourceRva);       // base of data
    image.Put32(o + 28, 0x10000000);         // image base
    image.Put32(o + 32, kSectionAlignment);
    image.Put32(o + 36, kFileAlignment);
    image.Put16(o + 40, 5);                      // operating system 5.0
    image.Put16(o + 48, 5);                      // subsystem 5.0
    image.Put32(o + 56, 3 * kSectionAlignment);  // size of image
    image.Put32(o + 60, kFileAlignment);         // size of headers
    image.Put16(o + 68, IMAGE_SUBSYSTEM_WINDOWS_GUI);
    image.Put32(o + 72, 0x100000);  // stack reserve
    image.Put32(o + 76, 0x1000);    // stack commit
    image.Put32(o + 80, 0x100000);  // heap reserve
    image.Put32(o + 84, 0x1000);    // heap commit
    image.Put32(o + 92, IMAGE_NUMBEROF_DIRECTORY_ENTRIES);
    image.Put32(o + 96 + 8 * IMAGE_DIRECTORY_ENTRY_RESOURCE, kResourceRva);
    image.Put32(o + 96 + 8 * IMAGE_DIRECTORY_ENTRY_RESOURCE + 4, kResourceSize);
    image.Put32(o + 96 + 8 * IMAGE_DIRECTORY_ENTRY_BASERELOC, kRelocRva);
    image.Put32(o + 96 + 8 * IMAGE_DIRECTORY_ENTRY_BASERELOC + 4, kRelocSize);

    PutSectionHeader(image, 0, ".rsrc", kResourceSize, kResourceRva, kResourceFile,
                     IMAGE_SCN_CNT_INITIALIZED_DATA | IMAGE_SCN_MEM_READ);
    PutSectionHeader(image, 1, ".reloc", kRelocSize, kRelocRva, kRelocFile,
                     IMAGE_SCN_CNT_INITIALIZED_DATA | IMAGE_SCN_MEM_DISCARDABLE | IMAGE_SCN_MEM_READ);

    PutResourceDirectory(image, kTypeDirectory, 11 /* RT_MESSAGETABLE */, kNameDirectory, true);
    PutResourceDirectory(image, kNameDirectory, 1, kLanguageDirectory, true);
    PutResourceDirectory(image, kLanguageDirectory, 0x0409, kDataEntry, false);
    image.Put32(kResourceFile + kDataEntry, kResourceRva + kMessageTable);
    image.Put32(kResourceFile + kDataEntry + 4, kMessageTableSize);

    const std::uint32_t t = kResourceFile + kMessageTable;
    image.Put32(t + 0, 1);               // blocks
    image.Put32(t + 4, 1);               // lowest id
    image.Put32(t + 8, 1);               // highest id
    image.Put32(t + 12, kBlocksHeader);  // where the block's entries start
    image.Put16(t + kBlocksHeader, kEntryLength);
    image.Put16(t + kBlocksHeader + 2, 1);  // MESSAGE_RESOURCE_UNICODE
    for (std::uint32_t i = 0; i < sizeof(kMessageText) / 2; ++i)
        image.Put16(t + kBlocksHeader + kEntryHeader + 2 * i, kMessageText[i]);

    // The relocation section: a single block header with no entries.
    image.Put32(kRelocFile + 4, kRelocSize);
    return image.Get();
}

constexpr CImageWriter::Image kMessageFileImage = BuildMessageFileImage();

// Null stands for ReportEventW.
constinit std::atomic<CHEventLog::ReportFunction> g_pfnReport{nullptr};

}  // namespace

// ---------------------------------------------------------------------------

const std::array<std::uint8_t, CHEventLog::MessageFileSize>& CHEventLog::MessageFileImage()
{
    return kMessageFileImage;
}

void CHEventLog::SetReportFunction(ReportFunction pfnReport)
{
    g_pfnReport = pfnReport;
}

CHEventLog::~CHEventLog()
{
    HTRY {
        m_eventSource.Reset();
    } HCATCH_LOGGING_INTERNAL
}

void CHEventLog::Init()
{
    HTRY {
        m_eventSource.Reset();
        InitEventResources();
        // A source that cannot be registered leaves the sink silent.
        m_eventSource.Reset(::RegisterEventSourceW(nullptr, m_config.m_pszApplicationName));
    } HCATCH_LOGGING_INTERNAL
}

void CHEventLog::InitEventResources()
{
    HTRY {
        try {
            const std::wstring strKey = CHFileUtilities::ConcatPathname(SourcesKey, m_config.m_pszApplicationName);
            const std::wstring strMessageFile =
                CHFileUtilities::ConcatPathname(CHFileUtilities::GetTempDirectory(), MessageFileName);
            CHRegistry::SetValue(strKey, L"EventMessageFile", strMessageFile);
            CHRegistry::SetValue(strKey, L"TypesSupported", static_cast<DWORD>(7));
            if (!CHFileUtilities::FileExists(strMessageFile)) {
                CHFile file;
                file.Open(strMessageFile, true);
                file.WriteBytes(kMessageFileImage.data(), kMessageFileImage.size());
            }
        } catch (...) {
            // Typically no right to write under HKEY_LOCAL_MACHINE: events are
            // still reported, only the viewer shows them less nicely.
            ::OutputDebugStringW(L"CHEventLog: Failed to create event source file and registry resources");
        }
    } HCATCH_LOGGING_INTERNAL
}

bool CHEventLog::IsDebuggingLevel()
{
    return m_config.m_nEventLogLevel >= HLOG_DEBUG;
}

void CHEventLog::Log(int nLevel, const std::wstring& strMessage, bool bForce)
{
    HTRY {
        if (!((m_config.m_nEventLogLevel >= nLevel && m_eventSource) || bForce))
            return;
        WORD wType = nLevel == HLOG_ERROR     ? EVENTLOG_ERROR_TYPE
                     : nLevel == HLOG_WARNING ? EVENTLOG_WARNING_TYPE
                                              : EVENTLOG_INFORMATION_TYPE;
        const std::wstring strText =
            CHStringHelper::Format(L"%s %s (RAde %s)\n\n%s", m_config.m_pszApplicationName, m_config.m_pszModuleName,
                                   LibraryVersion, strMessage.c_str());
        LPCWSTR apszStrings[] = {strText.c_str()};
        ReportFunction pfnReport = g_pfnReport.load();
        if (!pfnReport)
            pfnReport = &::ReportEventW;
        if (!pfnReport(m_eventSource.Get(), wType, 0, 1, nullptr, 1, 0, apszStrings, nullptr)) {
            const std::wstring strFailure =
                CHStringHelper::Format(L"ReportEvent failed, error: %d", static_cast<int>(::GetLastError()));
            ::OutputDebugStringW(strFailure.c_str());
        }
    } HCATCH_LOGGING_INTERNAL
}
