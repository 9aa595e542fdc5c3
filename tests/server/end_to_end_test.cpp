// The simulated Outlook (OUTLOOK.EXE) run as a child process with the add-in, loaded from
// Outlook's Addins key as Outlook loads it (Vantrel.dll registered by regsvr32) or created
// directly from the code linked into the simulator; the shutdown scenarios run both ways.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cctype>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <tuple>

#include <shlobj.h>

#include "server_test_support.h"
#include "support/policy_keys.h"
#include "support/simulated_outlook.h"
#include "support/test_support.h"

namespace {

using Lines = std::vector<std::string>;
using Event = SimulatedOutlook::Event;

constexpr unsigned kInformation = EVENTLOG_INFORMATION_TYPE;
constexpr unsigned kWarning = EVENTLOG_WARNING_TYPE;
constexpr unsigned kError = EVENTLOG_ERROR_TYPE;
// Stands for a number of seconds measured by the worker, which the test does not fix.
const char kSeconds[] = "<seconds>";

bool IsDecimal(const std::string& text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
}

// Success when the reports are the expected ones, in order: type, ID and strings.
::testing::AssertionResult EventsAre(const std::vector<Event>& actual, const std::vector<Event>& expected)
{
    auto describe = [](const std::vector<Event>& events) {
        std::string text;
        for (const Event& event : events) {
            text += "\n  type " + std::to_string(event.type) + " id " + std::to_string(event.id) + ":";
            for (const std::string& inserted : event.strings)
                text += " \"" + inserted + "\"";
        }
        return text.empty() ? std::string(" (none)") : text;
    };
    bool same = actual.size() == expected.size();
    for (size_t i = 0; same && i < actual.size(); ++i) {
        same = actual[i].type == expected[i].type && actual[i].id == expected[i].id &&
               actual[i].strings.size() == expected[i].strings.size();
        for (size_t j = 0; same && j < actual[i].strings.size(); ++j)
            same = expected[i].strings[j] == kSeconds ? IsDecimal(actual[i].strings[j])
                                                      : actual[i].strings[j] == expected[i].strings[j];
    }
    if (same)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "reported:" << describe(actual) << "\nexpected:" << describe(expected);
}

class EndToEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DeleteRegistration();
        DeleteSettingsKeys();
        ASSERT_EQ(RunRegsvr32("/s \"" + ServerDllPath() + "\""), 0u);
        SetStringSetting(HKEY_CURRENT_USER, "Enabled", "1");
        SetStringSetting(HKEY_CURRENT_USER, "Delay", "1");
    }
    void TearDown() override
    {
        RunRegsvr32("/s /u \"" + ServerDllPath() + "\"");
        DeleteRegistration();
        DeleteSettingsKeys();
    }
};

// How the simulated Outlook gets the add-in: created directly from the code linked into it, or
// loaded as Outlook loads it, from the Addins key through the registered class.
enum class LoadPath { Direct, Registered };

struct Scenario {
    const char* name;
    const char* enabled;       // "Enabled"
    const char* delay;         // "Delay"
    const char* steps;         // the simulator's arguments after the load path
    long exitCode;             // 0: ended by the add-in; 3: Outlook's own exit
    Lines calls;               // the worker's Outlook calls
    const char* lastAddinLine; // the add-in's last log line, or null when not checked
    bool bystander;            // another Outlook without the add-in watches what it is sent
    std::vector<Event> events; // the Event Log's entries
};

// Names the scenario in the test's output.
void PrintTo(const Scenario& scenario, std::ostream* out)
{
    *out << scenario.name;
}

const Lines kAllCalls = {"call Session ok thread=main", "call Session ok thread=main", "call Logoff ok thread=main",
                         "call Quit ok thread=main"};

// The scenarios run with either load path.
// The simulator's Outlook answers Version with this.
const char kVersion[] = "16.0.17928.20114";

const Scenario kScenarios[] = {
    // Switched off by the user's own setting: nothing for the Event Log (only a policy is reported).
    {"DisabledAddinDoesNothing", "0", "1", "close-last exit", 3, {}, nullptr, false, {}},
    {"LastWindowClosedEndsOutlook", "1", "1", "close-last", 0, kAllCalls,
     "ShutdownThread<WaitForWrites> ==> [ENDED] quiet, 1 s after the wind-down" /* nothing after the decision */, true,
     {{kInformation, 1000, {"1", kSeconds, kVersion, "1"}}}},
    // Begun by Outlook's Quit, where no watcher read the Version before.
    {"QuitEventEndsOutlook", "1", "1", "quit-event", 0, kAllCalls,
     "ShutdownThread<WaitForWrites> ==> [ENDED] quiet, 1 s after the wind-down", false,
     {{kInformation, 1000, {"1", kSeconds, kVersion, "1"}}}},
    {"OutlookEndingByItselfAfterTheLastWindowIsLetAlone", "1", "20", "--on-quit exit close-last", 3, kAllCalls,
     "Connect<FinalRelease> ==> [HRES 00000000]", false, {{kInformation, 1001, {"20", kSeconds, kVersion}}}},
    {"OutlookEndingByItselfOnQuitIsLetAlone", "1", "20", "--on-quit exit quit-event", 3, kAllCalls,
     "Connect<FinalRelease> ==> [HRES 00000000]", false, {{kInformation, 1001, {"20", kSeconds, kVersion}}}},
    // Outlook lets go of the add-in inside Quit, while the worker waits for the call's answer:
    // the final release's stop ends that wait at once. Without it the worker would wait out the
    // bridge's time limit and report a call that did not answer (1002). The process ends inside
    // Quit, so the call's own record never reaches the log.
    {"OutlookLettingGoInsideQuitIsLetAlone", "1", "20", "--on-quit release close-last", 3,
     {"call Session ok thread=main", "call Session ok thread=main", "call Logoff ok thread=main"},
     "Connect<FinalRelease> ==> [HRES 00000000]", false, {{kInformation, 1001, {"20", kSeconds, kVersion}}}},
};

