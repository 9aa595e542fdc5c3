// Whether Outlook is still writing: the process's own write count (GetProcessIoCounters), read
// at every sample, and, as a second signal that can name a file, the sizes and last-write times
// of its local store files (.pst, .ost). The count sees what the files cannot show on Windows: a
// store rewritten in place keeps its size, and its last-write time is only promised once the
// handle that wrote it is closed. The shutdown worker samples it about once a second before it
// ends Outlook (write_hold.h). Runs on the worker's thread; throws std::bad_alloc only.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "shutdown/shutdown_owner.h"

// What the process counters are read with: GetProcessIoCounters, or a test's stand-in (Wine
// answers zeros).
using IoCounterReader = BOOL(WINAPI*)(HANDLE process, IO_COUNTERS* counters);
// What a file's size, last-write time and attributes are read with: GetFileAttributesExW, or a
// test's stand-in (Wine moves a file's last-write time at every write, Windows does not).
using FileAttributeReader = BOOL(WINAPI*)(LPCWSTR path, GET_FILEEX_INFO_LEVELS level, LPVOID information);
// What a drive's type is read with, from its bare root ("X:\"): GetDriveTypeW, or a stand-in.
using DriveTypeReader = UINT(WINAPI*)(LPCWSTR root);

// The readers used from now on; null puts the system's call back. Not while a watch samples.
// Never throw.
void UseIoCounterReader(IoCounterReader reader) noexcept;
void UseFileAttributeReader(FileAttributeReader reader) noexcept;
void UseDriveTypeReader(DriveTypeReader reader) noexcept;

// Bytes that Outlook's process may write between two samples (about a second apart) and still
// count as quiet, once the add-in's own log lines are taken out (they are counted exactly). An
// idle Outlook writes next to nothing in a second (a line of its own logs, when they are on);
// a store being flushed writes pages and blocks of kilobytes each, and the last ones of a flush,
// its metadata pages, are small: 4 KiB is a single page, so anything beyond one page counts.
constexpr ULONGLONG kQuietWriteBytesPerSample = 4 * 1024;

// Whether the path names a file on a network share, by its form alone: a UNC path (also in the
// "\\?\UNC\" form), any other path that starts with two backslashes and names no drive, a path
// with no drive letter at all, or a drive whose bare root the drive-type reader reports as none
// of fixed, removable, CD-ROM and RAM disk (a mapped drive, or one it cannot tell). Only the
// bare root is asked about: a longer path would open the share. A local path that is a link to
// a share is not recognised. Never throws.
bool IsOnNetworkShare(const std::wstring& path) noexcept;

class WriteWatch {
public:
    // Reads the write count's starting point and watches the store files given: a store without
    // a file (one on a server), a file on a network share, a path given before (compared without
    // regard to case, ordinal), a path that cannot be read and a folder are each logged and
    // passed over. Logs what it watches.
    explicit WriteWatch(const std::vector<StoreFile>& stores);

    // Compares with the previous sample; true when something was written since: a watched file
    // changed (size, last-write time or presence), or the process wrote more than
    // kQuietWriteBytesPerSample besides the add-in's log lines. Logs each write seen.
    bool Sample();
    // The file last seen changing; empty when no watched file has changed (the count alone then
    // saw the writes, or nothing did).
    const std::wstring& LastChanged() const { return m_lastChanged; }
    // The store files whose sizes and times are sampled.
    size_t WatchedFiles() const { return m_files.size(); }

private:
    struct FileState {
        bool present = false;
        bool folder = false;
        ULONGLONG size = 0;
        FILETIME written{};
    };
    struct File {
        std::wstring path;
        FileState state;
    };
    static FileState Read(const std::wstring& path, DWORD* error);
    // Adds the store's file to those sampled when it can and should be watched; logs either way.
    void Watch(const StoreFile& store, const std::vector<const StoreFile*>& before);
    // The bytes the process wrote beyond the add-in's log lines since the previous call.
    ULONGLONG WrittenSinceLast();

    std::vector<File> m_files;
    ULONGLONG m_writtenBytes = 0;
    ULONGLONG m_loggedBytes = 0;
    std::wstring m_lastChanged;
};
