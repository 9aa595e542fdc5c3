#include "support/simulated_outlook.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

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
}

SimulatedOutlook::SimulatedOutlook(const std::string& arguments, CaptureEvents)
{
    m_log = m_dir.file("outlook.log");
    m_stderr = m_dir.file("stderr.txt");
    const std::string command = "\"" + SimulatorPath() + "\" --log \"" + m_log + "\" " + arguments;
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    const UniqueFileHandle errors(CreateFileA(m_stderr.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                              &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    const UniqueFileHandle nothing(CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                               &inherit, OPEN_EXISTING, 0, nullptr));
    if (!errors || !nothing)
        return;
    // The child's environment: this one's, with Wine's channels for ReportEventW switched on.
    std::string environment;
    const char* kChannels = "WINEDEBUG=fixme+advapi,trace+eventlog,warn+eventlog,err+eventlog";
    if (char* block = GetEnvironmentStringsA()) {
        for (const char* entry = block; *entry; entry += std::strlen(entry) + 1)
            if (_strnicmp(entry, "WINEDEBUG=", 10) != 0)
                environment.append(entry).push_back('\0');
        FreeEnvironmentStringsA(block);
    }
    environment.append(kChannels).push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nothing.get();
    startup.hStdOutput = nothing.get();
    startup.hStdError = errors.get();
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    m_started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, &environment[0], nullptr, &startup,
                               &m_process) != FALSE;
    if (m_started)
        CloseHandle(m_process.hThread);
}

std::vector<SimulatedOutlook::Event> SimulatedOutlook::Events() const
{
    // fixme:advapi:ReportEventW (0x...,0x0004,0x0000,0x000003e8,...) opens a report; each
    // inserted string follows on a line of its own: ...:eventlog:ReportEventW L"text".
    std::vector<Event> events;
    if (m_stderr.empty())
        return events;
    const std::string content = ReadWholeFile(m_stderr);
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        if (end == std::string::npos)
            end = content.size();
        const std::string line = content.substr(start, end - start);
        start = end + 1;
        const size_t report = line.find("advapi:ReportEventW (");
        if (report != std::string::npos) {
            Event event;
            unsigned long long handle = 0;
            unsigned category = 0;
            if (std::sscanf(line.c_str() + report + 21, "%llx,%x,%x,%x", &handle, &event.type, &category, &event.id) == 4)
                events.push_back(event);
            continue;
        }
        const size_t text = line.find("eventlog:ReportEventW L\"");
        if (text != std::string::npos && !events.empty()) {
            std::string inserted = line.substr(text + 24);
            if (!inserted.empty() && inserted.back() == '\r')
                inserted.pop_back();
            if (!inserted.empty() && inserted.back() == '"')
                inserted.pop_back();
            events.back().strings.push_back(inserted);
        }
    }
    return events;
}

SimulatedOutlook::~SimulatedOutlook()
{
    if (m_started) {
        TerminateProcess(m_process.hProcess, 99);
        WaitForSingleObject(m_process.hProcess, 10000);
        CloseHandle(m_process.hProcess);
    }
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