class ShutdownScenario : public EndToEndTest,
                         public ::testing::WithParamInterface<std::tuple<Scenario, LoadPath>> {};

// The WM_ lines of a log, in order.
Lines WindowMessages(const Lines& log)
{
    Lines messages;
    for (const std::string& line : log)
        if (line.rfind("WM_", 0) == 0)
            messages.push_back(line);
    return messages;
}

TEST_P(ShutdownScenario, RunsAsExpected)
{
    const Scenario& scenario = std::get<0>(GetParam());
    const bool direct = std::get<1>(GetParam()) == LoadPath::Direct;
    SetStringSetting(HKEY_CURRENT_USER, "Enabled", scenario.enabled);
    SetStringSetting(HKEY_CURRENT_USER, "Delay", scenario.delay);

    // A second Outlook process without the add-in shows what every OUTLOOK.EXE is sent; the
    // first one is terminated right after its own windows are posted to.
    std::unique_ptr<SimulatedOutlook> bystander;
    if (scenario.bystander) {
        bystander.reset(new SimulatedOutlook("--no-addins wait:60000"));
        ASSERT_TRUE(bystander->Started());
        ASSERT_TRUE(bystander->WaitForLine("started"));
    }

    SimulatedOutlook outlook(std::string(direct ? "--direct " : "") + "--version " + kVersion + " " + scenario.steps,
                             SimulatedOutlook::CaptureEvents{});
    ASSERT_TRUE(outlook.Started());
    EXPECT_EQ(outlook.WaitForExit(), scenario.exitCode);
    // The process has ended: every report it made is in.
    EXPECT_TRUE(EventsAre(outlook.Events(), scenario.events));
    const Lines log = outlook.Log();
    EXPECT_TRUE(Contains(log, direct ? "load direct 0x00000000" : "load Vantrel.Connect 0x00000000"));
    EXPECT_EQ(OutlookCalls(log), scenario.calls);
    if (scenario.exitCode == 3) {
        EXPECT_TRUE(Contains(log, "released add-ins"));
    } else {
        EXPECT_FALSE(Contains(log, "exit 3"));
    }

    const Lines addinLog = AddinLogMessages();
    ASSERT_FALSE(addinLog.empty());
    EXPECT_EQ(addinLog.front(), "Connect<FinalConstruct> ==> [HRES 00000000]");
    if (std::string(scenario.enabled) == "0") {
        // A shutdown can only begin inside the last window's close, on this thread: the one
        // that Outlook's own exit begins is the only one, and it starts nothing.
        EXPECT_EQ(std::count(addinLog.begin(), addinLog.end(), "Connect<OnBeginShutdown> ==> "), 1);
        const auto shutdown = std::find(addinLog.begin(), addinLog.end(), "Connect<OnBeginShutdown> ==> ");
        ASSERT_NE(shutdown, addinLog.end());
        ASSERT_NE(shutdown + 1, addinLog.end());
        EXPECT_EQ(*(shutdown + 1), "Connect<Addin_Enabled> ==> [DISABLED] ");
    }
    if (scenario.lastAddinLine) {
        EXPECT_EQ(addinLog.back(), scenario.lastAddinLine);
    }

    if (bystander) {
        // Each of its two top-level windows: WM_CLOSE to the topmost child, then WM_QUIT.
        ASSERT_TRUE(bystander->WaitForLog([](const Lines& lines) { return WindowMessages(lines).size() >= 4; }, 10000));
        const Lines messages = WindowMessages(bystander->Log());
        ASSERT_EQ(messages.size(), 4u);
        EXPECT_EQ(messages[1], "WM_QUIT");
        EXPECT_EQ(messages[3], "WM_QUIT");
        Lines closed = {messages[0], messages[2]};
        std::sort(closed.begin(), closed.end());
        EXPECT_EQ(closed, (Lines{"WM_CLOSE explorer", "WM_CLOSE main"}));
    }
}

