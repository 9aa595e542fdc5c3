#include "support/bench_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "com/raii.h"
#include "support/test_support.h"

using Microsoft::WRL::ComPtr;

namespace {

ULONGLONG Ticks(const FILETIME& time)
{
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

double ProcessCpuMs(HANDLE process)
{
    FILETIME creation, exit, kernel, user;
    if (!GetProcessTimes(process, &creation, &exit, &kernel, &user))
        return 0;
    return static_cast<double>(Ticks(kernel) + Ticks(user)) / 10000.0;
}

using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);

// Linux counts processor time in clock ticks of 1/100 s (USER_HZ on every Linux Wine runs on).
constexpr double kLinuxTickMs = 10;

bool RunningOnWine()
{
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

// Under Wine, the Linux process whose command line holds token, found through drive Z: (the
// Unix root); 0 when there is none yet.
unsigned FindLinuxProcess(const std::string& token)
{
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA("Z:\\proc\\*", &entry);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    unsigned found = 0;
    do {
        const unsigned pid = static_cast<unsigned>(std::strtoul(entry.cFileName, nullptr, 10));
        if (pid == 0)
            continue;
        std::string commandLine = ReadWholeFile("Z:\\proc\\" + std::to_string(pid) + "\\cmdline");
        std::replace(commandLine.begin(), commandLine.end(), '\0', ' ');
        if (commandLine.find(token) != std::string::npos)
            found = pid;
    } while (!found && FindNextFileA(search, &entry));
    FindClose(search);
    return found;
}

// User plus system time of a Linux process from /proc/PID/stat (still readable while the ended
// process waits to be reaped); 0 when it cannot be read.
double LinuxProcessCpuMs(unsigned pid)
{
    const std::string stat = ReadWholeFile("Z:\\proc\\" + std::to_string(pid) + "\\stat");
    const size_t end = stat.rfind(')'); // the name in parentheses may hold blanks
    if (end == std::string::npos)
        return 0;
    // After the name: state (field 3) ... utime (14), stime (15).
    unsigned long long utime = 0, stime = 0;
    if (std::sscanf(stat.c_str() + end + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime,
                    &stime) != 2)
        return 0;
    return static_cast<double>(utime + stime) * kLinuxTickMs;
}

// Under Wine, the processor time so far of the Wine server that serves this session (its Linux
// process id given in VANTREL_BENCH_SERVER_PID by scripts/bench.sh); -1 when not known.
double ServerCpuMs()
{
    const char* pid = std::getenv("VANTREL_BENCH_SERVER_PID");
    if (!pid || !*pid)
        return -1;
    return LinuxProcessCpuMs(static_cast<unsigned>(std::strtoul(pid, nullptr, 10)));
}

} // namespace

double NowMs()
{
    static const double frequency = [] {
        LARGE_INTEGER value;
        QueryPerformanceFrequency(&value);
        return static_cast<double>(value.QuadPart);
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / frequency;
}

Summary Summarize(std::vector<double> values)
{
    Summary summary;
    if (values.empty())
        return summary;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    summary.median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    summary.min = values.front();
    summary.max = values.back();
    return summary;
}

std::string ProgramPath()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

std::string ProgramFolder()
{
    std::string folder = ProgramPath();
    folder.resize(folder.rfind('\\'));
    return folder;
}

ChildRun RunChild(const std::string& commandLine, const std::string& token, DWORD timeoutMs)
{
    ChildRun run;
    const bool wine = RunningOnWine();
    run.cpuSource = wine ? "/proc/PID/stat of the Linux process" : "GetProcessTimes on the child's handle";
    unsigned linuxPid = 0;
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    const double serverBefore = wine ? ServerCpuMs() : -1;
    const double start = NowMs();
    run.started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                 &process) != FALSE;
    if (!run.started)
        return run;
    UniqueHandle processHandle(process.hProcess);
    UniqueHandle threadHandle(process.hThread);
    for (;;) {
        if (wine && !linuxPid && !token.empty())
            linuxPid = FindLinuxProcess(token);
        const double cpu = wine ? (linuxPid ? LinuxProcessCpuMs(linuxPid) : 0) : ProcessCpuMs(processHandle.get());
        run.cpuMs = std::max(run.cpuMs, cpu);
        if (WaitForSingleObject(processHandle.get(), 10) == WAIT_OBJECT_0) {
            run.ended = true;
            break;
        }
        if (NowMs() - start > timeoutMs) {
            TerminateProcess(processHandle.get(), 99);
            WaitForSingleObject(processHandle.get(), 10000);
            break;
        }
    }
    run.wallMs = NowMs() - start;
    // Where the system still answers for an ended process, its final figure is the exact one.
    run.cpuMs = std::max(run.cpuMs, wine ? (linuxPid ? LinuxProcessCpuMs(linuxPid) : 0) : ProcessCpuMs(processHandle.get()));
    run.cpuFound = !wine || linuxPid != 0;
    const double serverAfter = serverBefore >= 0 ? ServerCpuMs() : -1;
    run.serverCpuMs = serverAfter >= 0 ? serverAfter - serverBefore : -1;
    GetExitCodeProcess(processHandle.get(), &run.exitCode);
    return run;
}

std::string NewResultPath()
{
    char folder[MAX_PATH] = {};
    char path[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    GetTempFileNameA(folder, "vbr", 0, path);
    return path;
}

void WriteResult(const std::string& path, const std::string& text)
{
    if (FILE* file = std::fopen(path.c_str(), "w")) {
        std::fputs(text.c_str(), file);
        std::fclose(file);
    }
}

std::string ReadResult(const std::string& path)
{
    const std::string text = ReadWholeFile(path);
    DeleteFileA(path.c_str());
    return text;
}

HRESULT CallServerExport(const char* name)
{
    using RegisterFn = HRESULT(WINAPI*)();
    HMODULE module = LoadLibraryA((ProgramFolder() + "\\Vantrel.dll").c_str());
    if (!module)
        return HRESULT_FROM_WIN32(GetLastError());
    const auto function = reinterpret_cast<RegisterFn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    const HRESULT hr = function ? function() : HRESULT_FROM_WIN32(GetLastError());
    FreeLibrary(module);
    return hr;
}

bool RegisterServerForRuns()
{
    const HRESULT registered = CallServerExport("DllRegisterServer");
    if (SUCCEEDED(registered))
        return true;
    std::printf("Vantrel.dll could not be registered: 0x%08lx\n", static_cast<unsigned long>(registered));
    return false;
}

Command Unique(const std::string& before, const std::string& after)
{
    const std::string path = NewResultPath();
    return {before + "\"" + path + "\"" + after, path.substr(path.rfind('\\') + 1), path};
}

ChildRun Run(const Command& command, DWORD timeoutMs)
{
    const ChildRun run = RunChild(command.line, command.token, timeoutMs);
    DeleteFileA(command.file.c_str());
    return run;
}

Command Simulator(const std::string& steps)
{
    return Unique("\"" + ProgramFolder() + "\\sim\\OUTLOOK.EXE\" --log ", " " + steps);
}

void SetUserSettings(const char* enabled, const char* delay, const char* showExitDialog)
{
    DeleteSettingsKeys();
    SetStringSetting(HKEY_CURRENT_USER, "Enabled", enabled);
    SetStringSetting(HKEY_CURRENT_USER, "Delay", delay);
    SetStringSetting(HKEY_CURRENT_USER, "ShowExitDialog", showExitDialog);
    SetStringSetting(HKEY_CURRENT_USER, "CloseWinWord", "0");
}

HostedAddin::~HostedAddin()
{
    Release();
    // The DLL stays loaded: the process ends soon, and Outlook frees add-ins only then too.
}

HRESULT HostedAddin::Start(IDispatch* application, const std::string& dllPath)
{
    const std::string dll = dllPath.empty() ? ProgramFolder() + "\\Vantrel.dll" : dllPath;
    double before = NowMs();
    m_module = LoadLibraryA(dll.c_str());
    loadLibraryMs = NowMs() - before;
    if (!m_module)
        return HRESULT_FROM_WIN32(GetLastError());
    const auto getClassObject =
        reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void*>(GetProcAddress(m_module, "DllGetClassObject")));
    if (!getClassObject)
        return HRESULT_FROM_WIN32(GetLastError());

    before = NowMs();
    ComPtr<IClassFactory> factory;
    HRESULT hr = getClassObject(CLSID_Connect, IID_IClassFactory, &factory);
    if (SUCCEEDED(hr))
        hr = factory->CreateInstance(nullptr, IID__IDTExtensibility2, &m_addin);
    classObjectMs = NowMs() - before;
    if (FAILED(hr))
        return hr;

    before = NowMs();
    hr = m_addin->OnConnection(application, ext_cm_Startup, nullptr, nullptr);
    connectionMs = NowMs() - before;
    if (FAILED(hr))
        return hr;

    before = NowMs();
    hr = m_addin->OnStartupComplete(nullptr);
    startupMs = NowMs() - before;
    return hr;
}

void HostedAddin::Disconnect()
{
    if (m_addin)
        m_addin->OnDisconnection(ext_dm_HostShutdown, nullptr);
}

void HostedAddin::Release()
{
    m_addin.Reset();
}

HWND CreateHostWindow()
{
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "VantrelBenchHost";
    RegisterClassA(&windowClass);
    return CreateWindowExA(0, windowClass.lpszClassName, "host", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                           nullptr, windowClass.hInstance, nullptr);
}

bool PumpUntil(bool (*done)(void*), void* context, DWORD timeoutMs)
{
    const double start = NowMs();
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (done(context))
            return true;
        const double elapsed = NowMs() - start;
        if (elapsed >= timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min(10.0, timeoutMs - elapsed)) + 1,
                                  QS_ALLINPUT);
    }
}
