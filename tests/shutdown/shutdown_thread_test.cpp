// The shutdown worker against a fake owner: the running flag, the stop event and the answer to
// its request to Outlook are the test's. The worker with the real connection object and Outlook
// is tested in tests/addin. Where a fault would let the worker end the process, the case runs in
// a child process.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>
#include <commctrl.h>

#include "win32/raii.h"
#include "log/crash_record.h"
#include "log/event_log.h"
#include "log/log_file.h"
#include "resource_ids/resource.h"
#include "settings/settings_store.h"
#include "shutdown/process_closer.h"
#include "shutdown/shutdown_owner.h"
#include "shutdown/shutdown_thread.h"
#include "shutdown/write_watch.h"
#include "support/child_process.h"
#include "support/fake_app.h"
#include "support/policy_keys.h"
#include "support/test_support.h"

namespace {

// What a request to Outlook answers when one of its calls failed with hr.
OutlookEndAnswer FailedWith(HRESULT hr)
{
    OutlookEndAnswer answer;
    answer.outcome = OutlookEndOutcome::Failed;
    answer.result = hr;
    return answer;
}

// Stands in for the connection object. Its request to Outlook answers `answer` (Outlook asked,
// with `dataFiles`, unless a test sets it), counts the calls and signals Asked(). The worker is
// handed the version "16.0.1.2".
class FakeOwner final : public ShutdownOwner {
public:
    explicit FakeOwner(bool running = true) : m_state(running ? kRunning : kIdle) {}

    bool IsRunning() const noexcept override { return m_state.load() == kRunning; }
    bool DecideToEnd() noexcept override { return Move(kEnding); }
    HANDLE StopEvent() const noexcept override { return m_stop.get(); }
    OutlookEndAnswer AskOutlookToEnd() noexcept override
    {
        ++m_asks;
        OutlookEndAnswer result;
        result.outcome = OutlookEndOutcome::Asked;
        result.result = S_OK;
        result.dataFiles = dataFiles;
        if (answer)
            result = answer();
        SetEvent(m_asked.get());
        return result;
    }

    // Ends the run as the connection object's final release does: when it comes before the
    // worker's decision, the run is over and the stop event set; after it, nothing changes.
    // True when it came first; `cameFirst` (may be null) gets the same answer before the stop
    // event wakes the worker, so that a test reading it once the worker has returned sees it.
    bool Stop(std::atomic<int>* cameFirst = nullptr)
    {
        const bool first = Move(kReleased);
        if (cameFirst)
            *cameFirst = first ? 1 : 0;
        if (first)
            SetEvent(m_stop.get());
        return first;
    }
    bool Decided() const { return m_state.load() == kEnding; }
    int Asks() const { return m_asks.load(); }
    HANDLE Asked() const { return m_asked.get(); }
    // The thread routine's parameter, made as the connection object makes it: the routine
    // deletes it.
    LPVOID Parameter() { return new ShutdownStart{this, "16.0.1.2"}; }

    std::function<OutlookEndAnswer()> answer;
    OutlookDataFiles dataFiles{S_OK, {}};

private:
    enum State { kIdle, kRunning, kEnding, kReleased };
    bool Move(State to)
    {
        int expected = kRunning;
        return m_state.compare_exchange_strong(expected, to);
    }