INSTANTIATE_TEST_SUITE_P(EachLoadPath, ShutdownScenario,
                         ::testing::Combine(::testing::ValuesIn(kScenarios),
                                            ::testing::Values(LoadPath::Direct, LoadPath::Registered)),
                         [](const ::testing::TestParamInfo<std::tuple<Scenario, LoadPath>>& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) == LoadPath::Direct ? "_Direct" : "_Registered");
                         });

// Outlook leaving COM at its end while code of the add-in can still run: Windows then frees
// every DLL that COM loaded for the thread, whatever DllCanUnloadNow answers (the simulator's
// leave-com step does the same under Wine, and logs whether the DLL stayed mapped). The
// registered add-in, which only COM has loaded, must keep its DLL in place for as long as its
// code can run: the worker counting down and the final release that waits in Outlook's message
// loop pin it, an Event Log entry's thread holds it until the entry has returned. Where nothing
// holds it, it goes. A fault in the freed DLL ends the simulator with 0xC0000005; the worker's
// end of Outlook gives 0 and Outlook ending by itself 3.
struct TeardownCase {
    const char* name;
    const char* enabled;       // the user's "Enabled"
    bool disabledByPolicy;     // which an Event Log entry reports at start-up
    const char* steps;
    long exitCode;
    Lines afterLeavingCom;     // in the simulator's log after "left COM", in this order
    const char* lastAddinLine; // in the add-in's log, or null
};

void PrintTo(const TeardownCase& c, std::ostream* out)
{
    *out << c.name;
}

// Success when `expected` appears in `lines` from `from` on, in this order (others between).
::testing::AssertionResult InOrder(Lines::const_iterator from, Lines::const_iterator end, const Lines& expected)
{
    for (const std::string& line : expected) {
        from = std::find(from, end, line);
        if (from == end)
            return ::testing::AssertionFailure() << "\"" << line << "\" missing (or out of order)";
        ++from;
    }
    return ::testing::AssertionSuccess();
}

class ComTeardown : public EndToEndTest, public ::testing::WithParamInterface<TeardownCase> {};

TEST_P(ComTeardown, TheAddinsDllStaysWhileItsCodeCanRun)
{
    const TeardownCase& c = GetParam();
    SetStringSetting(HKEY_CURRENT_USER, "Delay", "2");
    SetStringSetting(HKEY_CURRENT_USER, "Enabled", c.enabled);
    std::unique_ptr<ScopedPolicyKeys> policies;
    if (c.disabledByPolicy) {
        policies.reset(new ScopedPolicyKeys);
        SetDwordPolicy(HKEY_CURRENT_USER, "Enabled", 0);
    }
    SimulatedOutlook outlook(c.steps);
    ASSERT_TRUE(outlook.Started());
    EXPECT_EQ(outlook.WaitForExit(), c.exitCode);
    const Lines log = outlook.Log();
    for (const std::string& line : log)
        if (line.rfind("access violation", 0) == 0)
            ADD_FAILURE() << line;
    EXPECT_TRUE(Contains(log, "load Vantrel.Connect 0x00000000"));
    const auto left = std::find(log.begin(), log.end(), "left COM");
    ASSERT_TRUE(left != log.end());
    EXPECT_TRUE(InOrder(left, log.end(), c.afterLeavingCom));
    const Lines addinLog = AddinLogMessages();
    ASSERT_FALSE(addinLog.empty());
    if (c.lastAddinLine) {
        EXPECT_EQ(addinLog.back(), c.lastAddinLine);
    }
}

INSTANTIATE_TEST_SUITE_P(
    AfterLeavingCom, ComTeardown,
    ::testing::Values(
        // Quit starts the worker; Outlook leaves COM while it counts down, holding the add-in
        // still. The worker counts on and ends the process (exit code 0, which nothing else
        // gives) long before the simulator would end by itself.
        TeardownCase{"WorkerCountingDown", "1", false, "quit-event wait-quit leave-com wait:30000 exit", 0,
                     {"Vantrel.dll still mapped"}, nullptr},
        // Outlook has let go of the add-in, which the user has just switched off (no worker),
        // before the last window closes: the final release is left to the message loop, and
        // Outlook leaves COM before its loop runs it.
        TeardownCase{"FinalReleaseFromTheMessageLoop", "1", false,
                     "release-addins setting:Enabled=0 close-last+leave-com wait:1000 exit", 3,
                     {"Vantrel.dll still mapped", "exit 3"}, "Connect<FinalRelease> ==> [HRES 00000000]"},
        // A policy keeps the add-in off, so nothing pins its DLL; the Event Log holds the entry
        // that says so until after Outlook has left COM. The entry's thread keeps the DLL until
        // it has returned into the add-in's code and ended, which the simulator awaits before
        // its process ends without another call to the add-in: then the DLL is gone.
        TeardownCase{"EventLogEntryStillBeingWritten", "1", true,
                     "--hold-events wait-held leave-com release-events wait-returned end-process", 3,
                     {"Vantrel.dll still mapped", "event returning", "held thread ended", "Vantrel.dll unmapped",
                      "ending the process"},
                     "EventLog<ReportEvent> ==> [TIMED OUT] 1003"},
        // The control: switched off by its user, the add-in starts no worker and writes no
        // entry, so nothing holds its DLL when Outlook leaves COM.
        TeardownCase{"NothingHoldsTheDll", "0", false, "leave-com end-process", 3,
                     {"Vantrel.dll unmapped", "ending the process"}, nullptr}),
    [](const ::testing::TestParamInfo<TeardownCase>& info) { return std::string(info.param.name); });

