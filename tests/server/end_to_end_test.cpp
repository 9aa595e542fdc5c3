// The simulated Outlook (OUTLOOK.EXE) run as a child process with the add-in, loaded from
// Outlook's Addins key as Outlook loads it (Vantrel.dll registered by regsvr32) or created
// directly from the code linked into the simulator; the shutdown scenarios run both ways.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <tuple>

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
     "Connect<Addin_Enabled> ==> [ENABLED] " /* nothing after the decision to end */, true,
     {{kInformation, 1000, {"1", kSeconds, kVersion}}}},
    // Begun by Outlook's Quit, where no watcher read the Version before.
    {"QuitEventEndsOutlook", "1", "1", "quit-event", 0, kAllCalls, "Connect<Addin_Enabled> ==> [ENABLED] ", false,
     {{kInformation, 1000, {"1", kSeconds, kVersion}}}},
    {"OutlookEndingByItselfAfterTheLastWindowIsLetAlone", "1", "20", "--on-quit exit close-last", 3, kAllCalls,
     "Connect<FinalRelease> ==> [HRES 00000000]", false, {{kInformation, 1001, {"20", kSeconds, kVersion}}}},
    {"OutlookEndingByItselfOnQuitIsLetAlone", "1", "20", "--on-quit exit quit-event", 3, kAllCalls,
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
// leave-com step does the same under Wine). The registered add-in, which only COM has loaded,
// must find its DLL in place afterwards: the worker counting down, or the final release that
// waits in Outlook's message loop. A fault there ends the simulator with 0xC0000005; the
// worker's end of Outlook gives 0 and Outlook ending by itself 3.
struct TeardownCase {
    const char* name;
    const char* steps;
    long exitCode;
    const char* expectedLine;  // in the simulator's log after leaving COM, or null
    const char* lastAddinLine; // in the add-in's log, or null
    bool disabledByPolicy;     // which an Event Log entry reports at start-up
};

void PrintTo(const TeardownCase& c, std::ostream* out)
{
    *out << c.name;
}

class ComTeardown : public EndToEndTest, public ::testing::WithParamInterface<TeardownCase> {};

TEST_P(ComTeardown, LeavesTheAddinsCodeInPlace)
{
    const TeardownCase& c = GetParam();
    SetStringSetting(HKEY_CURRENT_USER, "Delay", "2");
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
    if (c.expectedLine) {
        EXPECT_TRUE(std::find(left, log.end(), c.expectedLine) != log.end()) << c.expectedLine << " after leaving COM";
    }
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
        TeardownCase{"WorkerCountingDown", "quit-event wait-quit leave-com wait:30000 exit", 0, nullptr, nullptr, false},
        // Outlook has let go of the add-in, which the user has just switched off (no worker),
        // before the last window closes: the final release is left to the message loop, and
        // Outlook leaves COM before its loop runs it.
        TeardownCase{"FinalReleaseFromTheMessageLoop",
                     "release-addins setting:Enabled=0 close-last+leave-com wait:1000 exit", 3, "exit 3",
                     "Connect<FinalRelease> ==> [HRES 00000000]", false},
        // A policy keeps the add-in off, so nothing pins its DLL; the Event Log holds the entry
        // that says so until after Outlook has left COM, and the entry's thread then returns
        // into the add-in's code. Outlook's process then ends without another call to it.
        TeardownCase{"EventLogEntryStillBeingWritten",
                     "--hold-events wait-held leave-com release-events wait:1000 end-process", 3, "ending the process",
                     "EventLog<ReportEvent> ==> [TIMED OUT] 1003", true}),
    [](const ::testing::TestParamInfo<TeardownCase>& info) { return std::string(info.param.name); });

TEST_F(EndToEndTest, AFailedOutlookCallStopsTheRunWithAWarningNamingTheCall)
{
    // Each of the worker's calls failing in turn: the warning names the one that failed and
    // its HRESULT (RPC_E_DISCONNECTED, as from an Outlook that went away).
    for (const char* call : {"Session", "Logoff", "Quit"}) {
        SCOPED_TRACE(call);
        SimulatedOutlook outlook(std::string("--direct --fail ") + call + "=0x80010108 close-last wait-worker exit",
                                 SimulatedOutlook::CaptureEvents{});
        ASSERT_TRUE(outlook.Started());
        EXPECT_EQ(outlook.WaitForExit(), 3) << "not ended by the add-in";
        EXPECT_TRUE(Contains(outlook.Log(), "worker ended"));
        EXPECT_TRUE(EventsAre(outlook.Events(), {{kWarning, 1002, {call, "0x80010108"}}}));
    }
}

