// For the installer action tests: runs an action in its own process (helpers/action_runner.cpp)
// and answers its prompts from another thread.
#pragma once

#include <windows.h>
#include <msi.h>

#include <string>
#include <vector>

#include "win32/raii.h"
#include "support/test_support.h"

constexpr DWORD kRunnerWaitMs = 30000;
extern const char kQuitPrompt[];

// What a saved link holds, read back through IShellLinkA (on a thread of its own, with COM).
struct Link {
    bool loaded = false;
    std::string path, arguments, description, iconPath;
    int iconIndex = -1;
};
Link ReadLink(const std::string& path);

// The action runner, started with the given arguments after its result file.
class ActionRun {
public:
    ActionRun(const ScopedTempDir& dir, const std::string& arguments);
    // A runner still running (a test that failed on the way, or a hung action) is ended.
    ~ActionRun();
    ActionRun(const ActionRun&) = delete;
    ActionRun& operator=(const ActionRun&) = delete;
    bool started() const { return static_cast<bool>(m_process); }
    HANDLE process() const { return m_process.get(); }
    // Waits for the end; true with exit code 0 and a result file that says "returned 0". A
    // runner that has not ended by then is ended, and the call answers false.
    bool Finish(DWORD timeoutMs = kRunnerWaitMs);
    // The lines "queue ..." of the result: thread messages the action left in its own queue.
    std::vector<std::string> OwnQueue() const;
    std::string Result() const { return ReadWholeFile(m_resultPath); }

private:
    std::string m_resultPath;
    UniqueHandle m_process;
};

// Answers the message boxes of one action runner's process (see ChildBoxAnswerer): the n-th
// box gets answers[n] (IDOK or IDCANCEL), later ones IDCANCEL.
class PromptAnswerer {
public:
    PromptAnswerer(const ActionRun& run, std::vector<int> answers) : m_boxes(run.process(), std::move(answers)) {}
    // The boxes that showed kQuitPrompt.
    int Count();
    // The caption of the last box seen.
    std::string Caption();

private:
    ChildBoxAnswerer m_boxes;
};


// An installation handle, in this process, from MsiOpenPackage on the test package
// (helpers/test_package.wxs) with "UILevel" set to uiLevel; handle 0 (every read fails) when
// uiLevel is null. Closed when the object goes.
class TestInstallation {
public:
    explicit TestInstallation(const char* uiLevel);
    ~TestInstallation();
    TestInstallation(const TestInstallation&) = delete;
    TestInstallation& operator=(const TestInstallation&) = delete;
    // False when a package was asked for and could not be opened or set up.
    bool ready() const { return m_ready; }
    MSIHANDLE get() const { return m_handle; }

private:
    MSIHANDLE m_handle = 0;
    bool m_ready = false;
};