TEST_F(EndToEndTest, OutlookLettingGoAfterTheDecisionIsEndedAllTheSame)
{
    // The worker has decided to end Outlook and its entry (1000) is held by the Event Log; Outlook
    // then lets go of the add-in. The release comes too late: it neither adds a 1001 nor cuts the
    // worker's bounded wait for its entry, and the worker ends Outlook (exit code 0) rather than
    // hang with Outlook's thread waiting for it.
    SimulatedOutlook outlook("--hold-events close-last wait-held release-addins wait:30000 exit");
    ASSERT_TRUE(outlook.Started());
    EXPECT_EQ(outlook.WaitForExit(), 0) << "ended by the worker";
    const Lines log = outlook.Log();
    EXPECT_TRUE(Contains(log, "event held 1000"));
    EXPECT_TRUE(Contains(log, "step release-addins")) << "the release came while the entry was held";
    EXPECT_FALSE(Contains(log, "event held 1001")) << "a release that lost the race is not reported";
}

// One of the worker's Outlook calls fails: the run stops there, without closing Outlook's windows
// or ending its process, and the warning names the call and its HRESULT.
struct FailedCallCase {
    const char* call;
    const char* hresult;
    Lines calls; // the worker's Outlook calls, the failed one last
};

void PrintTo(const FailedCallCase& c, std::ostream* out)
{
    *out << c.call << "=" << c.hresult;
}

class FailedOutlookCall : public EndToEndTest, public ::testing::WithParamInterface<FailedCallCase> {};

TEST_P(FailedOutlookCall, StopsTheRunWithAWarningNamingTheCall)
{
    const FailedCallCase& c = GetParam();
    // Outlook stays up after the failure and ends itself once the worker has ended: a worker
    // that went on would end the process first (exit code 0).
    SimulatedOutlook outlook(std::string("--direct --fail ") + c.call + "=" + c.hresult + " close-last wait-worker exit",
                             SimulatedOutlook::CaptureEvents{});
    ASSERT_TRUE(outlook.Started());
    EXPECT_EQ(outlook.WaitForExit(), 3) << "not ended by the add-in";
    const Lines log = outlook.Log();
    EXPECT_TRUE(Contains(log, "worker ended"));
    EXPECT_EQ(OutlookCalls(log), c.calls);
    EXPECT_FALSE(Contains(log, "WM_CLOSE main")) << "Outlook's windows were closed after the failure";
    EXPECT_TRUE(EventsAre(outlook.Events(), {{kWarning, 1002, {c.call, c.hresult}}}));
}

// RPC_E_DISCONNECTED, as from an Outlook that went away, and E_FAIL.
INSTANTIATE_TEST_SUITE_P(
    EachCall, FailedOutlookCall,
    ::testing::Values(FailedCallCase{"Session", "0x80010108", {"call Session failed thread=main"}},
                      FailedCallCase{"Logoff", "0x80010108",
                                     {"call Session ok thread=main", "call Session ok thread=main",
                                      "call Logoff failed thread=main"}},
                      FailedCallCase{"Quit", "0x80010108",
                                     {"call Session ok thread=main", "call Session ok thread=main",
                                      "call Logoff ok thread=main", "call Quit failed thread=main"}},
                      FailedCallCase{"Quit", "0x80004005",
                                     {"call Session ok thread=main", "call Session ok thread=main",
                                      "call Logoff ok thread=main", "call Quit failed thread=main"}}),
    [](const ::testing::TestParamInfo<FailedCallCase>& info) {
        return std::string(info.param.call) + "_" + std::string(info.param.hresult).substr(2);
    });

TEST_F(EndToEndTest, EnabledSwitchedOffByPolicyIsReportedOncePerRun)
{
    ScopedPolicyKeys policies;
    SetDwordPolicy(HKEY_CURRENT_USER, "Enabled", 0);
    // Loaded at the start and, switched off and on again by the user, once more in the same run.
    // In between Outlook frees the DLL, so that what the add-in remembers in its own memory is
    // gone at the second load: only the mark in the process's atom table tells it.
    SimulatedOutlook outlook("reload-addins close-last exit", SimulatedOutlook::CaptureEvents{});
    ASSERT_TRUE(outlook.Started());
    EXPECT_EQ(outlook.WaitForExit(), 3);
    const Lines log = outlook.Log();
    EXPECT_EQ(std::count(log.begin(), log.end(), "load Vantrel.Connect 0x00000000"), 2);
    EXPECT_TRUE(InOrder(log.begin(), log.end(),
                        {"load Vantrel.Connect 0x00000000", "Vantrel.dll unmapped", "load Vantrel.Connect 0x00000000"}));
    EXPECT_TRUE(EventsAre(outlook.Events(), {{kWarning, 1003, {}}}));
}

