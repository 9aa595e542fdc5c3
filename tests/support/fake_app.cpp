#include "support/fake_app.h"

#include <sstream>

namespace {

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace

std::string FakeAppPath(FakeImage image)
{
    switch (image) {
    case FakeImage::LowerWinword:
        return BinPath("fake_apps\\lower\\winword.exe");
    case FakeImage::UpperWinword:
        return BinPath("fake_apps\\upper\\WINWORD.EXE");
    case FakeImage::Outlook:
        return BinPath("fake_apps\\outlook\\OUTLOOK.EXE");
    }
    return {};
}

std::string UniqueObjectName(const char* what)
{
    static LONG counter = 0;
    return "Local\\VantrelFakeApp-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(InterlockedIncrement(&counter)) + "-" + what;
}

FakeApp::FakeApp(FakeImage image, const char* layout, const std::string& mode, const ScopedTempDir& dir)
    : m_ackName(UniqueObjectName("ack")), m_recordPath(dir.file((std::to_string(++s_count) + ".txt").c_str()))
{
    const std::string readyName = UniqueObjectName("ready");
    UniqueHandle ready(CreateEventA(nullptr, TRUE, FALSE, readyName.c_str()));
    m_ack.reset(CreateEventA(nullptr, FALSE, FALSE, m_ackName.c_str()));
    std::string command = "\"" + FakeAppPath(image) + "\" \"" + m_recordPath + "\" " + layout + " " + mode + " " +
                          readyName + " " + m_ackName;
    StartedProcess started = StartDetachedProcess(command);
    if (!started.process)
        return;
    m_process = std::move(started.process);
    m_thread = std::move(started.thread);
    m_id = started.processId;
    m_threadId = started.threadId;
    if (mode.compare(0, 5, "kill:") != 0) {
        const HANDLE handles[] = {ready.get(), m_process.get()};
        m_ready = WaitForMultipleObjects(2, handles, FALSE, kFakeAppWaitMs) == WAIT_OBJECT_0;
    }
}

std::vector<std::string> FakeApp::Record()
{
    if (!PostThreadMessageA(m_threadId, WM_APP, 0, 0) || !WaitForAck())
        return {"no answer"};
    return WrittenRecord();
}

std::vector<std::string> FakeApp::WrittenRecord() const
{
    return SplitLines(ReadWholeFile(m_recordPath));
}

bool FakeApp::WaitForAck(DWORD timeoutMs) const
{
    return WaitForSingleObject(m_ack.get(), timeoutMs) == WAIT_OBJECT_0;
}

bool FakeApp::WaitForExit(DWORD* exitCode)
{
    if (WaitForSingleObject(m_process.get(), kFakeAppWaitMs) != WAIT_OBJECT_0)
        return false;
    return GetExitCodeProcess(m_process.get(), exitCode) != FALSE;
}

void FakeApp::End()
{
    if (Running()) {
        TerminateProcess(m_process.get(), 1);
        WaitForSingleObject(m_process.get(), kFakeAppWaitMs);
    }
}

void FakeApp::Release()
{
    End();
    m_process.reset();
    m_thread.reset();
}
