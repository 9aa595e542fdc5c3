#include "log/crash_record.h"

#include <atomic>
#include <cwchar>
#include <memory>
#include <string_view>
#include <type_traits>

#include "win32/raii.h"
#include "win32/scoped_lock.h"
#include "log/crash_record_form.h"
#include "log/event_log.h"
#include "log/log_file.h"
#include "log/profile_file.h"
#include "log/profile_path.h"

namespace {

// Set up by PrepareCrashRecord, read by the filter without a lock: the handle is published last.
std::atomic<HANDLE> g_recordFile{INVALID_HANDLE_VALUE};
// Signalled once the first faulting thread's line is written; made before the handle is published.
std::atomic<HANDLE> g_recordDone{nullptr};
std::atomic<bool> g_recordClaimed{false};
std::wstring g_preparedFolder; // Outlook's thread only
const void* g_executableBase = nullptr;
char g_executableName[kRecordNameMax + 1] = {};

std::atomic<decltype(CrashRecordCalls::write)> g_write{nullptr};
std::atomic<decltype(CrashRecordCalls::wait)> g_wait{nullptr};

// The most a record file holds that the next load reads: a few records of a few hundred bytes.
constexpr DWORD kRecordReadMax = 4096;

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
    // The headers of this process's own kind (PE32 in an x86 build, PE32+ in an x64 one): every
    // image mapped for execution here has them.
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    if (!Readable(nt, sizeof(*nt)) || nt->Signature != IMAGE_NT_SIGNATURE ||
        nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR_MAGIC ||
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
        if (!IsRecordNameChar(c) || c == '+')
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

// The executable's file name, kept when it fits a record's name (OUTLOOK.EXE does); otherwise
// the executable is an unnamed image like any other.
void KeepExecutableName()
{
    g_executableBase = GetModuleHandleW(nullptr);
    g_executableName[0] = '\0';
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    const wchar_t* name = std::wcsrchr(path, L'\\');
    name = name ? name + 1 : path;
    std::size_t i = 0;
    for (; name[i]; ++i) {
        if (i == kRecordNameMax || name[i] > 0x7F || !IsRecordNameChar(static_cast<char>(name[i])) || name[i] == L'+')
            return;
        g_executableName[i] = static_cast<char>(name[i]);
    }
    g_executableName[i] = '\0';
}

// A record left by an earlier run, open for reading and writing so that the thread reporting it
// can empty it through the same handle. Emptied only if Outlook's thread still waits for the
// report: once it has gone on (and opened the file for this run's filter) the record stays, and
// the next load reports it again.
class LeftRecord {
public:
    explicit LeftRecord(UniqueFileHandle file) noexcept : m_file(std::move(file)) {}

    // On the thread that wrote the report, after the write succeeded.
    void Reported() noexcept
    {
        const ExclusiveLock lock(m_lock);
        if (!m_givenUp) {
            FILE_END_OF_FILE_INFO end{};
            (void)SetFileInformationByHandle(m_file.get(), FileEndOfFileInfo, &end, sizeof(end)); // kept if it fails
        }
    }
    // On Outlook's thread, once it stops waiting: the record is emptied by now or stays.
    void GiveUp() noexcept
    {
        const ExclusiveLock lock(m_lock);
        m_givenUp = true;
    }

    HANDLE File() const noexcept { return m_file.get(); }

private:
    UniqueFileHandle m_file;
    SRWLOCK m_lock = SRWLOCK_INIT;
    bool m_givenUp = false;
};

// Reports the record that an earlier run left at path. A file that cannot be opened or read (a
// scanner or a sync client holding it) is kept as it is for a later load. Throws std::bad_alloc.
void ReportLeftRecord(const std::wstring& path)
{
    UniqueFileHandle file =
        OpenProfileFile(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    if (!file) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
            LogMessage(0, "CrashRecord<Report> ==> [UNREADABLE %lu]", static_cast<unsigned long>(error));
        return;
    }
    std::string text(kRecordReadMax + 1, '\0');
    DWORD read = 0;
    if (!ReadFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &read, nullptr)) {
        LogMessage(0, "CrashRecord<Report> ==> [UNREADABLE %lu]", static_cast<unsigned long>(GetLastError()));
        return;
    }
    if (read == 0)
        return;
    text.resize(read);
    if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0)
        text.resize(text.size() - 2);
    const bool isRecord = read <= kRecordReadMax && IsCrashRecordText(text);

