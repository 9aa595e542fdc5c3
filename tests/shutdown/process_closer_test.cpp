#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "win32/raii.h"
#include "shutdown/process_closer.h"
#include "support/fake_app.h"
#include "support/test_support.h"

namespace {

using Lines = std::vector<std::string>;

constexpr DWORD kGenerousWaitMs = kFakeAppWaitMs;

using Image = FakeImage;

// Waits until an ended process can no longer be opened: Wine keeps it a moment after the last
// handle has gone, and until then terminating it again still succeeds there.
bool WaitUntilGone(DWORD processId)
{
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < kGenerousWaitMs) {
        UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
        if (!process)
            return true;
        // Nothing signals the end of a process object.
        Sleep(20);
    }
    return false;
}

Lines CloseAndQuit(const char* target)
{
    return {std::string(target) + " WM_CLOSE", std::string(target) + " WM_QUIT"};
}

Lines Concat(std::initializer_list<Lines> parts)
{
    Lines all;
    for (const Lines& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// Takes the thread messages waiting in the calling thread's queue, as "WM_CLOSE", "WM_QUIT"
// or "other".
Lines TakeThreadMessages()
{
    Lines taken;
    MSG msg;
    while (PeekMessageA(&msg, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE))
        taken.push_back(msg.message == WM_CLOSE ? "WM_CLOSE" : msg.message == WM_QUIT ? "WM_QUIT" : "other");
    return taken;
}

// Each test starts and ends with the calling thread's queue empty, so that a message the
// closer posts there by mistake shows.
class CloseProcessByNameTest : public ::testing::Test {
protected:
    void SetUp() override { (void)TakeThreadMessages(); }
    void TearDown() override { (void)TakeThreadMessages(); }
};

struct WalkCase {
    const char* layout; // top of the Z order first; see fake_app.cpp
    bool appWindowsOnly;
    Lines expected;
};

void PrintTo(const WalkCase& c, std::ostream* out)
{
    *out << c.layout << (c.appWindowsOnly ? ", app windows only" : ", all windows");
}

class CloseProcessByNameWalk : public CloseProcessByNameTest, public ::testing::WithParamInterface<WalkCase> {};

TEST_P(CloseProcessByNameWalk, PostsCloseThenQuitToEachTopmostChildInZOrder)
{
    const WalkCase& c = GetParam();
    ScopedTempDir dir;
    FakeApp app(Image::LowerWinword, c.layout, "pump", dir);
    ASSERT_TRUE(app.ready());

    CloseProcessByName("winword.exe", c.appWindowsOnly);

    EXPECT_EQ(app.Record(), c.expected);
    // It ignores what it was sent, and nothing else ends it.
    EXPECT_TRUE(app.Running());
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, CloseProcessByNameWalk,
    ::testing::Values(
        // Every window, whatever its style; the windows themselves get nothing.
        WalkCase{"NAN", false, Concat({CloseAndQuit("child0"), CloseAndQuit("child1"), CloseAndQuit("child2")})},
        WalkCase{"AAA", true, Concat({CloseAndQuit("child0"), CloseAndQuit("child1"), CloseAndQuit("child2")})},
        // The walk stops at the first window without the app-window style...
        WalkCase{"AANA", true, Concat({CloseAndQuit("child0"), CloseAndQuit("child1")})},
        // ...even when it is the first and later ones have the style.
        WalkCase{"NAA", true, {}}),
    [](const ::testing::TestParamInfo<WalkCase>& info) {
        return std::string(info.param.layout) + (info.param.appWindowsOnly ? "_AppWindowsOnly" : "_AllWindows");
    });

TEST_F(CloseProcessByNameTest, ClosesEveryProcessOfThatImageNameIgnoringCase)
{
    ScopedTempDir dir;
    FakeApp lower(Image::LowerWinword, "A", "pump", dir);
    FakeApp upper(Image::UpperWinword, "A", "pump", dir);
    FakeApp outlook(Image::Outlook, "A", "pump", dir);
    ASSERT_TRUE(lower.ready() && upper.ready() && outlook.ready());

    // Names that match none of them.
    for (const char* other : {"winword", "word.exe", "winword.exe ", "", "unknown"})
        CloseProcessByName(other, false);
    CloseProcessByName(nullptr, false);
    EXPECT_EQ(lower.Record(), Lines{});
    EXPECT_EQ(upper.Record(), Lines{});
    EXPECT_EQ(outlook.Record(), Lines{});

    CloseProcessByName("WinWord.Exe", false);
    EXPECT_EQ(lower.Record(), CloseAndQuit("child0"));
    EXPECT_EQ(upper.Record(), CloseAndQuit("child0"));
    EXPECT_EQ(outlook.Record(), Lines{});

    CloseProcessByName("OUTLOOK.EXE", false);
    EXPECT_EQ(outlook.Record(), CloseAndQuit("child0"));
    EXPECT_EQ(lower.Record(), CloseAndQuit("child0"));
}

TEST_F(CloseProcessByNameTest, ReturnsWhileTheProcessTakesNoMessages)
{
    ScopedTempDir dir;
    FakeApp app(Image::Outlook, "AA", "hang", dir);
    ASSERT_TRUE(app.ready());

    UniqueHandle done(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    std::thread closer([&] {
        CloseProcessByName("OUTLOOK.EXE", false);
        SetEvent(done.get());
    });
    const bool returned = WaitForSingleObject(done.get(), kGenerousWaitMs) == WAIT_OBJECT_0;
    const bool stillRunning = app.Running();
    app.End(); // frees a closer that waits for the process, so that the thread can be joined
    closer.join();

    EXPECT_TRUE(returned);
    EXPECT_TRUE(stillRunning);
}

TEST_F(CloseProcessByNameTest, WindowWithoutChildGetsNothingAndNothingComesToTheCallersQueue)
{
    ScopedTempDir dir;
    FakeApp app(Image::Outlook, "aA", "pump", dir);
    ASSERT_TRUE(app.ready());

    CloseProcessByName("OUTLOOK.EXE", false);

    EXPECT_EQ(app.Record(), CloseAndQuit("child1"));
    // Posting to the null child of window 0 (or of the platform's IME window) would have put
    // WM_CLOSE and WM_QUIT into this thread's own queue.
    EXPECT_EQ(TakeThreadMessages(), Lines{});
}

// The ids that CloseBackgroundProcessByName reported as left open.
std::vector<DWORD> g_leftOpen;
void NoteLeftOpen(DWORD processId)
{
    g_leftOpen.push_back(processId);
}

struct BackgroundCase {
    const char* layout; // every window hidden: a Word in the background
    Lines expected;
};

void PrintTo(const BackgroundCase& c, std::ostream* out)
{
    *out << c.layout;
}

class CloseBackgroundWord : public CloseProcessByNameTest, public ::testing::WithParamInterface<BackgroundCase> {};

// What "CloseWinWord" does to a Word that shows no window: the close and quit messages go to the
// topmost child of its windows in Z order, up to its first window without the app-window style.
// A hidden Word whose first listed window lacks the style gets nothing at all.
TEST_P(CloseBackgroundWord, ReachesOnlyAWordWhoseFirstWindowIsAnAppWindow)
{
    const BackgroundCase& c = GetParam();
    ScopedTempDir dir;
    FakeApp word(Image::LowerWinword, c.layout, "pump", dir);
    ASSERT_TRUE(word.ready());
    g_leftOpen.clear();

    CloseBackgroundProcessByName("winword.exe", true, NoteLeftOpen);

    EXPECT_EQ(word.Record(), c.expected);
    EXPECT_EQ(g_leftOpen, std::vector<DWORD>{}) << "a hidden Word is not one the user sees";
    EXPECT_TRUE(word.Running());
}

INSTANTIATE_TEST_SUITE_P(
    HiddenWord, CloseBackgroundWord,
    ::testing::Values(BackgroundCase{"A", CloseAndQuit("child0")},
                      BackgroundCase{"AN", CloseAndQuit("child0")},
                      BackgroundCase{"N", {}},
                      BackgroundCase{"NA", {}}),
    [](const ::testing::TestParamInfo<BackgroundCase>& info) { return std::string(info.param.layout); });

TEST(KillProcess, EndsTheProcessWithTheGivenExitCode)
{
    ScopedTempDir dir;
    FakeApp app(Image::LowerWinword, "A", "pump", dir);
    ASSERT_TRUE(app.ready());

    EXPECT_TRUE(KillProcess(app.id(), 1234));
    DWORD exitCode = 0;
    ASSERT_TRUE(app.WaitForExit(&exitCode));
    EXPECT_EQ(exitCode, 1234u);

    // Ended and gone: nothing left to terminate.
    app.Release();
    ASSERT_TRUE(WaitUntilGone(app.id()));
    EXPECT_FALSE(KillProcess(app.id(), 0));
}

TEST(KillProcess, EndsTheCallersOwnProcess)
{
    ScopedTempDir dir;
    FakeApp app(Image::Outlook, "-", "kill:77", dir);
    DWORD exitCode = 0;
    ASSERT_TRUE(app.WaitForExit(&exitCode));
    // 98 would mean that KillProcess returned.
    EXPECT_EQ(exitCode, 77u);
}

} // namespace