TEST_F(EndToEndTest, EnabledSwitchedOffByPolicyIsReportedOncePerRun)
{
    ScopedPolicyKeys policies;
    SetDwordPolicy(HKEY_CURRENT_USER, "Enabled", 0);
    // Loaded at the start and, switched off and on again by the user, once more in the same run.
    SimulatedOutlook outlook("reload-addins close-last exit", SimulatedOutlook::CaptureEvents{});
    ASSERT_TRUE(outlook.Started());
    EXPECT_EQ(outlook.WaitForExit(), 3);
    const Lines log = outlook.Log();
    EXPECT_EQ(std::count(log.begin(), log.end(), "load Vantrel.Connect 0x00000000"), 2);
    EXPECT_TRUE(EventsAre(outlook.Events(), {{kWarning, 1003, {}}}));
}

std::string LowerCase(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

TEST_F(EndToEndTest, ACrashLeavesARecordThatTheNextRunReports)
{
    const std::string folder = AddinLogPath().substr(0, AddinLogPath().rfind('\\'));
    const std::string record = folder + "\\Vantrel.crash.log";
    DeleteFileA(record.c_str());

    // A fault on Outlook's thread with the registered add-in loaded: the module's filter writes
    // the record and ends the process with the fault's code, without a hang or a dialog.
    SimulatedOutlook crashing("crash");
    ASSERT_TRUE(crashing.Started());
    EXPECT_EQ(static_cast<DWORD>(crashing.WaitForExit()), static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
    ASSERT_TRUE(Contains(crashing.Log(), "crashing"));
    const std::string written = ReadWholeFile(record);
    EXPECT_NE(LowerCase(written).find(" utc exception 0xc0000005 at outlook.exe+0x"), std::string::npos) << written;
    ASSERT_EQ(std::count(written.begin(), written.end(), '\n'), 1) << written;

    // The next run reports it to the Event Log, empties the file and keeps the crashed run's log
    // (switched off before it ends, so that no shutdown of its own adds an entry).
    SimulatedOutlook next("setting:Enabled=0 exit", SimulatedOutlook::CaptureEvents{});
    ASSERT_TRUE(next.Started());
    EXPECT_EQ(next.WaitForExit(), 3);
    EXPECT_TRUE(EventsAre(next.Events(), {{kError, 1004, {written.substr(0, written.size() - 2)}}}));
    EXPECT_EQ(ReadWholeFile(record), "");
    const std::string previous = ReadWholeFile(folder + "\\Vantrel.previous.log");
    EXPECT_NE(previous.find("Connect<OnStartupComplete> ==> [HRES 00000000]"), std::string::npos) << previous;
    EXPECT_EQ(previous.find("Connect<FinalRelease>"), std::string::npos) << "the crashed run never released the add-in";
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
    EXPECT_EQ(texts.title, L"\u7D42\u4E86"); // 終了
    // Vantrel を有効にする
    EXPECT_EQ(texts.byControl.at(218), L"Vantrel \u3092\u6709\u52B9\u306B\u3059\u308B");
    // 終了の進行状況ダイアログを表示する
    EXPECT_EQ(texts.byControl.at(236), L"\u7D42\u4E86\u306E\u9032\u884C\u72B6\u6CC1\u30C0\u30A4\u30A2\u30ED\u30B0"
                                       L"\u3092\u8868\u793A\u3059\u308B");
    // Outlook の終了を待つ最大時間 (秒):
    EXPECT_EQ(texts.delayLabel, L"Outlook \u306E\u7D42\u4E86\u3092\u5F85\u3064\u6700\u5927\u6642\u9593 (\u79D2):");
    // 淡色表示の設定は管理者によって設定されているため、ここでは変更できません。
    EXPECT_EQ(texts.byControl.at(238), L"\u6DE1\u8272\u8868\u793A\u306E\u8A2D\u5B9A\u306F\u7BA1\u7406\u8005\u306B"
                                       L"\u3088\u3063\u3066\u8A2D\u5B9A\u3055\u308C\u3066\u3044\u308B\u305F\u3081"
                                       L"\u3001\u3053\u3053\u3067\u306F\u5909\u66F4\u3067\u304D\u307E\u305B\u3093"
                                       L"\u3002");
}

TEST_F(EndToEndTest, OutlookInDutchGetsTheEnglishPage)
{
    const PageTexts texts = OpenPageIn("1043");
    EXPECT_EQ(texts.title, L"Shutdown");
    EXPECT_EQ(texts.byControl.at(218), L"Enable Vantrel");
}

} // namespace
