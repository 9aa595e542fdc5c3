// What the hold before Outlook's end counts as writing: a watched store file whose size or
// last-write time changed between two samples, or, when no file can be watched, more bytes
// written by the process than the quiet threshold (through a stand-in for the counters: Wine
// answers zeros).
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
    WriteWatch watch({L"", pst, ost});
    EXPECT_FALSE(watch.WatchesCounter());
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
        WriteWatch watch({store});
        EXPECT_FALSE(watch.WatchesCounter()) << "the file could not be read";
        Append(prefix + store, "more");
        EXPECT_TRUE(watch.Sample());
    }
    DeleteFileW((prefix + store).c_str());
    for (auto it = made.rbegin(); it != made.rend(); ++it)
        RemoveDirectoryW((prefix + *it).c_str());
}

// The counters as a stand-in gives them: each read adds the next step to the bytes written.
std::atomic<ULONGLONG> g_written{0};
std::vector<ULONGLONG> g_steps;
std::atomic<size_t> g_reads{0};
BOOL WINAPI SteppingCounters(HANDLE, IO_COUNTERS* counters)
{
    const size_t read = g_reads++;
    if (read < g_steps.size())
        g_written += g_steps[read];
    *counters = IO_COUNTERS{};
    counters->WriteTransferCount = g_written.load();
    return TRUE;
}

TEST_F(WriteWatchTest, WithoutAFileTheProcessCounterStandsInAboveTheQuietThreshold)
{
    // No path, only a server store, or files that no longer exist: the counter is watched.
    ScopedTempDir dir;
    const std::vector<std::vector<std::wstring>> noFile = {{}, {L""}, {Wide(dir.file("gone.pst"))}};
    for (const auto& paths : noFile) {
        g_written = 1000000;
        g_reads = 0;
        // First read: the baseline; then a second of log lines, a store being flushed, quiet.
        g_steps = {0, kQuietWriteBytesPerSample, kQuietWriteBytesPerSample + 1, 0};
        UseIoCounterReader(SteppingCounters);
        WriteWatch watch(paths);
        EXPECT_TRUE(watch.WatchesCounter());
        EXPECT_FALSE(watch.Sample()) << "the add-in's own writes are no write of Outlook's";
        EXPECT_TRUE(watch.Sample());
        EXPECT_FALSE(watch.Sample());
        EXPECT_EQ(watch.LastChanged(), L"");
    }
    EXPECT_TRUE(Logged("ShutdownThread<WaitForWrites> ==> [NOT WATCHED] " + dir.file("gone.pst") + ": error 2"));
    EXPECT_TRUE(Logged("ShutdownThread<WaitForWrites> ==> [WATCHING] the process's write counter "));
}

} // namespace
