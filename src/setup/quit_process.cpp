#include "setup/quit_process.h"

#include <new>
#include <optional>

#include "win32/module_instance.h"
#include "win32/ui_language.h"
#include "resource_ids/string_ids.h"
#include "shutdown/process_walk.h"

namespace {

// Posts WM_QUIT to the window and to its topmost child, then waits for the process to end.
void QuitWindow(HWND window, HANDLE process, const QuitTiming& timing)
{
    (void)PostMessageA(window, WM_QUIT, 0, 0);
    // Only to a child that exists: a null target would be the installer's own thread queue,
    // and a WM_QUIT there can end the installer's message loop.
    if (HWND child = GetTopWindow(window))
        (void)PostMessageA(child, WM_QUIT, 0, 0);
    // Ends early when the process does; the outcome changes nothing that follows.
    (void)timing.waitForProcess(process, timing.processWaitMs);
    Sleep(timing.pauseMs);
}

} // namespace

void QuitProcessByName(const char* name, const wchar_t* prompt) noexcept
{
    QuitProcessByName(name, prompt, QuitTiming{});
}

std::wstring QuitPromptText()
{
    return LoadUiString(ModuleInstance(), IDS_SETUP_CLOSE_OUTLOOK, ChooseUiLanguage(std::nullopt));
}

void QuitProcessByName(const char* name, const wchar_t* prompt, const QuitTiming& timing) noexcept
{
    ForEachProcessNamed(name, SYNCHRONIZE, [&prompt, &timing](HANDLE process) {
        // Captioned "Vantrel" in every language: without a caption Windows titles the question
        // "Error". The owner is whatever window is at the top of the Z order.
        if (prompt && MessageBoxW(GetTopWindow(nullptr), prompt, L"Vantrel", MB_OKCANCEL) != IDOK)
            return; // this one stays; a later one is asked about again
        prompt = nullptr;
        ForEachTopLevelWindow(GetProcessId(process), [process, &timing](HWND window) {
            QuitWindow(window, process, timing);
            return true;
        });
    });
}