    std::atomic<int> m_state;
    std::atomic<int> m_asks{0};
    UniqueHandle m_stop{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    UniqueHandle m_asked{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
};

class ShutdownThreadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DeleteSettingsKeys();
        SetStringSetting(HKEY_CURRENT_USER, "ShowExitDialog", "1");
    }
    void TearDown() override { DeleteSettingsKeys(); }
};

TEST_F(ShutdownThreadTest, WithTheFlagClearItDoesNothing)
{
    FakeOwner owner(false);
    EXPECT_EQ(ShutdownThread(owner.Parameter()), 0u);
    EXPECT_EQ(owner.Asks(), 0);
    EXPECT_EQ(OwnExitDialog(), nullptr);
}

TEST_F(ShutdownThreadTest, StopDuringTheCountdownEndsTheRunWithoutTermination)
{
    SetStringSetting(HKEY_CURRENT_USER, "Delay", "30");
    FakeOwner owner;
    UniqueHandle worker(CreateThread(nullptr, 0, ShutdownThread, owner.Parameter(), 0, nullptr));
    ASSERT_TRUE(worker);
    ASSERT_EQ(WaitForSingleObject(owner.Asked(), 30000), WAIT_OBJECT_0);
    HWND dialog = OwnExitDialog();
    ASSERT_NE(dialog, nullptr) << "the countdown shows";

    owner.Stop(); // this process is not ended: the flag is clear
    ASSERT_EQ(WaitForSingleObject(worker.get(), 30000), WAIT_OBJECT_0) << "the worker still counts down";
    DWORD code = 1;
    GetExitCodeThread(worker.get(), &code);
    EXPECT_EQ(code, 0u);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(owner.Asks(), 1);
}

TEST_F(ShutdownThreadTest, TheAnswerToTheRequestDecidesTheRest)
{
    // A failed request ends the run at once with the flag still set: Outlook's windows are
    // left alone. A stop that came while it waited lets the run wind down with the flag clear,
    // which still asks Outlook's windows to close. Neither may end the process: a run that went
    // on with the flag set would end it one second later.
    SetStringSetting(HKEY_CURRENT_USER, "Delay", "1");
    struct Case {
        const char* name;
        OutlookEndOutcome outcome;
        HRESULT result;
        bool stopWhileAsking; // and so Outlook's windows are asked to close
    };
    const Case cases[] = {
        {"Outlook call failed", OutlookEndOutcome::Failed, E_FAIL, false},
        {"Outlook thread never answered", OutlookEndOutcome::TimedOut, HRESULT_FROM_WIN32(ERROR_TIMEOUT), false},
        {"stopped while asking", OutlookEndOutcome::Stopped, S_OK, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectInChildProcess([&] {
            ScopedTempDir dir;
            FakeApp outlook(FakeImage::Outlook, "A", "pump", dir);
            ASSERT_TRUE(outlook.ready());
            FakeOwner owner;
            owner.answer = [&owner, &c] {
                if (c.stopWhileAsking)
                    owner.Stop();
                OutlookEndAnswer answer = FailedWith(c.result);
                answer.outcome = c.outcome;
                return answer;
            };
            EXPECT_EQ(ShutdownThread(owner.Parameter()), 0u);
            EXPECT_EQ(owner.Asks(), 1);
            EXPECT_EQ(owner.IsRunning(), !c.stopWhileAsking);
            EXPECT_EQ(OwnExitDialog(), nullptr) << "the dialog goes with the run";
            const std::vector<std::string> closing = {"child0 WM_CLOSE", "child0 WM_QUIT"};
            EXPECT_EQ(outlook.Record(), c.stopWhileAsking ? closing : std::vector<std::string>{});
        });
    }
}

// The three settings that the worker reads come from the policies when an administrator
// enforces them: the machine's over the user's, either over the user's own value, as REG_DWORD
// or as REG_SZ. What the worker did is seen inside its request to Outlook, which then fails so
// that the run ends at once: the dialog and its bar's range (the Delay that would be counted
// down), and the WM_CLOSE and WM_QUIT that a background Word took.
TEST_F(ShutdownThreadTest, EnforcedSettingsDecideTheRun)
{
    struct Case {
        const char* own[3];  // the user's Delay, ShowExitDialog, CloseWinWord
        DWORD enforced[3];   // the value that must win
        DWORD losing[3];     // the user's policy, when both policies hold one
        bool dialog;
        int range;           // of the dialog's bar
        bool wordClosed;
    };
    const Case cases[] = {
        {{"30", "0", "0"}, {7, 1, 1}, {12, 0, 0}, true, 7, true},
        {{"30", "1", "1"}, {5, 0, 0}, {9, 1, 1}, false, 0, false},
    };
    ExpectInChildProcess([&cases] {
        ScopedPolicyKeys policies;
        const char* const names[] = {"Delay", "ShowExitDialog", "CloseWinWord"};
        for (const Case& c : cases)
            for (PolicySource source : {PolicySource::Machine, PolicySource::User, PolicySource::Both})
                for (PolicyType type : {PolicyType::Dword, PolicyType::String}) {
                    SCOPED_TRACE(std::string(PolicySourceName(source)) + " " + PolicyTypeName(type) + ", enforced " +
                                 (c.dialog ? "on" : "off"));
                    DeleteSettingsKeys();
                    DeletePolicyKeys();
                    for (int i = 0; i < 3; ++i) {
                        SetStringSetting(HKEY_CURRENT_USER, names[i], c.own[i]);
                        EnforcePolicy(source, names[i], type, c.enforced[i], c.losing[i]);
                    }
                    ScopedTempDir dir;
                    FakeApp word(FakeImage::LowerWinword, "A", "pump", dir);
                    ASSERT_TRUE(word.ready());
                    FakeOwner owner;
                    bool dialogShown = false;
                    int range = -1;
                    std::vector<std::string> wordRecord;
                    owner.answer = [&] {
                        HWND dialog = OwnExitDialog();
                        dialogShown = dialog != nullptr;
                        if (dialog)
                            range = static_cast<int>(
                                SendDlgItemMessageA(dialog, IDC_EXIT_PROGRESS, PBM_GETRANGE, FALSE, 0));
                        wordRecord = word.Record();
                        return FailedWith(E_FAIL);
                    };
                    EXPECT_EQ(ShutdownThread(owner.Parameter()), 0u);
                    EXPECT_EQ(owner.Asks(), 1);
                    EXPECT_EQ(dialogShown, c.dialog);
                    if (c.dialog) {
                        EXPECT_EQ(range, c.range) << "the Delay counted down";
                    }
                    const std::vector<std::string> closed = {"child0 WM_CLOSE", "child0 WM_QUIT"};
                    EXPECT_EQ(wordRecord, c.wordClosed ? closed : std::vector<std::string>{});
                }
    });
}

TEST_F(ShutdownThreadTest, CloseWinWordLeavesAWordTheUserSeesOpen)
{
    // A Word with a window on the screen may hold unsaved documents: WM_CLOSE brings up its
    // save prompt and the WM_QUIT right behind it ends Word, prompt and documents with it. Only
    // a Word without a visible top-level window is asked to close; one the user sees is left
    // open and named in the log. The seen one's visible window lies below a hidden one. A
    // background Word whose first window is no app window is not reached either.
    SetStringSetting(HKEY_CURRENT_USER, "CloseWinWord", "1");
    SetStringSetting(HKEY_CURRENT_USER, "ShowExitDialog", "0");
    ExpectInChildProcess([] {
        ScopedTempDir dir;
        FakeApp seen(FakeImage::LowerWinword, "AV", "pump", dir);
        FakeApp background(FakeImage::UpperWinword, "A", "pump", dir);
        FakeApp unreached(FakeImage::LowerWinword, "NA", "pump", dir);
        ASSERT_TRUE(seen.ready() && background.ready() && unreached.ready());
        ASSERT_NE(OpenAddinLog(), nullptr);
        FakeOwner owner;
        owner.answer = [] { return FailedWith(E_FAIL); }; // the run ends after the Word step, Outlook is left alone
        EXPECT_EQ(ShutdownThread(owner.Parameter()), 0u);

        EXPECT_EQ(seen.Record(), std::vector<std::string>{});
        EXPECT_EQ(background.Record(), (std::vector<std::string>{"child0 WM_CLOSE", "child0 WM_QUIT"}));
        EXPECT_EQ(unreached.Record(), std::vector<std::string>{});
        const std::vector<std::string> log = AddinLogMessages();
        const std::string leftOpen = "ShutdownThread<CloseWinWord> ==> [VISIBLE, LEFT OPEN] " + std::to_string(seen.id());
        EXPECT_EQ(std::count(log.begin(), log.end(), leftOpen), 1) << "in the add-in's log";
        LogFile::DestroyInstance();
    });
}

// The Event Log as the worker's entries reach it: the IDs and strings written, in order. At the
// entry named by g_releaseAt the owner's final release comes (g_releaseCameFirst: whether it
// won the race); the entry is then held until g_holdUntil is signalled, when a test sets it.
std::mutex g_eventsLock;
std::vector<std::pair<DWORD, std::vector<std::wstring>>> g_events;
FakeOwner* g_owner = nullptr;
DWORD g_releaseAt = 0;
std::atomic<int> g_releaseCameFirst{-1};
HANDLE g_holdUntil = nullptr;
DWORD RecordAndReleaseAt(WORD, DWORD id, const wchar_t* const* strings, WORD count) noexcept
{
    {
        std::lock_guard<std::mutex> lock(g_eventsLock);
        g_events.push_back({id, std::vector<std::wstring>(strings, strings + count)});
    }
    if (id == g_releaseAt) {
        (void)g_owner->Stop(&g_releaseCameFirst);
        if (g_holdUntil)
            WaitForSingleObject(g_holdUntil, 30000);
    }
    return ERROR_SUCCESS;
}

std::vector<DWORD> EventIds()
{
    std::lock_guard<std::mutex> lock(g_eventsLock);
    std::vector<DWORD> ids;
    for (const auto& event : g_events)
        ids.push_back(event.first);
    return ids;
}

// The termination fails, as for a process that may not end itself: the worker goes on. Each
// attempt is counted.
std::atomic<int> g_terminations{0};
BOOL WINAPI DeniedTermination(HANDLE, UINT)
{
    ++g_terminations;
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

bool LogHasLineStartingWith(const std::vector<std::string>& log, const std::string& start)
{
    return std::any_of(log.begin(), log.end(), [&start](const std::string& line) { return line.rfind(start, 0) == 0; });
}

TEST_F(ShutdownThreadTest, AReleaseAfterTheDecisionChangesNothingAndAFailedEndIsReported)
{
    // The worker decided to end Outlook and reports it; Outlook lets go of the add-in during that
    // write. The release has lost: no 1001 follows, the worker goes on to the termination. That
    // fails here (a stand-in; Windows lets a process end itself), which is logged and reported.
    SetStringSetting(HKEY_CURRENT_USER, "Delay", "0");
    SetStringSetting(HKEY_CURRENT_USER, "ShowExitDialog", "0");
    ExpectInChildProcess([] {
        ScopedTempDir dir;
        FakeApp outlook(FakeImage::Outlook, "A", "pump", dir);
        ASSERT_TRUE(outlook.ready());
        ASSERT_NE(OpenAddinLog(), nullptr);
        FakeOwner owner;
        g_owner = &owner;
        g_releaseAt = VANTREL_EVENT_OUTLOOK_ENDED;
        UseEventWriter(RecordAndReleaseAt);
        UseProcessTerminator(DeniedTermination);

        EXPECT_EQ(ShutdownThread(owner.Parameter()), 0u);
        EXPECT_EQ(g_releaseCameFirst.load(), 0) << "the release came after the decision";
        EXPECT_TRUE(owner.Decided());
        EXPECT_EQ(EventIds(), (std::vector<DWORD>{VANTREL_EVENT_OUTLOOK_ENDED, VANTREL_EVENT_TERMINATION_FAILED}));
        {
            std::lock_guard<std::mutex> lock(g_eventsLock);
            EXPECT_EQ(g_events.back().second, (std::vector<std::wstring>{L"5", L"16.0.1.2"}));
        }
        const std::vector<std::string> log = AddinLogMessages();
        EXPECT_EQ(std::count(log.begin(), log.end(), "ShutdownThread<Terminate> ==> [FAILED 5]"), 1);
        UseProcessTerminator(nullptr);
        UseEventWriter(nullptr);
        LogFile::DestroyInstance();
    });
}

TEST_F(ShutdownThreadTest, AReleaseEndsTheWaitForTheFailedCallsEntryAtOnce)
{
    // An Outlook call failed and the worker reports it; Outlook lets go of the add-in while the
    // entry is still being written (held here). Outlook's thread now waits for the worker, which
    // stops waiting for the entry at once: no time-out is logged.
    ExpectInChildProcess([] {
        ASSERT_NE(OpenAddinLog(), nullptr);
        UniqueHandle hold(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        FakeOwner owner;
        owner.answer = [] { return FailedWith(E_FAIL); };
        g_owner = &owner;
        g_releaseAt = VANTREL_EVENT_OUTLOOK_CALL_FAILED;
        g_holdUntil = hold.get();
        UseEventWriter(RecordAndReleaseAt);

        EXPECT_EQ(ShutdownThread(owner.Parameter()), 0u);
        EXPECT_EQ(g_releaseCameFirst.load(), 1);
        const std::vector<std::string> log = AddinLogMessages();
        EXPECT_FALSE(LogHasLineStartingWith(log, "EventLog<ReportEvent> ==> [TIMED OUT]"))
            << "the worker waited out its entry after the release";
        SetEvent(hold.get()); // the writing thread finishes on its own
        UseEventWriter(nullptr);
        LogFile::DestroyInstance();
    });
}

// Outlook's own shutdown work: appends to the file every 100 ms until told to stop.
struct FileWriter {
    explicit FileWriter(const std::wstring& path) : m_path(path), m_thread([this] { Run(); }) {}
    ~FileWriter()
    {
        m_done = true;
        m_thread.join();
    }
    void Run()
    {
        while (!m_done) {
            UniqueFileHandle file(CreateFileW(m_path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
            DWORD written = 0;
            if (file)
                (void)WriteFile(file.get(), "mail", 4, &written, nullptr);
            Sleep(100);
        }
    }
    std::wstring m_path;
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

TEST_F(ShutdownThreadTest, TheBoundRunningOutIsReportedWithTheFileInUtf16)
{
    // A data file in a profile outside the ANSI code page, written without end: the hold's bound
    // runs out and the warning names the file whole. (The termination fails through a stand-in,
    // so that the run returns.)
    SetStringSetting(HKEY_CURRENT_USER, "Delay", "0");
    SetStringSetting(HKEY_CURRENT_USER, "ShowExitDialog", "0");
    SetStringSetting(HKEY_CURRENT_USER, SettingName(Setting::WaitForWrites), "1");
    ExpectInChildProcess([] {
        ScopedTempDir dir;
        const std::wstring folder = std::wstring(dir.path().begin(), dir.path().end()) + L"\\\u0141ukasz Ji\u0159\u00ED";
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
        const std::wstring store = folder + L"\\Outlook.pst";
        ASSERT_TRUE(UniqueFileHandle(CreateFileW(store.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr)));
        FakeOwner owner;
        owner.dataFiles.stores = {{1, store}};
        g_owner = &owner;
        g_releaseAt = 0;
        UseEventWriter(RecordAndReleaseAt);
        UseProcessTerminator(DeniedTermination);
        {
            FileWriter writer(store);
            EXPECT_EQ(ShutdownThread(owner.Parameter()), 0u);
        }
        EXPECT_EQ(EventIds(), (std::vector<DWORD>{VANTREL_EVENT_OUTLOOK_ENDED, VANTREL_EVENT_WRITES_NOT_FINISHED,
                                                  VANTREL_EVENT_TERMINATION_FAILED}));
        std::lock_guard<std::mutex> lock(g_eventsLock);
        ASSERT_EQ(g_events.size(), 3u);
        EXPECT_EQ(g_events[0].second.back(), L"1") << "the seconds given for the writes";
        EXPECT_EQ(g_events[1].second, (std::vector<std::wstring>{store, L"1"}));
        UseProcessTerminator(nullptr);
        UseEventWriter(nullptr);
        DeleteFileW(store.c_str());
        RemoveDirectoryW(folder.c_str());
    });
}

TEST(ParseDelay, FollowsStrtol)
{
    struct Case {
        const char* text;
        int expected;
    };
    const Case cases[] = {{"10", 10}, {"10abc", 10}, {"0", 0}, {"", 0}, {"-5", -5}, {"abc", 0},
                          {"  7", 7}, {"+3", 3}, {"99999999999", INT_MAX}, {"-99999999999", INT_MIN}};
    for (const Case& c : cases)
        EXPECT_EQ(ParseDelay(c.text), c.expected) << c.text;
}

// The hold as Windows shows Outlook's writes: a store rewritten in place keeps its size and
// last-write time while its handle is open (a stand-in for the attribute reader), and the
// process's write count grows (a stand-in for the counters, which Wine answers with zeros).
// Each read of the counters is a mark: the baseline, one at each second of the wind-down, then
// one at each sample of the hold.
std::atomic<int> g_counterReads{0};
std::atomic<int> g_growingReads{0}; // the reads after the baseline that find 64 KiB more written
std::atomic<int> g_stopAtRead{INT_MAX}; // at this read the stop event is set, the run left on
BOOL WINAPI FlushingCounters(HANDLE, IO_COUNTERS* counters)
{
    const int read = g_counterReads++;
    if (read == g_stopAtRead.load())
        SetEvent(g_owner->StopEvent());
    WIN32_FILE_ATTRIBUTE_DATA log{};
    const std::string path = AddinLogPath(); // the add-in's own lines are in the real count too
    (void)GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &log);
    const int grown = std::min(read, g_growingReads.load());
    *counters = IO_COUNTERS{};
    counters->WriteTransferCount = log.nFileSizeLow + static_cast<ULONGLONG>(grown) * 64 * 1024;
    return TRUE;
}

std::atomic<int> g_attributeReads{0};
std::atomic<int> g_slowFromRead{INT_MAX}; // reads from this one on (0-based) take 3 s
std::atomic<bool> g_releaseInSlowRead{false};
BOOL WINAPI StillStore(LPCWSTR, GET_FILEEX_INFO_LEVELS, LPVOID information)
{
    if (g_attributeReads++ >= g_slowFromRead.load()) {
        if (g_releaseInSlowRead.exchange(false))
            g_owner->Stop(); // Outlook lets go of the add-in while the sample is under way
        Sleep(3000);
    }
    auto* data = static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(information);
    *data = WIN32_FILE_ATTRIBUTE_DATA{};
    data->dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
    data->nFileSizeLow = 271360;
    data->ftLastWriteTime.dwLowDateTime = 4711;
    return TRUE;
}

// Runs the worker in a child process against a store that stands still, with the stand-ins in
// place and the Event Log's entries recorded; the termination is denied, so that the run returns.
void RunAgainstAStillStore(const std::function<void(FakeOwner&)>& check)
{
    SetStringSetting(HKEY_CURRENT_USER, "Delay", "0");
    SetStringSetting(HKEY_CURRENT_USER, "ShowExitDialog", "0");
    ExpectInChildProcess([&] {
        ASSERT_NE(OpenAddinLog(), nullptr);
        FakeOwner owner;
        owner.dataFiles.stores = {{1, L"C:\\Users\\kim\\Outlook.pst"}};
        g_owner = &owner;
        g_releaseAt = 0;
        UseEventWriter(RecordAndReleaseAt);
        UseProcessTerminator(DeniedTermination);
        UseIoCounterReader(FlushingCounters);
        UseFileAttributeReader(StillStore);
        EXPECT_EQ(ShutdownThread(owner.Parameter()), 0u);
        check(owner);
        UseFileAttributeReader(nullptr);
        UseIoCounterReader(nullptr);
        UseProcessTerminator(nullptr);
        UseEventWriter(nullptr);
        LogFile::DestroyInstance();
    });
}

// The hold's log lines after the wind-down, without their prefix.
std::vector<std::string> HoldLinesAfterTheWindDown()
{
    const std::string prefix = "ShutdownThread<WaitForWrites> ==> ";
    const std::vector<std::string> log = AddinLogMessages();
    auto line = std::find(log.begin(), log.end(), "ShutdownThread<WindDown> ==> [DONE]");
    std::vector<std::string> lines;
    for (line = line == log.end() ? line : line + 1; line != log.end(); ++line)
        if (line->rfind(prefix, 0) == 0)
            lines.push_back(line->substr(prefix.size()));
    return lines;
}

std::vector<std::wstring> EventStrings(size_t index)
{
    std::lock_guard<std::mutex> lock(g_eventsLock);
    return index < g_events.size() ? g_events[index].second : std::vector<std::wstring>{};
}

TEST_F(ShutdownThreadTest, AStoreRewrittenInPlaceHoldsTheEndUntilTheCountStopsGrowing)
{
    // The count grows through the wind-down and three samples after it, then stands still: the
    // end comes at the second quiet sample, and nothing is sampled after it.
    SetStringSetting(HKEY_CURRENT_USER, SettingName(Setting::WaitForWrites), "30");
    g_growingReads = 5;
    RunAgainstAStillStore([](FakeOwner&) {
        const std::string writing = "[WRITING] 65536 bytes";
        const std::vector<std::string> lines = HoldLinesAfterTheWindDown();
        ASSERT_EQ(lines.size(), 6u);
        EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 5),
                  (std::vector<std::string>{writing, writing, writing, "[QUIET 1]", "[QUIET 2]"}));
        EXPECT_EQ(lines[5].rfind("[ENDED] quiet, ", 0), 0u) << lines[5];
        EXPECT_EQ(g_counterReads.load(), 1 + 2 + 5) << "the baseline, the wind-down, five samples";
        EXPECT_EQ(EventIds(), (std::vector<DWORD>{VANTREL_EVENT_OUTLOOK_ENDED, VANTREL_EVENT_TERMINATION_FAILED}));
    });
}

TEST_F(ShutdownThreadTest, AQuietOutlookIsEndedAtTheFirstSampleASecondAfterTheClose)
{
    // The count is read and shows nothing: the wind-down's two quiet samples, then one sample a
    // second after the close messages, and the end: one second later than without the hold.
    SetStringSetting(HKEY_CURRENT_USER, SettingName(Setting::WaitForWrites), "30");
    g_growingReads = 0;
    RunAgainstAStillStore([](FakeOwner&) {
        EXPECT_EQ(HoldLinesAfterTheWindDown(),
                  (std::vector<std::string>{"[QUIET 3]", "[ENDED] quiet, 1 s after the wind-down"}));
        EXPECT_EQ(g_counterReads.load(), 1 + 2 + 1);
        EXPECT_EQ(EventStrings(0).back(), L"1") << "event 1000's extra seconds";
    });
}

TEST_F(ShutdownThreadTest, AStopWhileTheRunIsOnKeepsTheSamplesASecondApart)
{
    // The stop event is set at the hold's first sample while the run stays on, and the count
    // grows once more: the two quiet samples that end the hold are still a second apart each,
    // not taken back to back at the stop.
    SetStringSetting(HKEY_CURRENT_USER, SettingName(Setting::WaitForWrites), "30");
    g_growingReads = 4;
    g_stopAtRead = 3;
    RunAgainstAStillStore([](FakeOwner& owner) {
        EXPECT_TRUE(owner.Decided());
        const std::string writing = "[WRITING] 65536 bytes";
        const std::vector<std::string> lines = HoldLinesAfterTheWindDown();
        ASSERT_EQ(lines.size(), 5u);
        EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 4),
                  (std::vector<std::string>{writing, writing, "[QUIET 1]", "[QUIET 2]"}));
        // Samples at 1, 2, 3 and 4 s after the close; back to back they would all fall in the
        // first second.
        int seconds = 0;
        ASSERT_EQ(std::sscanf(lines[4].c_str(), "[ENDED] quiet, %d s", &seconds), 1) << lines[4];
        EXPECT_GE(seconds, 3) << lines[4];
    });
}

TEST_F(ShutdownThreadTest, ASlowSampleCannotStretchTheBound)
{
    // Every sample after the wind-down takes 3 s, and the count never stops growing, under a
    // bound of 5 s: the hold ends at the bound plus at most one sample, after two samples at
    // most (counted in steps of a second it would take five, 20 s). A release during a slow
    // sample ends the run without ending Outlook.
    SetStringSetting(HKEY_CURRENT_USER, SettingName(Setting::WaitForWrites), "5");
    for (const bool release : {false, true}) {
        SCOPED_TRACE(release ? "released during the sample" : "not released");
        g_growingReads = INT_MAX;
        g_slowFromRead = 3; // the first read and the wind-down's two are quick
        g_releaseInSlowRead = release;
        RunAgainstAStillStore([release](FakeOwner& owner) {
            const int slowSamples = g_attributeReads.load() - 3;
            if (!release) {
                EXPECT_GE(slowSamples, 1);
                EXPECT_LE(slowSamples, 2);
                EXPECT_TRUE(owner.Decided());
                EXPECT_EQ(EventIds(), (std::vector<DWORD>{VANTREL_EVENT_OUTLOOK_ENDED,
                                                          VANTREL_EVENT_WRITES_COUNTED_NOT_FINISHED,
                                                          VANTREL_EVENT_TERMINATION_FAILED}));
                const std::vector<std::wstring> ended = EventStrings(0);
                ASSERT_FALSE(ended.empty());
                const int extra = std::stoi(ended.back());
                EXPECT_GE(extra, 5);
                EXPECT_LE(extra, 5 + 3) << "the bound plus one sample";
                EXPECT_EQ(EventStrings(1), std::vector<std::wstring>{L"5"}) << "the count alone saw the writes";
            } else {
                EXPECT_EQ(slowSamples, 1);
                EXPECT_FALSE(owner.Decided());
                EXPECT_EQ(g_terminations.load(), 0);
                EXPECT_EQ(EventIds(), std::vector<DWORD>{VANTREL_EVENT_OUTLOOK_LET_GO});
                const std::vector<std::string> lines = HoldLinesAfterTheWindDown();
                ASSERT_FALSE(lines.empty());
                EXPECT_EQ(lines.back().rfind("[ENDED] add-in released, ", 0), 0u) << lines.back();
            }
        });
    }
}

} // namespace

TEST_F(ShutdownThreadTest, TheWorkersOwnFilterWritesTheCrashRecord)
{
    // A fault on the worker's thread, with no other filter of the add-in's in this program: the
    // worker's filter, in place from the start of its run, records it and ends the process.
    SetStringSetting(HKEY_CURRENT_USER, "ShowExitDialog", "0");
    char base[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, base);
    const std::string folder = std::string(base) + "vantrel-worker-fault"; // the child runs this again
    DeleteTree(folder);
    CreateDirectoryA(folder.c_str(), nullptr);
    EXPECT_EXIT(
        {
            PrepareCrashRecord(Wide(folder));
            FakeOwner owner;
            owner.answer = [] {
                *static_cast<volatile int*>(nullptr) = 1;
                return FailedWith(S_OK);
            };
            UniqueHandle worker(CreateThread(nullptr, 0, ShutdownThread, owner.Parameter(), 0, nullptr));
            WaitForSingleObject(worker.get(), 30000);
            std::_Exit(kChildPassed); // not reached: the fault ends the process
        },
        ::testing::ExitedWithCode(static_cast<int>(EXCEPTION_ACCESS_VIOLATION)), "");
    const std::string written = ReadWholeFile(folder + "\\Vantrel.crash.log");
    EXPECT_NE(written.find(" UTC exception 0xC0000005 at shutdown_tests.exe+0x"), std::string::npos) << written;
    EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 1) << written;
    DeleteTree(folder);
}
