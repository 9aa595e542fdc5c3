// Proof over many runs: a thousand load-to-release cycles leave nothing behind, and a release
// at any second of the countdown returns without the process being ended.
#include "addin_fixture.h"

#include <commctrl.h>

#include <cstdio>
#include <functional>

#include "com/module_lock.h"
#include "win32/raii.h"
#include "resource.h"
#include "support/child_process.h"
#include "support/leak_gauge.h"
#include "support/pump_until.h"

namespace {

// What the process holds: resources and module locks, counted at once after a cycle, and its
// threads, counted on their own. Each is compared once (see support/leak_gauge.h); a cycle
// starts no thread, and a release waits for any worker it started, so the points after a
// cycle are quiet ones for the thread count as well.
struct Held {
    ResourceCounts resources;
    LONG moduleLocks = 0;
    int threads = 0;
    bool operator==(const Held& other) const
    {
        return resources == other.resources && moduleLocks == other.moduleLocks && threads == other.threads;
    }
    std::string Describe() const
    {
        return resources.Describe() + ", module locks " + std::to_string(moduleLocks) + ", threads " +
               std::to_string(threads);
    }
};

Held CountHeld()
{
    Held held;
    held.resources = CountResources();
    held.moduleLocks = ModuleLockCount();
    held.threads = CountThreads();
    return held;
}

class AddinCycleTest : public AddinTest {
protected:
    // Connect, start up with the add-in enabled (the Explorer is watched), switch it off, close
    // the last Explorer (the shutdown unsubscribes and starts no worker), release to zero.
    void Cycle()
    {
        SetStringSetting(HKEY_CURRENT_USER, "Enabled", "1");
        StartAddin(1);
        ASSERT_EQ(m_connect->WatcherCount(), 1);
        SetStringSetting(HKEY_CURRENT_USER, "Enabled", "0");
        m_app->CloseExplorer(ExplorerAt(0));
        ASSERT_EQ(m_connect->WorkerThread(), nullptr);
        ASSERT_EQ(AppSinks(), 0u);
        ReleaseAddin();
        ASSERT_EQ(LogFile::Existing(), nullptr) << "the final release ran";
        m_app->Log().Clear();
    }

    // What the process holds after a warm-up cycle and after `cycles` more, each followed by
    // `extra`. A window stays open throughout: a thread's first window brings an input-method
    // window along that would otherwise come and go with the bridge's window.
    void RunCycles(int cycles, const std::function<void()>& extra, Held* before, Held* after)
    {
        const UniqueWindow keep(
            CreateWindowExA(0, "STATIC", "cycles", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr));
        ASSERT_NO_FATAL_FAILURE(Cycle());
        *before = CountHeld();
        const DWORD start = GetTickCount();
        for (int i = 0; i < cycles; ++i) {
            ASSERT_NO_FATAL_FAILURE(Cycle()) << "cycle " << i;
            extra();
        }
        std::printf("%d cycles in %lu ms\n", cycles, GetTickCount() - start);
        *after = CountHeld();
    }
};

TEST_F(AddinCycleTest, AThousandCyclesLeaveNothingBehind)
{
    Held before, after;
    RunCycles(1000, [] {}, &before, &after);
    EXPECT_TRUE(after == before) << "before: " << before.Describe() << "\nafter:  " << after.Describe();
}

// Threads that wait until the test lets them go; made with CreateThread (see leak_gauge.h).
class WaitingThreads {
public:
    WaitingThreads() : m_stop(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~WaitingThreads()
    {
        SetEvent(m_stop.get());
        for (const UniqueHandle& thread : m_threads)
            WaitForSingleObject(thread.get(), INFINITE);
    }
    WaitingThreads(const WaitingThreads&) = delete;
    WaitingThreads& operator=(const WaitingThreads&) = delete;
    void Start() { m_threads.emplace_back(CreateThread(nullptr, 0, Wait, m_stop.get(), 0, nullptr)); }

private:
    static DWORD WINAPI Wait(void* stop) noexcept { return WaitForSingleObject(static_cast<HANDLE>(stop), INFINITE); }
    UniqueHandle m_stop;
    std::vector<UniqueHandle> m_threads;
};

TEST_F(AddinCycleTest, TheCycleCheckSeesADeliberateLeak)
{
    // One of each kind left behind by each of three cycles.
    WaitingThreads threads;
    std::vector<UniqueHandle> events;
    std::vector<UniqueGdiObject> brushes;
    std::vector<UniqueWindow> windows;
    Held before, after;
    RunCycles(
        3,
        [&] {
            events.emplace_back(CreateEventA(nullptr, TRUE, FALSE, nullptr));
            brushes.emplace_back(CreateSolidBrush(RGB(1, 2, 3)));
            windows.emplace_back(
                CreateWindowExA(0, "STATIC", "leak", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr));
            threads.Start();
        },
        &before, &after);
    EXPECT_FALSE(after == before);
    EXPECT_EQ(after.resources.handles, before.resources.handles + 6) << "three events and three thread handles";
    EXPECT_EQ(after.resources.gdiObjects, before.resources.gdiObjects + 3);
    EXPECT_EQ(after.resources.userObjects, before.resources.userObjects + 3);
    EXPECT_EQ(after.threads, before.threads + 3);
}

// The exit dialog's bar moves one step at the start of each second of the countdown: its
// position, or -1 while there is no dialog. Sent to the worker, which serves its messages.
long CountdownPosition()
{
    HWND dialog = OwnExitDialog();
    DWORD_PTR position = 0;
    if (!dialog || !SendMessageTimeoutA(GetDlgItem(dialog, IDC_EXIT_PROGRESS), PBM_GETPOS, 0, 0, SMTO_NORMAL, 10000,
                                        &position))
        return -1;
    return static_cast<long>(position);
}

TEST_F(AddinTest, ReleaseAtEachSecondOfTheCountdownReturns)
{
    // Outlook lets go of the add-in in each second of a 5 s countdown, from before its first
    // step (second 0) to its last one (second 5), timed by the countdown's own bar rather than by
    // the clock: the release stops the worker, waits for it and returns, and the process is not
    // ended. Each run is a child process; the time Outlook's thread was held is printed.
    SetStringSetting(HKEY_CURRENT_USER, "Delay", "5");
    SetStringSetting(HKEY_CURRENT_USER, "ShowExitDialog", "1");
    for (long second = 0; second <= 5; ++second) {
        SCOPED_TRACE(second);
        ExpectInChildProcess([&] {
            StartAddin(1);
            m_app->CloseExplorer(ExplorerAt(0));
            ASSERT_TRUE(PumpUntil([&] { return m_app->QuitCalls() == 1; }, 30000));
            // The bar moves on the worker's thread: a timer on this one wakes the wait to look.
            const UINT_PTR look = SetTimer(nullptr, 0, 50, nullptr);
            const bool reached = PumpUntil([&] { return CountdownPosition() >= second; }, 30000);
            KillTimer(nullptr, look);
            ASSERT_TRUE(reached);
            const long position = CountdownPosition();

            const DWORD release = GetTickCount();
            ReleaseAddin();
            const DWORD returned = GetTickCount();
            EXPECT_EQ(OwnExitDialog(), nullptr) << "the dialog goes with the stopped run";
            std::printf("release at countdown step %ld: Outlook's thread held %lu ms\n", position,
                        returned - release);
        });
    }
}

} // namespace
