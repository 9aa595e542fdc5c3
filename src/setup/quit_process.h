// Closes a running program before the installer replaces its files: asks the user first when
// told to, posts quit messages to the program's windows and waits for it to end. Runs on the
// installer's thread, which it blocks meanwhile; never throws.
#pragma once

#include <windows.h>

#include <string>

// How long QuitProcessByName waits after each window (tests pass shorter times).
struct QuitTiming {
    DWORD processWaitMs = 120000; // at most this long for the process to end
    DWORD pauseMs = 5000;         // then always this pause
};

// For every running process whose image base name equals name (as CloseProcessByName finds
// them): with prompt on, asks "Microsoft Outlook is currently running. Click OK to close
// Outlook." (OK/Cancel); Cancel leaves that process running and a later one is asked about
// again, while OK (or prompt off) turns the prompt off for the rest of the call. Each top-level
// window of a process to close is posted WM_QUIT, and so is its topmost child when it has one;
// then the call waits for the process to end and pauses. It never terminates a process.
// The prompt is shown in the user's UI language (English where it has no translation).
void QuitProcessByName(const char* name, bool prompt) noexcept;
void QuitProcessByName(const char* name, bool prompt, const QuitTiming& timing) noexcept;

// The prompt's text in the language that windowsLanguage names (GetUserDefaultUILanguage in the
// installer actions; Office is not there to ask). Throws std::bad_alloc.
std::wstring QuitPromptText(LANGID (*windowsLanguage)() = GetUserDefaultUILanguage);
