#include "log/crash_record.h"

#include <atomic>
#include <cstring>

#include "com/raii.h"
#include "log/event_log.h"
#include "log/log_file.h"

namespace {

// Set up by PrepareCrashRecord, read by the filter without a lock: the handle is published last.
std::atomic<HANDLE> g_recordFile{INVALID_HANDLE_VALUE};
std::atomic<bool> g_recordWritten{false};
std::string g_preparedFolder;        // Outlook's thread only
const void* g_executableBase = nullptr;
char g_executableName[64] = {};

// Appends text to a fixed buffer, dropping what does not fit.
struct LineBuffer {
    char* text;
    std::size_t size;
    std::size_t length = 0;

    void Add(char c)
    {
        if (length < size)
            text[length++] = c;
    }
    void Add(const char* s)
    {
        while (*s)
            Add(*s++);
    }
    void Hex(ULONG_PTR value, int minDigits)
    {
        char digits[16];
        int count = 0;
        do {
            digits[count++] = "0123456789ABCDEF"[value & 0xF];
            value >>= 4;
        } while (value != 0 && count < 16);
        for (; count < minDigits; ++count)
            digits[count] = '0';
        Add("0x");
        while (count > 0)
            Add(digits[--count]);
    }
    void Decimal(ULONG_PTR value, int minDigits)
    {
        char digits[20];
        int count = 0;
        do {
            digits[count++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0 && count < 20);
        for (; count < minDigits; ++count)
            digits[count] = '0';
        while (count > 0)
            Add(digits[--count]);
    }
};

// True when [address, address + size) lies in one committed region that may be read.
bool Readable(const void* address, std::size_t size)
{
    MEMORY_BASIC_INFORMATION info{};
    if (VirtualQuery(address, &info, sizeof(info)) != sizeof(info) || info.State != MEM_COMMIT)
        return false;
    if ((info.Protect & (PAGE_NOACCESS | PAGE_GUARD)) != 0 || info.Protect == 0)
        return false;
    const auto start = reinterpret_cast<ULONG_PTR>(address);
    const auto end = reinterpret_cast<ULONG_PTR>(info.BaseAddress) + info.RegionSize;
    return start + size >= start && start + size <= end;
}

// The name in the export directory of the image mapped at base, copied into name (printable
// characters only); false when it has none or any part of the way there cannot be read.
bool ExportName(const BYTE* base, char* name, std::size_t size)
{
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (!Readable(dos, sizeof(*dos)) || dos->e_magic != IMAGE_DOS_SIGNATURE || dos->e_lfanew <= 0 ||
        dos->e_lfanew > 0x10000)
        return false;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
    if (!Readable(nt, sizeof(*nt)) || nt->Signature != IMAGE_NT_SIGNATURE ||
        nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC ||
        nt->OptionalHeader.NumberOfRvaAndSizes <= IMAGE_DIRECTORY_ENTRY_EXPORT)
        return false;
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    const DWORD imageSize = nt->OptionalHeader.SizeOfImage;
    if (directory.VirtualAddress == 0 || directory.VirtualAddress >= imageSize ||
        imageSize - directory.VirtualAddress < sizeof(IMAGE_EXPORT_DIRECTORY))
        return false;
    const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
    if (!Readable(exports, sizeof(*exports)) || exports->Name == 0 || exports->Name >= imageSize)
        return false;
    const char* text = reinterpret_cast<const char*>(base + exports->Name);
    std::size_t length = 0;
    for (; length + 1 < size; ++length) {
        if (!Readable(text + length, 1))
            return false;
        const char c = text[length];
        if (c == '\0')
            break;
        if (c < 0x20 || c > 0x7E)
            return false;
        name[length] = c;
    }
    name[length] = '\0';
    return length > 0;
}

// The base of the image that holds address, or null when it lies in no image.
const BYTE* ImageBase(const void* address)
{
    MEMORY_BASIC_INFORMATION info{};
    if (VirtualQuery(address, &info, sizeof(info)) != sizeof(info) || info.Type != MEM_IMAGE)
        return nullptr;
    return static_cast<const BYTE*>(info.AllocationBase);
}

void KeepExecutableName()
{
    g_executableBase = GetModuleHandleW(nullptr);
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    const char* name = std::strrchr(path, '\\');
    name = name ? name + 1 : path;
    std::size_t i = 0;
    for (; name[i] && i + 1 < sizeof(g_executableName); ++i)
        g_executableName[i] = name[i];
    g_executableName[i] = '\0';
}

// Reads what the previous run recorded (at most the first 1 KB); empty when nothing.
std::string ReadLeftRecord(const std::string& path)
{
    const UniqueFileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return {};
    char text[1024];
    DWORD read = 0;
    if (!ReadFile(file.get(), text, sizeof(text), &read, nullptr))
        return {};
    std::string record(text, read);
    while (!record.empty() && (record.back() == '\n' || record.back() == '\r'))
        record.pop_back();
    return record;
}

} // namespace

std::size_t FormatCrashRecord(const EXCEPTION_RECORD& record, char* buffer, std::size_t size) noexcept
{
    LineBuffer line{buffer, size};
    SYSTEMTIME now{};
    GetSystemTime(&now); // reads the shared clock page: no lock
    line.Decimal(now.wYear, 4);
    line.Add('-');
    line.Decimal(now.wMonth, 2);
    line.Add('-');
    line.Decimal(now.wDay, 2);
    line.Add(' ');
    line.Decimal(now.wHour, 2);
    line.Add(':');
    line.Decimal(now.wMinute, 2);
    line.Add(':');
    line.Decimal(now.wSecond, 2);
    line.Add(" UTC exception ");
    line.Hex(record.ExceptionCode, 8);
    line.Add(" at ");
    const BYTE* base = ImageBase(record.ExceptionAddress);
    const auto address = reinterpret_cast<ULONG_PTR>(record.ExceptionAddress);
    if (!base) {
        line.Hex(address, 1);
    } else {
        char name[64];
        if (ExportName(base, name, sizeof(name)))
            line.Add(name);
        else if (base == g_executableBase && g_executableName[0])
            line.Add(g_executableName);
        else
            line.Hex(reinterpret_cast<ULONG_PTR>(base), 1);
        line.Add('+');
        line.Hex(address - reinterpret_cast<ULONG_PTR>(base), 1);
    }
    line.Add(" thread ");
    line.Decimal(GetCurrentThreadId(), 1); // read from the thread's own block
    line.Add(" process ");
    line.Decimal(GetCurrentProcessId(), 1);
    line.Add("\r\n");
    return line.length;
}

void WriteCrashRecord(const EXCEPTION_POINTERS* info) noexcept
{
    const HANDLE file = g_recordFile.load();
    if (file == INVALID_HANDLE_VALUE || !info || !info->ExceptionRecord || g_recordWritten.exchange(true))
        return;
    char text[256];
    const std::size_t length = FormatCrashRecord(*info->ExceptionRecord, text, sizeof(text));
    DWORD written = 0;
    (void)WriteFile(file, text, static_cast<DWORD>(length), &written, nullptr); // nothing else can be done here
}

void PrepareCrashRecord(const std::string& folder) noexcept
{
    try {
        if (g_recordFile.load() != INVALID_HANDLE_VALUE && folder == g_preparedFolder)
            return;
        KeepExecutableName();
        const std::string path = folder + "\\" + kCrashRecordFileName;
        const std::string left = ReadLeftRecord(path);
        // Emptied only once reported: a record the Event Log did not take in time is reported
        // again at the next load. The wait holds Outlook's start-up, so it is short, and only
        // after a crash is there anything to wait for.
        const bool reported = left.empty() || ReportAddinEvent(EVENTLOG_ERROR_TYPE, VANTREL_EVENT_PREVIOUS_RUN_CRASHED,
                                                                {left}, kEventReportOutlookWaitMs);
        HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, reported ? CREATE_ALWAYS : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            LogMessage(0, "CrashRecord<Prepare> ==> [FAILED %lu]", static_cast<unsigned long>(GetLastError()));
            return;
        }
        g_preparedFolder = folder;
        // Outlook's folder stays the same for the whole run; only tests move it. The handle of an
        // earlier folder is closed.
        UniqueFileHandle earlier(g_recordFile.exchange(file));
    } catch (...) {
        // Out of memory at load: the filter leaves no record in this run.
    }
}

void CloseCrashRecord() noexcept
{
    UniqueFileHandle file(g_recordFile.exchange(INVALID_HANDLE_VALUE));
}
