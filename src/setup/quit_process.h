// Closes a running program before the installer replaces its files: asks the user first when
// told to, posts quit messages to the program's windows and waits for it to end. Runs on the
// installer's thread, which it blocks meanwhile; never throws.
#pragma once

#include <windows.h>

#include <string>

#include "win32/ui_language.h"

// How long QuitProcessByName waits after each window (tests pass shorter times).
struct QuitTiming {
    DWORD processWaitMs = 120000; // at most this long for the process to end
    DWORD pauseMs = 5000;         // then always this pause
    // The wait for the process (tests pass one that also marks that the wait has begun).
    DWORD(WINAPI* waitForProcess)(HANDLE process, DWORD milliseconds) = WaitForSingleObject;
};

// For every running process whose image base name equals name (as CloseProcessByName finds
// them): with a prompt text, asks it (OK/Cancel); Cancel leaves that process running and a
// later one is asked about again, while OK (or no prompt text) turns the asking off for the
// rest of the call. Each top-level
// window of a process to close is posted WM_QUIT, and so is its topmost child when it has one;
// then the call waits for the process to end and pauses. It never terminates a process.
void QuitProcessByName(const char* name, const wchar_t* prompt) noexcept;
void QuitProcessByName(const char* name, const wchar_t* prompt, const QuitTiming& timing) noexcept;

// The prompt's text in Windows' user UI language (UseWindowsLanguageSource; Office is not there
// to ask), English where it has no translation. Throws std::bad_alloc.
std::wstring QuitPromptText();
