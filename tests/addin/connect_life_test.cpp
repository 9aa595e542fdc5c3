// The connection object's life against what Outlook really does: letting go of the add-in
// before its last window closes, the user switching it off, connecting it again after a
// shutdown, and parts of its set-up failing. Where a fault would let the worker end the
// process, the case runs in a child process.
#include "addin_fixture.h"

#include <new>

#include "addin/outlook_thread_bridge.h"
#include "win32/raii.h"
#include "support/child_process.h"
#include "support/pump_until.h"

namespace {

using Lines = std::vector<std::string>;

// The Outlook calls of the worker, from the fake's record.
Lines WorkerCalls(fake::FakeApplication* app)
{
    Lines calls;
    for (const std::string& name : app->Log().Names())
        if (name == "Session" || name == "Logoff" || name == "Quit")
            calls.push_back(name);
    return calls;
}

UniqueHandle DuplicateOf(HANDLE handle)
{
    HANDLE copy = nullptr;
    if (handle)
        DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS);
    return UniqueHandle(copy);
}

TEST_F(AddinTest, LastExplorerClosingAfterOutlookLetGoIsSafe)
{
    // Outlook lets go of the add-in before its last window closes (after OnDisconnection, or
    // without a call): the subscriptions alone keep the object alive, and the last window's
    // Close reaches OnBeginShutdown through the watcher, whose second unsubscription drops the
    // last reference. The object must outlive that call and the watcher its Close; the final
    // release then comes from the message loop and stops the worker just started, as a
    // release during a run does.
    for (const bool disconnect : {true, false}) {
        SCOPED_TRACE(disconnect ? "OnDisconnection(ext_dm_HostShutdown)" : "no OnDisconnection");
        ExpectInChildProcess([&] {
            StartAddin(1);
            if (disconnect) {
                EXPECT_EQ(m_ext->OnDisconnection(ext_dm_HostShutdown, nullptr), S_OK);
            }
            ReleaseAddin();
            m_app->CloseExplorer(ExplorerAt(0));
            EXPECT_TRUE(PumpUntil([&] { return m_app->RefCount() == 1; }, 30000));

            const Lines expected = {
                "CExplEvent<Event_Explorer_Close>",   "Connect<OnBeginShutdown> ==> ",
                "Connect<Addin_Enabled> ==> [ENABLED] ", "Connect<FinalRelease>",
                // The worker, stopped at once, winds down and leaves Outlook to end by itself.
                "ShutdownThread<WindDown> ==> [DONE]", "ShutdownThread<Terminate> ==> [SKIPPED, ADD-IN RELEASED]",
                "Connect<FinalRelease> ==> [HRES 00000000]",
            };
            EXPECT_EQ(LogFrom("CExplEvent<Event_Explorer_Close>"), expected);
            EXPECT_EQ(AppSinks(), 0u);
            EXPECT_EQ(ExplorersSinks(), 0u);
            EXPECT_EQ(m_app->RefCount(), 1);
        });
    }
}

TEST_F(AddinTest, SwitchedOffByTheUserItLetsGoOfEverything)
{
    struct Case {
        ext_DisconnectMode mode;
        bool keepsActing;
    };
    for (const Case& c : {Case{ext_dm_UserClosed, false}, Case{ext_dm_HostShutdown, true}}) {
        SCOPED_TRACE(c.mode);
        StartAddin(1);
        fake::ComPtr<fake::FakeExplorer> second = m_app->OpenExplorer();
        ASSERT_EQ(m_connect->WatcherCount(), 2);

        EXPECT_EQ(m_ext->OnDisconnection(c.mode, nullptr), S_OK);
        EXPECT_EQ(AddinLogMessages().back(), "Connect<OnDisconnection> ==> Disconnecting ... ");
        const size_t live = c.keepsActing ? 1u : 0u;
        EXPECT_EQ(AppSinks(), live);
        EXPECT_EQ(ExplorersSinks(), live);
        EXPECT_EQ(ExplorerAt(0)->CloseSinks(), live);
        EXPECT_EQ(second->CloseSinks(), live);
        EXPECT_EQ(m_connect->WatcherCount(), c.keepsActing ? 2 : 0);

        if (!c.keepsActing) {
            // Nothing it hears any more, and Outlook's release is the final one.
            const size_t lines = AddinLogMessages().size();
            m_app->Log().Clear();
            m_app->CloseExplorer(second.Get());
            m_app->CloseExplorer(ExplorerAt(0));
            m_app->FireQuit();
            EXPECT_EQ(AddinLogMessages().size(), lines);
            EXPECT_EQ(m_app->Log().Names(), Lines{});
            EXPECT_EQ(m_connect->WorkerThread(), nullptr);
            ReleaseAddin();
            EXPECT_EQ(AddinLogMessages().back(), "Connect<FinalRelease> ==> [HRES 00000000]");
            EXPECT_EQ(m_app->RefCount(), 1);
        } else {
            SetStringSetting(HKEY_CURRENT_USER, "Enabled", "0");
            EXPECT_EQ(m_ext->OnBeginShutdown(nullptr), S_OK);
            ReleaseAddin();
            SetStringSetting(HKEY_CURRENT_USER, "Enabled", "1");
        }
        m_app = fake::FakeApplication::Create(Version());
    }
}

