// What the hold before Outlook's end counts as writing: a watched store file whose size,
// last-write time or presence changed between two samples, or more bytes written by the process
// than the quiet threshold besides the add-in's own log lines (through a stand-in for the
// counters: Wine answers zeros), read at every sample whether or not files are watched.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include <windows.h>

#include "log/log_file.h"
#include "shutdown/write_watch.h"
#include "support/test_support.h"

namespace {

std::wstring Wide(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

// Appends bytes to the file, which changes its size and last-write time.
void Append(const std::wstring& path, const char* text)
{
    UniqueFileHandle file(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file.get(), text, static_cast<DWORD>(strlen(text)), &written, nullptr));
}

class WriteWatchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LogFile::DestroyInstance();
        ASSERT_NE(OpenAddinLog(), nullptr);
    }
    void TearDown() override
    {
        UseIoCounterReader(nullptr);
        UseFileAttributeReader(nullptr);
        LogFile::DestroyInstance();
    }
    static bool Logged(const std::string& line)
    {
        const std::vector<std::string> log = AddinLogMessages();
        return std::find(log.begin(), log.end(), line) != log.end();
    }
};

TEST_F(WriteWatchTest, AStoreFileThatChangedIsWriting)
{
    ScopedTempDir dir;
    const std::wstring pst = Wide(dir.file("Outlook.pst"));
    const std::wstring ost = Wide(dir.file("Mailbox.ost"));
    Append(pst, "header");
    Append(ost, "header");
    WriteWatch watch({{1, L""}, {2, pst}, {3, ost}});
    EXPECT_EQ(watch.WatchedFiles(), 2u);
    EXPECT_FALSE(watch.Sample()) << "nothing written since the watch began";

    Append(ost, "more");
    EXPECT_TRUE(watch.Sample());
    EXPECT_EQ(watch.LastChanged(), ost);
    EXPECT_FALSE(watch.Sample()) << "each change counts once";

    // The same size with a new last-write time is a write too (a block rewritten in place).
    UniqueFileHandle file(CreateFileW(pst.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(file);
    FILETIME later{};
    GetSystemTimeAsFileTime(&later);
    reinterpret_cast<ULARGE_INTEGER&>(later).QuadPart += 10 * 1000 * 1000 * 60ull;
    ASSERT_TRUE(SetFileTime(file.get(), nullptr, nullptr, &later));
    EXPECT_TRUE(watch.Sample());
    EXPECT_EQ(watch.LastChanged(), pst);

    EXPECT_TRUE(Logged("ShutdownThread<WaitForWrites> ==> [NO FILE] store 1 lives on a server "));
    EXPECT_TRUE(Logged("ShutdownThread<WaitForWrites> ==> [WATCHING] " + dir.file("Mailbox.ost")));
    EXPECT_TRUE(Logged("ShutdownThread<WaitForWrites> ==> [WRITING] " + dir.file("Mailbox.ost")));
}

TEST_F(WriteWatchTest, AStoreFileBeyondMaxPathIsWatched)
{
    // Outlook gives the path as it is; the watch reads it in the long-path form, without which
    // Windows refuses a path beyond MAX_PATH. (Wine takes such paths either way, so here this
    // shows only that the form the watch makes of them is read.)
    ScopedTempDir dir;
    const std::wstring prefix = L"\\\\?\\";
    std::wstring folder = Wide(dir.path());
    std::vector<std::wstring> made;
    for (int i = 0; i < 3; ++i) {
        folder += L"\\" + std::wstring(100, static_cast<wchar_t>(L'a' + i));
        ASSERT_TRUE(CreateDirectoryW((prefix + folder).c_str(), nullptr));
        made.push_back(folder);
    }
    const std::wstring store = folder + L"\\Outlook.pst";
    ASSERT_GT(store.size(), static_cast<size_t>(MAX_PATH));
    Append(prefix + store, "header");
    {
        WriteWatch watch({{1, store}});
        EXPECT_EQ(watch.WatchedFiles(), 1u) << "the file could not be read";
        Append(prefix + store, "more");
        EXPECT_TRUE(watch.Sample());
    }
    DeleteFileW((prefix + store).c_str());
    for (auto it = made.rbegin(); it != made.rend(); ++it)
        RemoveDirectoryW((prefix + *it).c_str());
}

// The counters as the stand-in gives them: the bytes in the add-in's log file (its lines are
// written by this process, so the real count holds them too) and what the test adds as
// Outlook's own writes.
std::atomic<ULONGLONG> g_outlookWrites{0};
BOOL WINAPI LogAndOutlookCounters(HANDLE, IO_COUNTERS* counters)
{
    WIN32_FILE_ATTRIBUTE_DATA log{};
    const std::string path = AddinLogPath();
    (void)GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &log);
    *counters = IO_COUNTERS{};
    counters->WriteTransferCount = log.nFileSizeLow + g_outlookWrites.load();
    return TRUE;
}

// A store rewritten in place, as Windows shows it while the writing handle stays open: its size
// and last-write time stand still. Any other file is not there.
BOOL WINAPI StillFile(LPCWSTR path, GET_FILEEX_INFO_LEVELS, LPVOID information)
{
    const std::wstring name = path;
    if (name.size() < 11 || name.compare(name.size() - 11, 11, L"Outlook.pst") != 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    auto* data = static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(information);
    *data = WIN32_FILE_ATTRIBUTE_DATA{};
    data->dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
    data->nFileSizeLow = 271360;
    data->ftLastWriteTime.dwLowDateTime = 12345;
    return TRUE;
}

TEST_F(WriteWatchTest, TheWriteCountIsReadBesideTheFilesWithTheLogsOwnLinesCountedOut)
{
    // With a file watched, without one (a server store only, a file gone): the count is read at
    // every sample. Outlook's writes up to the threshold are quiet however many log lines the
    // add-in writes meanwhile, one byte more is writing.
    ScopedTempDir dir;
    const std::vector<std::vector<StoreFile>> lists = {
        {{1, L"C:\\Users\\kim\\Outlook.pst"}}, {{1, L""}}, {{1, Wide(dir.file("gone.pst"))}}};
    UseIoCounterReader(LogAndOutlookCounters);
    UseFileAttributeReader(StillFile);
    for (const auto& stores : lists) {
        WriteWatch watch(stores);
        struct Step {
            ULONGLONG outlookBytes;
            int logLines; // written between the samples
            bool writing;
        };
        const Step steps[] = {
            {0, 0, false},
            {kQuietWriteBytesPerSample, 40, false},
            {kQuietWriteBytesPerSample + 1, 0, true},
            {0, 0, false}, // the "[WRITING]" line the previous sample wrote is the add-in's own
            {64 * 1024, 0, true},
        };
        for (const Step& step : steps) {
            g_outlookWrites += step.outlookBytes;
            for (int i = 0; i < step.logLines; ++i)
                LogMessage(0, "a line the add-in writes meanwhile, %d", i);
            EXPECT_EQ(watch.Sample(), step.writing) << step.outlookBytes << " bytes, " << step.logLines << " lines";
        }
        EXPECT_EQ(watch.LastChanged(), L"") << "the count names no file";
    }
    EXPECT_TRUE(Logged("ShutdownThread<WaitForWrites> ==> [WRITING] " + std::to_string(kQuietWriteBytesPerSample + 1) +
                       " bytes"));
    EXPECT_TRUE(Logged("ShutdownThread<WaitForWrites> ==> [NOT WATCHED] " + dir.file("gone.pst") + ": error 2"));
    EXPECT_TRUE(Logged("ShutdownThread<WaitForWrites> ==> [WATCHING] the process's write counter "));
}

} // namespace
