// What the benchmark programs share: a clock, a summary of repeated runs, child processes whose
// processor time is measured from outside, result files a child leaves for its parent, and the
// add-in loaded from Vantrel.dll the way Outlook loads it. Runs on the benchmark's main thread;
// nothing here throws beyond std::bad_alloc.
#pragma once

#include <windows.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "addin/addin_interfaces.h"

// Milliseconds on the performance counter.
double NowMs();

struct Summary {
    double median = 0;
    double min = 0;
    double max = 0;
};
Summary Summarize(std::vector<double> values);

// This program's own path, and the folder it lives in (build/bin).
std::string ProgramPath();
std::string ProgramFolder();

// A child process run to its end. cpuMs is kernel plus user time of the whole process, sampled
// every 10 ms while it runs and once after. On Windows it comes from GetProcessTimes on the
// child's handle. Wine answers that call with a figure that is not the child's, so there it is
// read from /proc/PID/stat of the Linux process behind the child, found by token, a text that
// only this child's command line holds (empty: no processor time). wallMs runs from
// CreateProcess to the end of the process. Under Wine, serverCpuMs is what the session's Wine
// server used meanwhile (it does part of the work of every message call), when scripts/bench.sh
// named it; otherwise -1. A child still running after timeoutMs is terminated
// (exit code 99, ended false).
struct ChildRun {
    bool started = false;
    bool ended = false;
    bool cpuFound = false;
    DWORD exitCode = 0;
    double wallMs = 0;
    double cpuMs = 0;
    double serverCpuMs = -1;
    const char* cpuSource = "";
};
ChildRun RunChild(const std::string& commandLine, const std::string& token, DWORD timeoutMs);

// A file name in the temporary folder for a child's result; the parent reads it with ReadResult
// (which deletes it). A child that ended before writing leaves it empty.
std::string NewResultPath();
void WriteResult(const std::string& path, const std::string& text);
std::string ReadResult(const std::string& path);

// Registers ("DllRegisterServer") or unregisters build/bin/Vantrel.dll through its own export.
HRESULT CallServerExport(const char* name);

// Registers build/bin/Vantrel.dll for the simulated Outlook to load; false (said on the
// standard output) when that failed.
bool RegisterServerForRuns();

// A command line and the text that only it holds (a new temporary file's name, which also
// serves as the simulated Outlook's log).
struct Command {
    std::string line;
    std::string token;
    std::string file;
};
// before + the quoted new file + after.
Command Unique(const std::string& before, const std::string& after);
// RunChild for the command; its file is deleted afterwards.
ChildRun Run(const Command& command, DWORD timeoutMs);
// The simulated Outlook (build/bin/sim/OUTLOOK.EXE) with the given options and steps.
Command Simulator(const std::string& steps);

// Sets the user's settings that the benchmarks run with.
void SetUserSettings(const char* enabled, const char* delay, const char* showExitDialog);

// Vantrel.dll (beside this program, or the one at a path given to Start) loaded with
// LoadLibrary, its class object asked for the add-in object, which is then connected to
// application and told that start-up is complete, each step timed.
class HostedAddin {
public:
    HostedAddin() = default;
    ~HostedAddin();
    HostedAddin(const HostedAddin&) = delete;
    HostedAddin& operator=(const HostedAddin&) = delete;

    // The HRESULT of the first step that failed, or S_OK.
    HRESULT Start(IDispatch* application, const std::string& dllPath = std::string());
    // OnDisconnection as Outlook calls it on shutting down; the object is still held.
    void Disconnect();
    // Outlook's final release of the add-in object.
    void Release();

    double loadLibraryMs = 0;   // LoadLibrary of Vantrel.dll
    double classObjectMs = 0;   // DllGetClassObject and IClassFactory::CreateInstance
    double connectionMs = 0;    // OnConnection
    double startupMs = 0;       // OnStartupComplete
    double TotalFromClassObject() const { return classObjectMs + connectionMs + startupMs; }

private:
    HMODULE m_module = nullptr;
    Microsoft::WRL::ComPtr<_IDTExtensibility2> m_addin;
};

// A hidden top-level window on this thread, as Outlook's thread has its own before any add-in
// loads: the first window of a process sets up lasting state that is not the add-in's cost.
HWND CreateHostWindow();

// Dispatches this thread's messages until done() is true or timeoutMs has passed; true when
// done() became true.
bool PumpUntil(bool (*done)(void*), void* context, DWORD timeoutMs);