std::string LowerCase(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The add-in's folder in the user's roaming folder, as the shell finds it now.
std::wstring AddinFolder()
{
    PWSTR roaming = nullptr;
    const HRESULT hr = SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &roaming);
    const std::wstring folder = SUCCEEDED(hr) ? std::wstring(roaming) + L"\\Vantrel" : std::wstring();
    CoTaskMemFree(roaming);
    return folder;
}

// A crash, then the next run, as Outlook runs them; the files are looked for in folder.
void CrashAndRunAgain(const std::wstring& folder)
{
    const std::wstring record = folder + L"\\Vantrel.crash.log";
    DeleteFileW(record.c_str());

    // A fault on Outlook's thread with the registered add-in loaded: the module's filter writes
    // the record and ends the process with the fault's code, without a hang or a dialog.
    SimulatedOutlook crashing("crash");
    ASSERT_TRUE(crashing.Started());
    EXPECT_EQ(static_cast<DWORD>(crashing.WaitForExit()), static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
    ASSERT_TRUE(Contains(crashing.Log(), "crashing"));
    const std::string written = ReadWholeFile(record);
    EXPECT_NE(LowerCase(written).find(" utc exception 0xc0000005 at outlook.exe+0x"), std::string::npos) << written;
    ASSERT_EQ(std::count(written.begin(), written.end(), '\n'), 1) << written;
    EXPECT_NE(ReadWholeFile(folder + L"\\Vantrel.log").find("Connect<OnStartupComplete> ==> [HRES 00000000]"),
              std::string::npos);

    // The next run reports it to the Event Log, empties the file and keeps the crashed run's log
    // (switched off before it ends, so that no shutdown of its own adds an entry).
    SimulatedOutlook next("setting:Enabled=0 exit", SimulatedOutlook::CaptureEvents{});
    ASSERT_TRUE(next.Started());
    EXPECT_EQ(next.WaitForExit(), 3);
    EXPECT_TRUE(EventsAre(next.Events(), {{kError, 1004, {written.substr(0, written.size() - 2)}}}));
    EXPECT_EQ(ReadWholeFile(record), "");
    const std::string previous = ReadWholeFile(folder + L"\\Vantrel.previous.log");
    EXPECT_NE(previous.find("Connect<OnStartupComplete> ==> [HRES 00000000]"), std::string::npos) << previous;
    EXPECT_EQ(previous.find("Connect<FinalRelease>"), std::string::npos) << "the crashed run never released the add-in";
    EXPECT_NE(ReadWholeFile(folder + L"\\Vantrel.log").find("Connect<FinalRelease> ==> [HRES 00000000]"),
              std::string::npos);
}

TEST_F(EndToEndTest, ACrashLeavesARecordThatTheNextRunReports)
{
    CrashAndRunAgain(AddinFolder());
}

TEST_F(EndToEndTest, AUserNamedOutsideTheAnsiCodePageGetsTheLogsAndTheCrashRecord)
{
    // The roaming folder of a user whose name the ANSI code page cannot write, moved there as
    // Windows places it: the log, the previous log and the crash record are all in it.
    const std::wstring user = L"C:\\users\\\u0141ukasz Ji\u0159\u00ed";
    {
        ScopedRoamingFolder moved(user + L"\\AppData\\Roaming");
        const std::wstring folder = AddinFolder();
        ASSERT_EQ(folder, user + L"\\AppData\\Roaming\\Vantrel");
        CrashAndRunAgain(folder);
    }
    DeleteTree(user);
}

TEST_F(EndToEndTest, OptionsDialogShowsTheShutdownTabAndApplyChangesTheSettings)
{
    SetStringSetting(HKEY_CURRENT_USER, "Delay", "30");
    SimulatedOutlook outlook("options options-click:218 options-type:45 options-ok wait:200 exit");
    ASSERT_TRUE(outlook.Started());
    EXPECT_EQ(outlook.WaitForExit(), 3);
    const Lines log = outlook.Log();
    EXPECT_TRUE(Contains(log, "options page \"Shutdown\" Vantrel.AddinPropertyPage 0x00000000"));
    EXPECT_TRUE(Contains(log, "options ok dirty=true"));
    EXPECT_TRUE(Contains(log, "options status changes 1")) << "Outlook hears of the first change only";

    DWORD type = 0;
    std::string data;
    ASSERT_TRUE(GetRawSetting(HKEY_CURRENT_USER, "Enabled", &type, &data));
    EXPECT_EQ(data, std::string("0", 2));
    ASSERT_TRUE(GetRawSetting(HKEY_CURRENT_USER, "Delay", &type, &data));
    EXPECT_EQ(data, std::string("45", 3));
}

// The hold before Outlook's end: Outlook's data files (the simulator's Session.Stores, real
// files) and its process's write count (zeros under Wine) are sampled once a second from the
// end of the countdown; Outlook is ended only once two samples in a row saw no write, the last
// a full second after its windows were asked to close, or once "WaitForWrites" seconds have
// passed after the wind-down. The order of the add-in's log lines tells what happened, never a
// clock.
bool WriteWholeFile(const std::string& path, const std::string& content)
{
    UniqueFileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                      nullptr));
    DWORD written = 0;
    return file && WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
           written == content.size();
}

