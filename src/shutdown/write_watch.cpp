#include "shutdown/write_watch.h"

#include <atomic>

#include "win32/text_convert.h"
#include "log/log_file.h"
#include "log/profile_path.h"

namespace {

std::atomic<IoCounterReader> g_ioCounterReader{nullptr};
std::atomic<FileAttributeReader> g_fileAttributeReader{nullptr};
std::atomic<DriveTypeReader> g_driveTypeReader{nullptr};

// A path for the log, which is narrow (ANSI code page); the files themselves are read wide.
std::string ForLog(const std::wstring& path)
{
    return ToNarrow(path, CP_ACP);
}

bool StartsWithIgnoringCase(const std::wstring& text, const wchar_t* prefix)
{
    const int length = lstrlenW(prefix);
    return text.size() >= static_cast<size_t>(length) &&
           CompareStringOrdinal(text.c_str(), length, prefix, length, TRUE) == CSTR_EQUAL;
}

bool IsDriveLetter(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

bool SamePath(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

} // namespace

void UseIoCounterReader(IoCounterReader reader) noexcept
{
    g_ioCounterReader.store(reader);
}

void UseFileAttributeReader(FileAttributeReader reader) noexcept
{
    g_fileAttributeReader.store(reader);
}

void UseDriveTypeReader(DriveTypeReader reader) noexcept
{
    g_driveTypeReader.store(reader);
}

bool IsOnNetworkShare(const std::wstring& path) noexcept
{
    size_t drive = 0; // where the drive letter stands
    if (StartsWithIgnoringCase(path, L"\\\\?\\") || StartsWithIgnoringCase(path, L"\\\\.\\")) {
        drive = 4; // "\\?\C:\..." is local, "\\?\UNC\server\..." and devices are not known to be
    } else if (StartsWithIgnoringCase(path, L"\\\\")) {
        return true; // \\server\share\...
    }
    if (path.size() < drive + 2 || !IsDriveLetter(path[drive]) || path[drive + 1] != L':')
        return true; // no drive letter: nothing tells that it is local
    const wchar_t root[] = {path[drive], L':', L'\\', L'\0'};
    const DriveTypeReader reader = g_driveTypeReader.load();
    switch ((reader ? reader : GetDriveTypeW)(root)) {
    case DRIVE_FIXED:
    case DRIVE_REMOVABLE:
    case DRIVE_CDROM:
    case DRIVE_RAMDISK:
        return false;
    default:
        return true; // DRIVE_REMOTE, and a drive it cannot tell (DRIVE_UNKNOWN, DRIVE_NO_ROOT_DIR)
    }
}

WriteWatch::FileState WriteWatch::Read(const std::wstring& path, DWORD* error)
{
    FileState state;
    WIN32_FILE_ATTRIBUTE_DATA data;
    const FileAttributeReader reader = g_fileAttributeReader.load();
    if (!(reader ? reader : GetFileAttributesExW)(LongPathForm(path).c_str(), GetFileExInfoStandard, &data)) {
        if (error)
            *error = GetLastError();
        return state;
    }
    state.present = true;
    state.folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    state.size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    state.written = data.ftLastWriteTime;
    return state;
}

ULONGLONG WriteWatch::WrittenSinceLast()
{
    // The two counts cannot be read at one instant: a log line written between the two reads
    // (or still inside its WriteFile) is in one of them only, so its bytes move from this
    // sample to the next. The sum over the samples stays exact, and one line is far below the
    // threshold.
    const IoCounterReader reader = g_ioCounterReader.load();
    IO_COUNTERS counters{};
    const bool read = (reader ? reader : GetProcessIoCounters)(GetCurrentProcess(), &counters) != FALSE;
    const ULONGLONG logged = LogBytesWritten();
    const ULONGLONG loggedSince = logged - m_loggedBytes;
    m_loggedBytes = logged;
    if (!read)
        return 0; // an unreadable count shows no write, and the next one counts from the last read
    const ULONGLONG written = counters.WriteTransferCount;
    const ULONGLONG since = written >= m_writtenBytes ? written - m_writtenBytes : 0;
    m_writtenBytes = written;
    return since > loggedSince ? since - loggedSince : 0;
}

void WriteWatch::Watch(const StoreFile& store, const std::vector<const StoreFile*>& before)
{
    const std::wstring& path = store.path;
    if (path.empty()) {
        LogMessage(0, "ShutdownThread<WaitForWrites> ==> [NO FILE] store %ld lives on a server ", store.number);
        return;
    }
    for (const StoreFile* earlier : before) {
        if (SamePath(earlier->path, path)) {
            LogMessage(0, "ShutdownThread<WaitForWrites> ==> [NOT WATCHED] %s: the file of store %ld",
                       ForLog(path).c_str(), earlier->number);
            return;
        }
    }
    // A share that does not answer would hold every read of it for the network's time-out, and
    // Outlook's thread waits for this one when it lets go of the add-in.
    if (IsOnNetworkShare(path)) {
        LogMessage(0, "ShutdownThread<WaitForWrites> ==> [NOT WATCHED] %s: on a network share", ForLog(path).c_str());
        return;
    }
    DWORD error = ERROR_SUCCESS;
    const FileState state = Read(path, &error);
    if (!state.present) {
        LogMessage(0, "ShutdownThread<WaitForWrites> ==> [NOT WATCHED] %s: error %lu", ForLog(path).c_str(),
                   static_cast<unsigned long>(error));
        return;
    }
    if (state.folder) {
        LogMessage(0, "ShutdownThread<WaitForWrites> ==> [NOT WATCHED] %s: a folder", ForLog(path).c_str());
        return;
    }
    m_files.push_back({path, state});
    LogMessage(0, "ShutdownThread<WaitForWrites> ==> [WATCHING] %s", ForLog(path).c_str());
}

WriteWatch::WriteWatch(const std::vector<StoreFile>& stores)
{
    std::vector<const StoreFile*> before;
    for (const StoreFile& store : stores) {
        Watch(store, before);
        if (!store.path.empty())
            before.push_back(&store);
    }
    // The starting point once the lines above are written: from here on every log line is in
    // both counts.
    (void)WrittenSinceLast();
    LogMessage(0, "ShutdownThread<WaitForWrites> ==> [WATCHING] the process's write counter ");
}

bool WriteWatch::Sample()
{
    bool writing = false;
    const ULONGLONG written = WrittenSinceLast();
    if (written > kQuietWriteBytesPerSample) {
        writing = true;
        LogMessage(0, "ShutdownThread<WaitForWrites> ==> [WRITING] %llu bytes", static_cast<unsigned long long>(written));
    }
    for (File& file : m_files) {
        const FileState now = Read(file.path, nullptr);
        const bool changed = now.present != file.state.present || now.size != file.state.size ||
                             CompareFileTime(&now.written, &file.state.written) != 0;
        file.state = now;
        if (changed) {
            writing = true;
            m_lastChanged = file.path;
            LogMessage(0, "ShutdownThread<WaitForWrites> ==> [WRITING] %s", ForLog(file.path).c_str());
        }
    }
    return writing;
}
