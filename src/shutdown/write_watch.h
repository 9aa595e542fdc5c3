// Whether Outlook is still writing its data files: the sizes and last-write times of the store
// files (.pst, .ost) compared from one sample to the next, or, when no file can be watched,
// Outlook's own process write counter. The shutdown worker samples it once a second before it
// ends Outlook (write_hold.h). Runs on the worker's thread; throws std::bad_alloc only.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// What the process counters are read with: GetProcessIoCounters, or a test's stand-in (Wine
// answers zeros).
using IoCounterReader = BOOL(WINAPI*)(HANDLE process, IO_COUNTERS* counters);

// The reader used from now on; null puts GetProcessIoCounters back. Not while a watch samples.
// Never throws.
void UseIoCounterReader(IoCounterReader reader) noexcept;

// Bytes written by the process between two samples (a second apart) that still count as quiet:
// above what the add-in itself writes in a second (a few log lines; its Event Log entries are
// written by the event log service) and what an idle Outlook writes, far below a store being
// flushed, which writes in blocks of tens of kilobytes.
constexpr ULONGLONG kQuietWriteBytesPerSample = 64 * 1024;

class WriteWatch {
public:
    // Watches the files at `paths` (empty paths, those of server stores, are passed over), each
    // as it is now. When none of them can be read, the process's write counter stands in. Logs
    // what it watches and what it passes over.
    explicit WriteWatch(const std::vector<std::wstring>& paths);

    // Compares with the previous sample; true when something was written since. Logs a write.
    bool Sample();
    // The file the last writing sample saw change; empty when the counter is watched.
    const std::wstring& LastChanged() const { return m_lastChanged; }
    bool WatchesCounter() const { return m_files.empty(); }

private:
    struct FileState {
        bool present = false;
        ULONGLONG size = 0;
        FILETIME written{};
    };
    struct File {
        std::wstring path;
        FileState state;
    };
    static FileState Read(const std::wstring& path, DWORD* error);
    static ULONGLONG WrittenBytes();

    std::vector<File> m_files;
    ULONGLONG m_writtenBytes = 0;
    std::wstring m_lastChanged;
};
