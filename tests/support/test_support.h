// Helpers shared by the test programs.
#pragma once

#include <windows.h>

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "win32/raii.h"

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
// The same for a wide path (one outside the ANSI code page, or in the "\\?\" form).
std::string ReadWholeFile(const std::wstring& path);
bool FileExists(const std::wstring& path);
// Makes the folder and every missing folder above it.
void MakeFolders(const std::wstring& path);
// Deletes a folder and everything below it, also below MAX_PATH's reach (give the "\\?\" form).
void DeleteTree(const std::wstring& path);
// A narrow test path as the wide calls take it.
std::wstring Wide(const std::string& path);
// Deletes a folder and everything below it.
void DeleteTree(const std::string& path);

// Runs the command line as a child process and waits up to timeoutMs for it; its exit code, or
// ~0u when it could not be started or did not end in time (it is then terminated).
DWORD RunAndWait(const std::string& commandLine, DWORD timeoutMs);
DWORD RunAndWait(const std::wstring& commandLine, DWORD timeoutMs);

// Removes "SOFTWARE\Vantrel" under both HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE (both views).
void DeleteSettingsKeys();
// The registry view the machine's settings live in: the 64-bit one (KEY_WOW64_64KEY) for
// HKEY_LOCAL_MACHINE, whatever the bitness of the program; none for HKEY_CURRENT_USER. The
// helpers below use it.
REGSAM SettingsView(HKEY root);
// True where the registry has a 32-bit and a 64-bit view that differ (64-bit Windows); false on
// 32-bit Windows, where both flags name its one view. The tests of the views skip themselves there.
bool RegistryHasTwoViews();
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

// The user's roaming folder moved (HKCU ...\Explorer\User Shell Folders, "AppData") to `folder`,
// which is created, for as long as this object lives; the value before is put back afterwards.
// The folder itself is left for the test to remove.
class ScopedRoamingFolder {
public:
    explicit ScopedRoamingFolder(const std::wstring& folder);
    ~ScopedRoamingFolder();
    ScopedRoamingFolder(const ScopedRoamingFolder&) = delete;
    ScopedRoamingFolder& operator=(const ScopedRoamingFolder&) = delete;

private:
    bool m_had = false;
    DWORD m_type = 0;
    std::vector<BYTE> m_value;
};
// The messages of the add-in's log, without the level and time-stamp prefix, in order.
std::vector<std::string> AddinLogMessages();

// A message box as it was when its test answered it.
struct ShownBox {
    std::string caption;
    std::string text;
    std::wstring wideText; // the same text read with the wide call
    bool visible = false;
};

// Answers with OK every message box that the thread constructing it shows while it lives, and
// records them. A WH_CBT hook on that thread sees each box when it is activated, its text set,
// and posts the answer; a WH_GETMESSAGE hook sees the box's loop take it, which is when the box
// shows (it is not visible yet at activation). Boxes of other threads and processes (another
// test's) are never touched. One per thread at a time; use it on that thread only.
class MessageBoxDismisser {
public:
    MessageBoxDismisser();
    ~MessageBoxDismisser();
    MessageBoxDismisser(const MessageBoxDismisser&) = delete;
    MessageBoxDismisser& operator=(const MessageBoxDismisser&) = delete;
    const std::vector<ShownBox>& Boxes() const { return m_boxes; }
    std::vector<std::string> Texts() const;

private:
    static LRESULT CALLBACK OnCbt(int code, WPARAM wParam, LPARAM lParam) noexcept;
    static LRESULT CALLBACK OnGetMessage(int code, WPARAM wParam, LPARAM lParam) noexcept;
    HHOOK m_hook = nullptr;
    HHOOK m_messageHook = nullptr;
    MessageBoxDismisser* m_outer = nullptr;
    HWND m_lastBox = nullptr;
    std::vector<ShownBox> m_boxes;
};

// Answers, from a thread of its own, the message boxes that one child process shows, until that
// process ends or this object goes: the n-th box gets answers[n], later ones IDCANCEL. Nothing
// signals a window appearing in another process, so it looks every 20 ms, at that process's
// windows only. Nothing is done for a null process.
class ChildBoxAnswerer {
public:
    ChildBoxAnswerer(HANDLE process, std::vector<int> answers);
    ~ChildBoxAnswerer();
    ChildBoxAnswerer(const ChildBoxAnswerer&) = delete;
    ChildBoxAnswerer& operator=(const ChildBoxAnswerer&) = delete;
    std::vector<ShownBox> Boxes();

private:
    void Answer() noexcept;
    std::vector<int> m_answers;
    UniqueHandle m_process;
    DWORD m_processId = 0;
    UniqueHandle m_stop;
    std::mutex m_mutex;
    std::vector<ShownBox> m_boxes;
    std::thread m_thread;
};

// A message box such as another test could be showing at the same time: "caption"/"text" shown
// by a thread of its own, for checking that a test answers only its own boxes. The box is
// cancelled when this object goes, and its thread waited for (up to 20 s).
class BystanderBox {
public:
    BystanderBox(const char* caption, const char* text);
    ~BystanderBox();
    BystanderBox(const BystanderBox&) = delete;
    BystanderBox& operator=(const BystanderBox&) = delete;
    // The box, once activated within 20 s; null otherwise.
    HWND window() const;
    // True while the box is still up, answered by nobody.
    bool StillShown() const;

    struct State;

private:
    std::shared_ptr<State> m_state;
    UniqueHandle m_thread;
};
