// Helpers shared by the test programs.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "com/raii.h"

// A new empty folder under the temporary folder, deleted with its content at the end.
class ScopedTempDir {
public:
    ScopedTempDir();
    ~ScopedTempDir();
    ScopedTempDir(const ScopedTempDir&) = delete;
    ScopedTempDir& operator=(const ScopedTempDir&) = delete;
    const std::string& path() const { return m_path; }
    std::string file(const char* name) const { return m_path + "\\" + name; }

private:
    std::string m_path;
};

// A path relative to the folder of the running test program (build\bin).
std::string BinPath(const char* relative);

// A process started from commandLine without a console (a helper needs none, and a new console
// would cost a console host process under Wine); empty handles when it could not be started.
struct StartedProcess {
    UniqueHandle process;
    UniqueHandle thread;
    DWORD processId = 0;
    DWORD threadId = 0;
};
StartedProcess StartDetachedProcess(std::string commandLine);

// Whole content of a file, or an empty string when it cannot be read.
std::string ReadWholeFile(const std::string& path);
bool FileExists(const std::string& path);
// Deletes a folder and everything below it.
void DeleteTree(const std::string& path);

// Runs the command line as a child process and waits up to timeoutMs for it; its exit code, or
// ~0u when it could not be started or did not end in time (it is then terminated).
DWORD RunAndWait(const std::string& commandLine, DWORD timeoutMs);
DWORD RunAndWait(const std::wstring& commandLine, DWORD timeoutMs);

// Removes "SOFTWARE\Vantrel" under both HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE.
void DeleteSettingsKeys();
// Creates "SOFTWARE\Vantrel" under root and sets a value of any type with raw bytes.
void SetRawSetting(HKEY root, const char* name, DWORD type, const void* data, DWORD size);
void SetStringSetting(HKEY root, const char* name, const char* text);
// The raw value, or false when it is missing.
bool GetRawSetting(HKEY root, const char* name, DWORD* type, std::string* data);
bool SettingsKeyExists(HKEY root);

// Waits up to timeoutMs for a top-level window of class (may be null) and caption.
HWND WaitForWindow(const char* className, const char* caption, DWORD timeoutMs);
// The shutdown worker's exit dialog when this process shows it, or null.
HWND OwnExitDialog();

// %APPDATA%\Vantrel\Vantrel.log, where the add-in logs.
std::string AddinLogPath();
// The messages of the add-in's log, without the level and time-stamp prefix, in order.
std::vector<std::string> AddinLogMessages();

// Dismisses every message box with this caption while it lives, recording their texts.
class MessageBoxDismisser {
public:
    explicit MessageBoxDismisser(const char* caption = "Vantrel");
    ~MessageBoxDismisser();
    MessageBoxDismisser(const MessageBoxDismisser&) = delete;
    MessageBoxDismisser& operator=(const MessageBoxDismisser&) = delete;
    std::vector<std::string> Texts();

private:
    struct State;
    State* m_state;
};
