#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "com/raii.h"
#include "shutdown/process_closer.h"
#include "support/test_support.h"

namespace {

using Lines = std::vector<std::string>;

constexpr DWORD kGenerousWaitMs = 15000;

enum class Image { LowerWinword, UpperWinword, Outlook };

std::string ImagePath(Image image)
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    folder.erase(folder.find_last_of('\\'));
    switch (image) {
    case Image::LowerWinword:
        return folder + "\\fake_apps\\lower\\winword.exe";
    case Image::UpperWinword:
        return folder + "\\fake_apps\\upper\\WINWORD.EXE";
    case Image::Outlook:
        return folder + "\\fake_apps\\outlook\\OUTLOOK.EXE";
    }
    return {};
}

std::string UniqueName(const char* what)
{
    static LONG counter = 0;
    return "Local\\VantrelFakeApp-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(InterlockedIncrement(&counter)) + "-" + what;
}

// A running fake Word or Outlook (tests/shutdown/helpers/fake_app.cpp) with top-level windows
// as given by layout; ended when the object goes.
class FakeApp {
public:
    FakeApp(Image image, const char* layout, const std::string& mode, const ScopedTempDir& dir)
        : m_ackName(UniqueName("ack")), m_recordPath(dir.file((std::to_string(++s_count) + ".txt").c_str()))
    {
        const std::string readyName = UniqueName("ready");
        UniqueHandle ready(CreateEventA(nullptr, TRUE, FALSE, readyName.c_str()));
        m_ack.reset(CreateEventA(nullptr, FALSE, FALSE, m_ackName.c_str()));
        std::string command = "\"" + ImagePath(image) + "\" \"" + m_recordPath + "\" " + layout + " " + mode +
                              " " + readyName + " " + m_ackName;
        STARTUPINFOA startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        // Without a console: the helper needs none, and a new console would cost a console
        // host process under Wine.
        if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr,
                            &startup, &info))
            return;
        m_process.reset(info.hProcess);
        m_thread.reset(info.hThread);
        m_id = info.dwProcessId;
        m_threadId = info.dwThreadId;
        if (mode.compare(0, 5, "kill:") != 0) {
            const HANDLE handles[] = {ready.get(), m_process.get()};
            m_ready = WaitForMultipleObjects(2, handles, FALSE, kGenerousWaitMs) == WAIT_OBJECT_0;
        }
    }
    ~FakeApp() { End(); }

    bool ready() const { return m_ready; }
    DWORD id() const { return m_id; }
    HANDLE process() const { return m_process.get(); }
    bool Running() const { return m_process && WaitForSingleObject(m_process.get(), 0) == WAIT_TIMEOUT; }

    // The WM_CLOSE and WM_QUIT it has taken so far, in order, as "child<i> WM_CLOSE" and the
    // like ("top<i>" for a top-level window, "thread" for none). Its queue is first-in
    // first-out, so this request comes after everything posted to it before.
    Lines Record()
    {
        if (!PostThreadMessageA(m_threadId, WM_APP, 0, 0) ||
            WaitForSingleObject(m_ack.get(), kGenerousWaitMs) != WAIT_OBJECT_0)
            return {"no answer"};
        Lines lines;
        std::istringstream in(ReadWholeFile(m_recordPath));
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    bool WaitForExit(DWORD* exitCode)
    {
        if (WaitForSingleObject(m_process.get(), kGenerousWaitMs) != WAIT_OBJECT_0)
            return false;
        return GetExitCodeProcess(m_process.get(), exitCode) != FALSE;
    }

    void End()
    {
        if (Running()) {
            TerminateProcess(m_process.get(), 1);
            WaitForSingleObject(m_process.get(), kGenerousWaitMs);
        }
    }

    // Lets the process object go once the process has ended (while a handle is open, the
    // platform keeps an ended process that can still be opened).
    void Release()
    {
        End();
        m_process.reset();
        m_thread.reset();
    }

private:
    static inline int s_count = 0;
    std::string m_ackName;
    std::string m_recordPath;
    UniqueHandle m_ack;
    UniqueHandle m_process;
    UniqueHandle m_thread;
    DWORD m_id = 0;
    DWORD m_threadId = 0;
    bool m_ready = false;
};

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

// A top-level window without children (one of ours, or the IME window that the platform gives
// a thread with windows) makes the closer post to the calling thread's own queue: each test
// starts and ends with that queue empty.
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

TEST_F(CloseProcessByNameTest, WindowWithoutChildPostsToTheCallersOwnQueue)
{
    ScopedTempDir dir;
    FakeApp app(Image::Outlook, "aA", "pump", dir);
    ASSERT_TRUE(app.ready());

    CloseProcessByName("OUTLOOK.EXE", false);

    EXPECT_EQ(app.Record(), CloseAndQuit("child1"));
    // One pair for window 0, and one for the platform's IME window where it has one.
    const Lines taken = TakeThreadMessages();
    ASSERT_GE(taken.size(), 2u);
    Lines pairs;
    for (size_t i = 0; i < (taken.size() + 1) / 2; ++i)
        pairs.insert(pairs.end(), {"WM_CLOSE", "WM_QUIT"});
    EXPECT_EQ(taken, pairs);
}

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