TEST_F(AddinTest, ConnectedAgainAfterAShutdownItStartsNoSecondWorker)
{
    ExpectInChildProcess([&] {
        StartAddin(1);
        m_app->FireQuit();
        const UniqueHandle first = DuplicateOf(m_connect->WorkerThread());
        ASSERT_NE(first.get(), nullptr);

        EXPECT_EQ(m_ext->OnConnection(m_app.Get(), ext_cm_AfterStartup, nullptr, nullptr), S_OK);
        EXPECT_EQ(m_ext->OnStartupComplete(nullptr), S_OK);
        EXPECT_EQ(m_ext->OnBeginShutdown(nullptr), S_OK);
        EXPECT_EQ(GetThreadId(m_connect->WorkerThread()), GetThreadId(first.get()));

        // The final release waits for the one worker, which then touches nothing any more.
        ReleaseAddin();
        EXPECT_EQ(WaitForSingleObject(first.get(), 0), WAIT_OBJECT_0);
        EXPECT_EQ(WorkerCalls(m_app.Get()), Lines{});
    });
}

// Stand-ins for the parts of the set-up, failing or as usual.
LogFile* FailingLog()
{
    throw std::bad_alloc();
}
LogFile* UsualLog()
{
    return OpenAddinLog();
}
HANDLE NoEvent()
{
    return nullptr;
}
HANDLE UsualEvent()
{
    return CreateEventA(nullptr, TRUE, FALSE, nullptr);
}
std::unique_ptr<OutlookThreadBridge> NoBridge()
{
    return nullptr;
}

struct SetupCase {
    const char* failing;
    ConnectSetup setup;
};
const SetupCase kSetupCases[] = {
    {"nothing", {UsualLog, UsualEvent, OutlookThreadBridge::Create}},
    {"log", {FailingLog, UsualEvent, OutlookThreadBridge::Create}},
    {"stop event", {UsualLog, NoEvent, OutlookThreadBridge::Create}},
    {"bridge", {UsualLog, UsualEvent, NoBridge}},
};

// Puts the usual set-up back at the end of a test.
struct ScopedSetup {
    explicit ScopedSetup(const ConnectSetup& setup) { CConnect::UseSetup(&setup); }
    ~ScopedSetup() { CConnect::UseSetup(nullptr); }
};

TEST_F(AddinTest, EachPartOfTheSetUpStandsOnItsOwn)
{
    for (const SetupCase& c : kSetupCases) {
        SCOPED_TRACE(std::string("failing: ") + c.failing);
        const std::string failing = c.failing;
        {
            ScopedSetup setup(c.setup);
            CreateAddin();
        }
        EXPECT_EQ(LogFile::Existing() != nullptr, failing != "log");
        EXPECT_EQ(m_connect->StopEvent() != nullptr, failing != "stop event");
        // Whole only with its window and the stop event.
        EXPECT_EQ(m_connect->Bridge() != nullptr, failing == "nothing" || failing == "log");
        ReleaseAddin();
        LogFile::DestroyInstance();
    }
}

TEST_F(AddinTest, WithoutAWholeBridgeTheWorkerCallsNothing)
{
    // Outlook answers calls from the worker's own thread with RPC_E_WRONG_THREAD, and a bridge
    // without its stop event would keep the worker waiting while the final release waits for
    // it: either way the run ends as a failed call does, before any Outlook call.
    SetStringSetting(HKEY_CURRENT_USER, "Delay", "0");
    for (const SetupCase& c : kSetupCases) {
        const std::string failing = c.failing;
        if (failing != "stop event" && failing != "bridge")
            continue;
        SCOPED_TRACE(std::string("failing: ") + c.failing);
        ExpectInChildProcess([&] {
            {
                ScopedSetup setup(c.setup);
                StartAddin(1);
            }
            m_app->Log().Clear();
            m_app->FireQuit();
            const UniqueHandle worker = DuplicateOf(m_connect->WorkerThread());
            ASSERT_NE(worker.get(), nullptr);
            const bool ended = PumpUntil([&] { return IsSignalled(worker.get()); }, 30000, worker.get());
            EXPECT_TRUE(ended);
            EXPECT_EQ(WorkerCalls(m_app.Get()), Lines{});
            ReleaseAddin();
        });
    }
}

} // namespace
