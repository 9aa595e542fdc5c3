#include "support/simulated_outlook.h"

#include <algorithm>

namespace {

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
    for (int i = 0; i < 500; ++i) {
        if (Contains(Log(), line))
            return true;
        Sleep(20); // the log is a file: nothing to wait on but time
    }
    return false;
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
