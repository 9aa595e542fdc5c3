// The shutdown worker with the real connection object and its bridge to Outlook's thread. The
// worker ends its own process, so most of these run the simulated Outlook (OUTLOOK.EXE) as a
// child process with the add-in loaded directly; the scenarios that also run with the add-in
// registered and a failed Outlook call are in tests/server/end_to_end_test.cpp, the worker
// against a fake owner in tests/shutdown.
#include "addin_fixture.h"

#include <commctrl.h>

#include <algorithm>

#include "addin/outlook_thread_bridge.h"
#include "com/module_lock.h"
#include "support/pump_until.h"
#include "support/simulated_outlook.h"
#include "win32/scope_exit.h"

namespace {

using Lines = std::vector<std::string>;

class WorkerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DeleteSettingsKeys();
        SetStringSetting(HKEY_CURRENT_USER, "Enabled", "1");
        SetStringSetting(HKEY_CURRENT_USER, "Delay", "1");
    }
    void TearDown() override { DeleteSettingsKeys(); }
};

TEST_F(WorkerTest, NoSessionMeansNoLogoff)
{
    SimulatedOutlook outlook("--direct --session-empty close-last");
    ASSERT_TRUE(outlook.Started());
    EXPECT_EQ(outlook.WaitForExit(), 0);
    EXPECT_EQ(OutlookCalls(outlook.Log()), (Lines{"call Session ok thread=main", "call Quit ok thread=main"}));
}

TEST_F(WorkerTest, OpenDraftKeepsOutlookUntilItsWindowCloses)
{
    // The last Explorer closes while a message is open in its own window; the user closes that
    // window later, Outlook quits by itself and the add-in's Quit handler takes over. The
    // decision at the Explorer's close is made inside that event, so the add-in's log shows it:
    // the shutdown begins only at Quit.
    SimulatedOutlook outlook("--direct open-inspector close-last close-inspector");
    ASSERT_TRUE(outlook.Started());
    EXPECT_EQ(outlook.WaitForExit(), 0) << "ended by the add-in after the draft's window closed";
    EXPECT_EQ(OutlookCalls(outlook.Log()), (Lines{"call Session ok thread=main", "call Session ok thread=main",
                                                   "call Logoff ok thread=main", "call Quit ok thread=main"}));
    const Lines addinLog = AddinLogMessages();
    const auto close = std::find(addinLog.begin(), addinLog.end(), "CExplEvent<Event_Explorer_Close>");
    const auto quit = std::find(addinLog.begin(), addinLog.end(), "Connect<Event_Appliance_Quit>");
    const auto shutdown = std::find(addinLog.begin(), addinLog.end(), "Connect<OnBeginShutdown> ==> ");
    ASSERT_NE(close, addinLog.end());
    ASSERT_NE(quit, addinLog.end());
    EXPECT_LT(close, quit);
    EXPECT_EQ(shutdown, quit + 1) << "the shutdown began before Quit, with the draft open";
}

TEST_F(WorkerTest, ExitDialogShowsTheCountdown)
{
    SetStringSetting(HKEY_CURRENT_USER, "Delay", "3");
    SetStringSetting(HKEY_CURRENT_USER, "ShowExitDialog", "1");
    SimulatedOutlook outlook("--direct close-last");
    ASSERT_TRUE(outlook.Started());
    EXPECT_EQ(outlook.WaitForExit(), 0);
    // Outlook's Quit handler reads the dialog: it is shown before Outlook is asked to quit, with
    // a bar of one step a second that has not moved yet.
    EXPECT_TRUE(Contains(outlook.Log(), "exit dialog visible=1 range=0-3 pos=0"));
}

TEST_F(AddinTest, OutlookReleasingTheAddinInsideQuitIsSafe)
{
    // Outlook may let go of its add-ins before its Quit call returns: the final release then
    // runs inside the worker's own request, on this thread, and must neither deadlock nor
    // leave the worker or the request touching the destroyed object. Nor may the DLL become
    // unloadable while the bridge's code is still on this thread's stack.
    SetStringSetting(HKEY_CURRENT_USER, "Delay", "30");
    const LONG baseline = ModuleLockCount();
    StartAddin(1);
    bool released = false;
    LONG locksAfterRelease = 0;
    m_app->OnQuitCall([this, &released, &locksAfterRelease] {
        ReleaseAddin();
        released = true;
        locksAfterRelease = ModuleLockCount();
    });
    m_app->CloseExplorer(ExplorerAt(0));
    ASSERT_TRUE(PumpUntilQuit());
    EXPECT_TRUE(released);
    EXPECT_GT(locksAfterRelease, baseline) << "the module could be unloaded under the running call";
    EXPECT_EQ(ModuleLockCount(), baseline);
    EXPECT_EQ(m_app->QuitCalls(), 1);
    EXPECT_EQ(m_app->RefCount(), 1);
}

TEST_F(AddinTest, OutlookSendingToTheExitDialogDuringQuitIsAnswered)
{
    // Outlook's thread sends to the worker's dialog inside Quit: a worker that waits for the
    // call without serving its own messages would hold both threads for ever.
    SetStringSetting(HKEY_CURRENT_USER, "Delay", "30");
    SetStringSetting(HKEY_CURRENT_USER, "ShowExitDialog", "1");
    StartAddin(1);
    bool found = false, answered = false;
    m_app->OnQuitCall([&found, &answered] {
        HWND dialog = OwnExitDialog();
        found = dialog != nullptr;
        DWORD_PTR result = 0;
        // Bounded only so that a failing run ends; the answer is expected at once.
        answered = found && SendMessageTimeoutA(dialog, PBM_GETPOS, 0, 0, SMTO_NORMAL, 20000, &result) != 0;
    });
    m_app->CloseExplorer(ExplorerAt(0));
    ASSERT_TRUE(PumpUntil([this] { return m_app->QuitCalls() > 0; }, 30000));
    EXPECT_TRUE(found);
    EXPECT_TRUE(answered) << "the worker did not serve its dialog while it waited for Quit";
    ReleaseAddin(); // stops the countdown: this process is not ended
}

TEST_F(AddinTest, OutlookThreadThatNeverAnswersEndsTheRun)
{
    SetStringSetting(HKEY_CURRENT_USER, "Delay", "1");
    StartAddin(1);
    UseBridgeCallTimeout(300);
    const auto usualTimeout = MakeScopeExit([] { UseBridgeCallTimeout(0); });
    m_app->CloseExplorer(ExplorerAt(0));
    ASSERT_TRUE(m_connect->IsRunning());
    m_app->Log().Clear();

    // This thread, Outlook's, serves no message: the worker's request is never answered. A run
    // that went on would end this process one second after the request.
    ASSERT_EQ(WaitForSingleObject(m_connect->WorkerThread(), 30000), WAIT_OBJECT_0)
        << "the worker still waits for Outlook's thread";
    EXPECT_TRUE(m_connect->IsRunning()) << "the run ended by itself, not by a release";

    // Served late, the abandoned request calls nothing on Outlook.
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&message);
    EXPECT_EQ(m_app->Log().Names(), Lines{});
}

} // namespace

bool AddinTest::PumpUntilQuit()
{
    return PumpUntil([this] { return m_app->QuitCalls() > 0 && m_ext == nullptr; }, 30000);
}
