#include "support/simulated_outlook.h"

#include <algorithm>
#include <cstdio>

namespace {

struct ChangeNotificationTraits {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { (void)FindCloseChangeNotification(h); }
};
using UniqueChangeNotification = UniqueResource<HANDLE, ChangeNotificationTraits>;

std::string SimulatorPath()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    folder.resize(folder.rfind('\\'));
    return folder + "\\sim\\OUTLOOK.EXE";
}

} // namespace

SimulatedOutlook::SimulatedOutlook(const std::string& arguments)
{
    m_log = m_dir.file("outlook.log");
    const std::string command = "\"" + SimulatorPath() + "\" --log \"" + m_log + "\" " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    m_started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &m_process) != FALSE;
    if (m_started)
        CloseHandle(m_process.hThread);
    else
        std::fprintf(stderr, "the simulator did not start: CreateProcess error %lu\n",
                     static_cast<unsigned long>(GetLastError()));
}

SimulatedOutlook::~SimulatedOutlook()
{
    if (m_started) {
        TerminateProcess(m_process.hProcess, 99);
        WaitForSingleObject(m_process.hProcess, 10000);
        CloseHandle(m_process.hProcess);
    }
}

std::vector<SimulatedOutlook::Event> SimulatedOutlook::Events() const
{
    // "event TYPE ID" opens a report; each inserted string follows as "event string TEXT".
    std::vector<Event> events;
    for (const std::string& line : Log()) {
        Event event;
        if (std::sscanf(line.c_str(), "event %u %u", &event.type, &event.id) == 2) {
            events.push_back(event);
        } else if (line.rfind("event string ", 0) == 0 && !events.empty()) {
            events.back().strings.push_back(line.substr(13));
        }
    }
    return events;
}

long SimulatedOutlook::WaitForExit()
{
    if (WaitForSingleObject(m_process.hProcess, 60000) != WAIT_OBJECT_0)
        return -1;
    DWORD code = 0;
    GetExitCodeProcess(m_process.hProcess, &code);
    return static_cast<long>(code);
}

bool SimulatedOutlook::WaitForLine(const std::string& line)
{
    return WaitForLog([&line](const std::vector<std::string>& log) { return Contains(log, line); }, 10000);
}

bool SimulatedOutlook::WaitForLog(const std::function<bool(const std::vector<std::string>&)>& done, DWORD timeoutMs)
{
    // Watched before the first read, so that no line written between a read and the wait is
    // missed.
    const UniqueChangeNotification change(FindFirstChangeNotificationA(
        m_dir.path().c_str(), FALSE, FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE));
    if (!change || !m_started)
        return done(Log());
    const HANDLE events[2] = {change.get(), m_process.hProcess};
    const DWORD start = GetTickCount();
    for (;;) {
        if (done(Log()))
            return true;
        const DWORD spent = GetTickCount() - start;
        if (spent >= timeoutMs)
            return false;
        const DWORD woken = WaitForMultipleObjects(2, events, FALSE, timeoutMs - spent);
        if (woken != WAIT_OBJECT_0 || !FindNextChangeNotification(change.get()))
            return done(Log()); // ended, out of time or no more notifications
    }
}

std::vector<std::string> SimulatedOutlook::Log() const
{
    std::vector<std::string> lines;
    const std::string content = ReadWholeFile(m_log);
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        if (end == std::string::npos)
            end = content.size();
        std::string line = content.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::vector<std::string> OutlookCalls(const std::vector<std::string>& log)
{
    std::vector<std::string> calls;
    for (const std::string& line : log)
        if (line.rfind("call Session", 0) == 0 || line.rfind("call Logoff", 0) == 0 || line.rfind("call Quit", 0) == 0)
            calls.push_back(line);
    return calls;
}