class WriteHoldTest : public EndToEndTest {
protected:
    void SetUp() override
    {
        EndToEndTest::SetUp();
        m_store = m_dir.file("Outlook.pst");
        const std::string header = "!BDN";
        ASSERT_TRUE(WriteWholeFile(m_store, header));
    }
    static std::string Hold(const std::string& detail) { return "ShutdownThread<WaitForWrites> ==> " + detail; }
    // Index of the first line equal to `line` at or after `from`, or the log's size.
    static size_t Find(const Lines& log, const std::string& line, size_t from = 0)
    {
        return static_cast<size_t>(std::find(log.begin() + static_cast<std::ptrdiff_t>(std::min(from, log.size())),
                                              log.end(), line) -
                                   log.begin());
    }
    // The seconds in the hold's last line, when it ended quiet ("[ENDED] quiet, N s ..."), or -1.
    static int QuietAfter(const Lines& log)
    {
        int seconds = -1;
        for (const std::string& line : log)
            std::sscanf(line.c_str(), "ShutdownThread<WaitForWrites> ==> [ENDED] quiet, %d s after the wind-down",
                        &seconds);
        return seconds;
    }

    ScopedTempDir m_dir;
    std::string m_store;
};

TEST_F(WriteHoldTest, OutlookWritingAfterTheCountdownIsEndedOnlyOnceItsFileIsQuiet)
{
    SimulatedOutlook outlook("--direct --version " + std::string(kVersion) + " --stores \"" + m_store +
                                 "\" --write-after-quit \"" + m_store + "=7000\" close-last",
                             SimulatedOutlook::CaptureEvents{});
    ASSERT_TRUE(outlook.Started());
    EXPECT_EQ(outlook.WaitForExit(), 0);
    EXPECT_TRUE(Contains(outlook.Log(), "store writes done")) << "ended before Outlook's last write";

    const Lines log = AddinLogMessages();
    EXPECT_LT(Find(log, Hold("[WATCHING] " + m_store)), log.size());
    // The last change seen, then two quiet samples, then the end: nothing after it was sampled.
    const std::string writing = Hold("[WRITING] " + m_store);
    const auto lastChange = std::find(log.rbegin(), log.rend(), writing);
    ASSERT_NE(lastChange, log.rend()) << "no write seen";
    const size_t changed = static_cast<size_t>(log.rend() - lastChange) - 1;
    const size_t quiet1 = Find(log, Hold("[QUIET 1]"), changed);
    const size_t quiet2 = Find(log, Hold("[QUIET 2]"), quiet1);
    const size_t windDown = Find(log, "ShutdownThread<WindDown> ==> [DONE]");
    ASSERT_LT(quiet2, log.size());
    EXPECT_LT(windDown, changed) << "the writes went on past the wind-down";
    const int extra = QuietAfter(log);
    EXPECT_GT(extra, 0);
    EXPECT_EQ(Find(log, "ShutdownThread<WaitForWrites> ==> [ENDED] quiet, " + std::to_string(extra) +
                            " s after the wind-down"),
              quiet2 + 1);
    EXPECT_TRUE(EventsAre(outlook.Events(), {{kInformation, 1000, {"1", kSeconds, kVersion, std::to_string(extra)}}}));
}

