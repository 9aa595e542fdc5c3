#include "shutdown/process_closer.h"

#include <atomic>

#include "win32/raii.h"
#include "shutdown/process_walk.h"

namespace {

std::atomic<ProcessTerminator> g_terminator{nullptr};

// Posts msg to the window's topmost child, when it has one. A null target would put the
// message into the calling thread's own queue (the worker's, the installer's).
void PostToTopmostChild(HWND window, UINT msg)
{
    if (HWND child = GetTopWindow(window))
        (void)PostMessageA(child, msg, 0, 0);
}

// Posts WM_CLOSE then WM_QUIT to the topmost child of the process's top-level windows, as
// CloseProcessByName describes.
void PostCloseAndQuit(DWORD processId, bool appWindowsOnly)
{
    ForEachTopLevelWindow(processId, [appWindowsOnly](HWND window) {
        if (appWindowsOnly && (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_APPWINDOW) == 0)
            return false;
        // Posting only, so that a process whose threads do not answer (or are waiting for
        // ours) cannot hold us up. The child is looked up again for the second message.
        PostToTopmostChild(window, WM_CLOSE);
        PostToTopmostChild(window, WM_QUIT);
        return true;
    });
}

// Whether any top-level window of the process is visible, wherever it lies in the Z order (a
// minimized one counts: it is on the taskbar).
bool ShowsAWindow(DWORD processId)
{
    bool visible = false;
    ForEachTopLevelWindow(processId, [&visible](HWND window) {
        visible = IsWindowVisible(window) != FALSE;
        return !visible;
    });
    return visible;
}

} // namespace

void CloseProcessByName(const char* name, bool appWindowsOnly) noexcept
{
    ForEachProcessNamed(name, 0,
                        [appWindowsOnly](HANDLE process) { PostCloseAndQuit(GetProcessId(process), appWindowsOnly); });
}

void CloseBackgroundProcessByName(const char* name, bool appWindowsOnly, void (*onLeftOpen)(DWORD processId)) noexcept
{
    ForEachProcessNamed(name, 0, [appWindowsOnly, onLeftOpen](HANDLE process) {
        const DWORD processId = GetProcessId(process);
        if (!ShowsAWindow(processId)) {
            PostCloseAndQuit(processId, appWindowsOnly);
        } else if (onLeftOpen) {
            onLeftOpen(processId);
        }
    });
}

bool KillProcess(DWORD processId, DWORD exitCode) noexcept
{
    const ProcessTerminator terminator = g_terminator.load();
    const ProcessTerminator terminate = terminator ? terminator : TerminateProcess;
    if (processId != GetCurrentProcessId()) {
        UniqueHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, processId));
        return process && terminate(process.get(), exitCode) != FALSE;
    }
    SetLastError(ERROR_SUCCESS);
    (void)terminate(GetCurrentProcess(), exitCode);
    // Still here: the process was not ended, whatever the call answered.
    if (GetLastError() == ERROR_SUCCESS)
        SetLastError(ERROR_GEN_FAILURE);
    return false;
}

void UseProcessTerminator(ProcessTerminator terminator) noexcept
{
    g_terminator.store(terminator);
}
