#include "shutdown/process_closer.h"

#include "com/raii.h"
#include "shutdown/process_walk.h"

namespace {

// Posts msg to the window's topmost child, when it has one. A null target would put the
// message into the calling thread's own queue (the worker's, the installer's).
void PostToTopmostChild(HWND window, UINT msg)
{
    if (HWND child = GetTopWindow(window))
        (void)PostMessageA(child, msg, 0, 0);
}

} // namespace

void CloseProcessByName(const char* name, bool appWindowsOnly) noexcept
{
    ForEachProcessNamed(name, 0, [&appWindowsOnly](HANDLE process) {
        ForEachTopLevelWindow(GetProcessId(process), [&appWindowsOnly](HWND window) {
            if (appWindowsOnly && (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_APPWINDOW) == 0)
                return false;
            // Posting only, so that a process whose threads do not answer (or are waiting for
            // ours) cannot hold us up. The child is looked up again for the second message.
            PostToTopmostChild(window, WM_CLOSE);
            PostToTopmostChild(window, WM_QUIT);
            return true;
        });
    });
}

bool KillProcess(DWORD processId, DWORD exitCode) noexcept
{
    UniqueHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, processId));
    if (!process)
        return false;
    return TerminateProcess(process.get(), exitCode) != FALSE;
}