TEST_F(WriteHoldTest, OutlookWritingWithoutEndIsEndedWhenTheBoundRunsOut)
{
    // "WaitForWrites" bounds the hold after the wind-down; "0" switches it off.
    const struct {
        const char* waitForWrites;
        std::string line;
        std::vector<Event> events;
    } cases[] = {
        {"5", Hold("[ENDED] the longest wait of 5 s ran out"),
         {{kInformation, 1000, {"1", kSeconds, kVersion, "5"}}, {kWarning, 1006, {m_store, "5"}}}},
        {"0", Hold("[OFF]"), {{kInformation, 1000, {"1", kSeconds, kVersion, "0"}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.waitForWrites);
        SetStringSetting(HKEY_CURRENT_USER, "WaitForWrites", c.waitForWrites);
        SimulatedOutlook outlook("--direct --version " + std::string(kVersion) + " --stores \";" + m_store +
                                     "\" --write-after-quit \"" + m_store + "=600000\" close-last",
                                 SimulatedOutlook::CaptureEvents{});
        ASSERT_TRUE(outlook.Started());
        EXPECT_EQ(outlook.WaitForExit(), 0);
        EXPECT_TRUE(Contains(AddinLogMessages(), c.line));
        EXPECT_TRUE(EventsAre(outlook.Events(), c.events));
    }
}

TEST_F(WriteHoldTest, OutlookThatIsNotWritingIsEndedOneSecondAfterItsWindowsWereAskedToClose)
{
    // Two quiet samples fall within the wind-down, before Outlook's windows are asked to close;
    // one more comes a second after that, and the end with it.
    SimulatedOutlook outlook("--direct --version " + std::string(kVersion) + " --stores \"" + m_store +
                                 "\" close-last",
                             SimulatedOutlook::CaptureEvents{});
    ASSERT_TRUE(outlook.Started());
    EXPECT_EQ(outlook.WaitForExit(), 0);
    const Lines log = AddinLogMessages();
    const size_t quiet2 = Find(log, Hold("[QUIET 2]"));
    const size_t windDown = Find(log, "ShutdownThread<WindDown> ==> [DONE]");
    EXPECT_LT(Find(log, Hold("[QUIET 1]")), quiet2);
    EXPECT_LT(quiet2, windDown);
    EXPECT_EQ(Find(log, Hold("[QUIET 3]")), windDown + 1);
    EXPECT_EQ(Find(log, Hold("[ENDED] quiet, 1 s after the wind-down")), windDown + 2);
    EXPECT_TRUE(EventsAre(outlook.Events(), {{kInformation, 1000, {"1", kSeconds, kVersion, "1"}}}));
}

TEST_F(WriteHoldTest, WritesBegunByTheCloseMessagesAreWaitedFor)
{
    // Outlook's exit work begins only when its windows get WM_CLOSE, after the wind-down's quiet
    // samples: the end waits until that work is over.
    SimulatedOutlook outlook("--direct --version " + std::string(kVersion) + " --stores \"" + m_store +
                                 "\" --write-on-close \"" + m_store + "=3000\" close-last",
                             SimulatedOutlook::CaptureEvents{});
    ASSERT_TRUE(outlook.Started());
    EXPECT_EQ(outlook.WaitForExit(), 0);
    EXPECT_TRUE(Contains(outlook.Log(), "store writes done")) << "ended during Outlook's exit work";
    const Lines log = AddinLogMessages();
    const size_t windDown = Find(log, "ShutdownThread<WindDown> ==> [DONE]");
    EXPECT_LT(Find(log, Hold("[QUIET 2]")), windDown) << "quiet until the close messages";
    EXPECT_LT(Find(log, Hold("[WRITING] " + m_store), windDown), log.size());
    const int extra = QuietAfter(log);
    EXPECT_GE(extra, 3);
    EXPECT_TRUE(EventsAre(outlook.Events(), {{kInformation, 1000, {"1", kSeconds, kVersion, std::to_string(extra)}}}));
}

TEST_F(WriteHoldTest, DataFilesThatCannotBeWatchedLeaveTheEndAsItWas)
{
    // Each logged; the process's write count is read all the same (zero under Wine, so quiet).
    const std::string gone = m_dir.file("moved-away.pst");
    const struct {
        const char* name;
        std::string arguments;
        std::string line;
    } cases[] = {
        {"Stores fails", "--fail Stores=0x80004005", Hold("[STORES FAILED] 0x80004005")},
        {"a store on a server", "--stores \";\"", Hold("[NO FILE] store 2 lives on a server ")},
        {"a file that no longer exists", "--stores \"" + gone + "\"", Hold("[NOT WATCHED] " + gone + ": error 2")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatedOutlook outlook("--direct " + c.arguments + " close-last");
        ASSERT_TRUE(outlook.Started());
        EXPECT_EQ(outlook.WaitForExit(), 0);
        EXPECT_EQ(OutlookCalls(outlook.Log()), kAllCalls) << "the run went on as before";
        const Lines log = AddinLogMessages();
        EXPECT_TRUE(Contains(log, c.line));
        const size_t counter = Find(log, Hold("[WATCHING] the process's write counter "));
        EXPECT_LT(counter, Find(log, Hold("[ENDED] quiet, 1 s after the wind-down")));
    }
}

TEST_F(WriteHoldTest, OutlookLettingGoDuringTheHoldIsNotEnded)
{
    // Outlook ends by itself while the worker waits for its writes: the release stops the hold's
    // wait at once (no entry's wait runs out), and the Event Log hears that Outlook let go.
    SimulatedOutlook outlook("--direct --version " + std::string(kVersion) + " --stores \"" + m_store +
                                 "\" --write-after-quit \"" + m_store + "=600000\" close-last wait-quit wait:8000 exit",
                             SimulatedOutlook::CaptureEvents{});
    ASSERT_TRUE(outlook.Started());
    EXPECT_EQ(outlook.WaitForExit(), 3) << "Outlook's own end";
    EXPECT_TRUE(EventsAre(outlook.Events(), {{kInformation, 1001, {"1", kSeconds, kVersion}}}));
    const Lines log = AddinLogMessages();
    const bool released = std::any_of(log.begin(), log.end(), [](const std::string& line) {
        return line.rfind("ShutdownThread<WaitForWrites> ==> [ENDED] add-in released, ", 0) == 0;
    });
    EXPECT_TRUE(released);
    for (const std::string& line : log)
        EXPECT_EQ(line.rfind("EventLog<ReportEvent> ==> [TIMED OUT]", 0), std::string::npos) << line;
    EXPECT_TRUE(Contains(log, "ShutdownThread<Terminate> ==> [SKIPPED, ADD-IN RELEASED]"));
}

// Outlook in German and in Japanese: the registered add-in, loaded by the simulated Outlook whose
// LanguageSettings answers that language, names its tab and shows its page in it. The simulator
// reads the texts with the wide calls and logs them in UTF-8; they are compared here as UTF-16,
// so a text turned into '?' on its way cannot pass.
std::wstring FromUtf8(const std::string& text)
{
    const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                                          nullptr, 0);
    std::wstring result(static_cast<size_t>(units > 0 ? units : 0), L'\0');
    if (units > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), units);
    return result;
}

struct PageTexts {
    std::wstring title;
    std::map<int, std::wstring> byControl; // the named controls' texts
    std::wstring delayLabel;               // the last unnamed static: the Delay box's label
};

PageTexts ReadPageTexts(const std::vector<std::string>& log)
{
    PageTexts texts;
    for (const std::string& line : log) {
        if (line.rfind("options title ", 0) == 0) {
            texts.title = FromUtf8(line.substr(14));
        } else if (line.rfind("options text ", 0) == 0) {
            const size_t space = line.find(' ', 13);
            const int id = std::stoi(line.substr(13, space - 13));
            const std::wstring text = FromUtf8(line.substr(space + 1));
            if (id == -1 || id == 65535)
                texts.delayLabel = text;
            else
                texts.byControl[id] = text;
        }
    }
    return texts;
}

PageTexts OpenPageIn(const char* lcid)
{
    SimulatedOutlook outlook(std::string("--language ") + lcid + " options options-texts setting:Enabled=0 exit");
    EXPECT_TRUE(outlook.Started());
    EXPECT_EQ(outlook.WaitForExit(), 3);
    return ReadPageTexts(outlook.Log());
}

TEST_F(EndToEndTest, OutlookInGermanGetsTheTabAndThePageInGerman)
{
    const PageTexts texts = OpenPageIn("1031");
    EXPECT_EQ(texts.title, L"Beenden");
    EXPECT_EQ(texts.byControl.at(218), L"Vantrel aktivieren");
    EXPECT_EQ(texts.byControl.at(236), L"Fortschrittsdialog beim Beenden anzeigen");
    EXPECT_EQ(texts.byControl.at(237), L"Hintergrundprozess winword.exe beim Beenden schlie\u00DFen");
    EXPECT_EQ(texts.delayLabel, L"Maximale Wartezeit, bis Outlook beendet ist (Sekunden):");
}

TEST_F(EndToEndTest, OutlookInJapaneseGetsTheTabAndThePageInJapanese)
{
    const ScopedPolicyKeys policies;
    SetStringPolicy(HKEY_CURRENT_USER, "Delay", "30"); // enforced: the page shows its note
    const PageTexts texts = OpenPageIn("1041");
    EXPECT_EQ(texts.title, L"\u7D42\u4E86\u51E6\u7406"); // 終了処理
    // Vantrel を有効にする
    EXPECT_EQ(texts.byControl.at(218), L"Vantrel \u3092\u6709\u52B9\u306B\u3059\u308B");
    // 終了の進行状況ダイアログを表示する
    EXPECT_EQ(texts.byControl.at(236), L"\u7D42\u4E86\u306E\u9032\u884C\u72B6\u6CC1\u30C0\u30A4\u30A2\u30ED\u30B0"
                                       L"\u3092\u8868\u793A\u3059\u308B");
    // Outlook の終了を待つ最大時間 (秒):
    EXPECT_EQ(texts.delayLabel, L"Outlook \u306E\u7D42\u4E86\u3092\u5F85\u3064\u6700\u5927\u6642\u9593 (\u79D2):");
    // 淡色表示されている設定は管理者が構成しているため、ここでは変更できません。
    EXPECT_EQ(texts.byControl.at(238), L"\u6DE1\u8272\u8868\u793A\u3055\u308C\u3066\u3044\u308B\u8A2D"
                                       L"\u5B9A\u306F\u7BA1\u7406\u8005\u304C\u69CB\u6210\u3057\u3066"
                                       L"\u3044\u308B\u305F\u3081\u3001\u3053\u3053\u3067\u306F\u5909\u66F4\u3067\u304D\u307E\u305B\u3093\u3002");
}

TEST_F(EndToEndTest, OutlookInDutchGetsTheEnglishPage)
{
    const PageTexts texts = OpenPageIn("1043");
    EXPECT_EQ(texts.title, L"Shutdown");
    EXPECT_EQ(texts.byControl.at(218), L"Enable Vantrel");
}

} // namespace
