// Starts and drives the stand-ins for Word and Outlook (tests/shutdown/helpers/fake_app.cpp)
// from a test: real processes under the image names that the process closer looks for.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "win32/raii.h"
#include "support/test_support.h"

constexpr DWORD kFakeAppWaitMs = 15000;

enum class FakeImage { LowerWinword, UpperWinword, Outlook };

// The stand-in program's path for that image name.
std::string FakeAppPath(FakeImage image);

// A name for a named kernel object, unique in this session.
std::string UniqueObjectName(const char* what);

// A running stand-in with top-level windows as given by layout (see fake_app.cpp); ended when
// the object goes.
class FakeApp {
public:
    FakeApp(FakeImage image, const char* layout, const std::string& mode, const ScopedTempDir& dir);
    ~FakeApp() { End(); }
    FakeApp(const FakeApp&) = delete;
    FakeApp& operator=(const FakeApp&) = delete;

    bool ready() const { return m_ready; }
    DWORD id() const { return m_id; }
    HANDLE process() const { return m_process.get(); }
    bool Running() const { return m_process && WaitForSingleObject(m_process.get(), 0) == WAIT_TIMEOUT; }

    // The WM_CLOSE and WM_QUIT it has taken so far, in order, as "child<i> WM_CLOSE" and the
    // like ("top<i>" for a top-level window, "thread" for none). Its queue is first-in
    // first-out, so this request comes after everything posted to it before.
    std::vector<std::string> Record();
    // The record as the stand-in last wrote it by itself (mode "quit:<n>"), without asking it.
    std::vector<std::string> WrittenRecord() const;
    // Waits for the stand-in's acknowledgement event (mode "quit:<n>": n quit messages taken).
    bool WaitForAck(DWORD timeoutMs = kFakeAppWaitMs) const;

    bool WaitForExit(DWORD* exitCode);
    // Terminates it when it still runs.
    void End();
    // Lets the process object go once the process has ended (while a handle is open, the
    // platform keeps an ended process that can still be opened).
    void Release();

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