    const auto left = std::make_shared<LeftRecord>(std::move(file));
    // The wait holds Outlook's start-up, so it is short, and only after a crash is there anything
    // to wait for.
    (void)ReportAddinEvent(EVENTLOG_ERROR_TYPE, VANTREL_EVENT_PREVIOUS_RUN_CRASHED,
                           {isRecord ? std::string_view(text) : std::string_view(kUnreadableCrashRecord)},
                           kEventReportOutlookWaitMs, nullptr, [left] { left->Reported(); });
    left->GiveUp();
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
    // Offsets into a module only: an absolute address would tell whoever reads the Event Log
    // where the modules lay in memory.
    const BYTE* base = ImageBase(record.ExceptionAddress);
    const auto address = reinterpret_cast<ULONG_PTR>(record.ExceptionAddress);
    if (!base) {
        line.Add(kNoImage);
    } else {
        char name[kRecordNameMax + 1];
        if (ExportName(base, name, sizeof(name)))
            line.Add(name);
        else if (base == g_executableBase && g_executableName[0])
            line.Add(g_executableName);
        else
            line.Add(kUnnamedImage);
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
    if (file == INVALID_HANDLE_VALUE || !info || !info->ExceptionRecord)
        return;
    const HANDLE done = g_recordDone.load();
    if (g_recordClaimed.exchange(true)) {
        // Another thread faulted first and is writing: this filter's answer ends the process,
        // which would cut that write off. Bounded, in case the first thread never finishes.
        const auto wait = g_wait.load();
        (void)(wait ? wait : WaitForSingleObject)(done, kCrashRecordWaitMs);
        return;
    }
    char text[256];
    const std::size_t length = FormatCrashRecord(*info->ExceptionRecord, text, sizeof(text));
    DWORD written = 0;
    const auto write = g_write.load();
    (void)(write ? write : WriteFile)(file, text, static_cast<DWORD>(length), &written,
                                      nullptr); // nothing else can be done here
    (void)SetEvent(done);
}

void PrepareCrashRecord(const std::wstring& folder) noexcept
{
    try {
        if (g_recordFile.load() != INVALID_HANDLE_VALUE && folder == g_preparedFolder)
            return;
        KeepExecutableName();
        const std::wstring path = JoinPath(folder, kCrashRecordFileName);
        if (path.empty())
            return;
        ReportLeftRecord(path);
        // Appended to, never emptied here: whatever the report left in the file stays before
        // this run's line.
        UniqueFileHandle file = OpenProfileFile(path, FILE_APPEND_DATA,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_ALWAYS);
        if (!file) {
            LogMessage(0, "CrashRecord<Prepare> ==> [FAILED %lu]", static_cast<unsigned long>(GetLastError()));
            return;
        }
        if (!g_recordDone.load()) {
            const HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
            if (!done) {
                LogMessage(0, "CrashRecord<Prepare> ==> [FAILED %lu]", static_cast<unsigned long>(GetLastError()));
                return;
            }
            g_recordDone.store(done);
        }
        g_preparedFolder = folder;
        // Outlook's folder stays the same for the whole run; only tests move it. The handle of an
        // earlier folder is closed.
        UniqueFileHandle earlier(g_recordFile.exchange(file.release()));
    } catch (...) {
        // Out of memory at load: the filter leaves no record in this run.
    }
}

void CloseCrashRecord() noexcept
{
    UniqueFileHandle file(g_recordFile.exchange(INVALID_HANDLE_VALUE));
    UniqueHandle done(g_recordDone.exchange(nullptr));
    // g_preparedFolder is left alone: at the DLL's unload it may be destroyed already.
}

void UseCrashRecordCalls(const CrashRecordCalls* calls) noexcept
{
    g_write.store(calls ? calls->write : nullptr);
    g_wait.store(calls ? calls->wait : nullptr);
}

LONG WINAPI VantrelUnhandledExceptionFilter(EXCEPTION_POINTERS* info) noexcept
{
    WriteCrashRecord(info);
    return EXCEPTION_EXECUTE_HANDLER;
}
static_assert(std::is_convertible_v<decltype(&VantrelUnhandledExceptionFilter), LPTOP_LEVEL_EXCEPTION_FILTER>);
