#include "support/test_support.h"

#include "com/raii.h"
#include "com/text_convert.h"

#include <shellapi.h>
#include <shlobj.h>

#include <mutex>
#include <thread>

#include <cstdio>
#include <vector>

ScopedTempDir::ScopedTempDir()
{
    char base[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, base);
    static LONG counter = 0;
    for (;;) {
        char name[MAX_PATH];
        std::snprintf(name, sizeof(name), "%svantrel-test-%lu-%ld", base, GetCurrentProcessId(),
                      InterlockedIncrement(&counter));
        if (CreateDirectoryA(name, nullptr)) {
            m_path = name;
            return;
        }
    }
}

ScopedTempDir::~ScopedTempDir()
{
    DeleteTree(m_path);
}

void DeleteTree(const std::string& path)
{
    std::vector<char> from(path.begin(), path.end());
    from.push_back('\0');
    from.push_back('\0');
    SHFILEOPSTRUCTA op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.data();
    op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    SHFileOperationA(&op);
}

std::string ReadWholeFile(const std::string& path)
{
    std::string content;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return content;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof(buffer), f)) > 0)
        content.append(buffer, n);
    std::fclose(f);
    return content;
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

DWORD RunAndWait(const std::string& commandLine, DWORD timeoutMs)
{
    return RunAndWait(ToWide(commandLine, CP_ACP), timeoutMs);
}

DWORD RunAndWait(const std::wstring& commandLine, DWORD timeoutMs)
{
    std::wstring command = commandLine;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return ~0u;
    UniqueHandle processHandle(process.hProcess);
    UniqueHandle threadHandle(process.hThread);
    DWORD exitCode = ~0u;
    if (WaitForSingleObject(processHandle.get(), timeoutMs) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(processHandle.get(), &exitCode)) {
        TerminateProcess(processHandle.get(), 1);
        return ~0u;
    }
    return exitCode;
}

void DeleteSettingsKeys()
{
    RegDeleteTreeA(HKEY_CURRENT_USER, "SOFTWARE\\Vantrel");
    RegDeleteKeyA(HKEY_CURRENT_USER, "SOFTWARE\\Vantrel");
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vantrel");
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vantrel");
}

void SetRawSetting(HKEY root, const char* name, DWORD type, const void* data, DWORD size)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, "SOFTWARE\\Vantrel", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) ==
        ERROR_SUCCESS) {
        RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
        RegCloseKey(key);
    }
}

void SetStringSetting(HKEY root, const char* name, const char* text)
{
    SetRawSetting(root, name, REG_SZ, text, static_cast<DWORD>(strlen(text) + 1));
}

bool GetRawSetting(HKEY root, const char* name, DWORD* type, std::string* data)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, "SOFTWARE\\Vantrel", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD size = 0;
    LONG rc = RegQueryValueExA(key, name, nullptr, type, nullptr, &size);
    if (rc == ERROR_SUCCESS) {
        data->assign(size, '\0');
        rc = RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(&(*data)[0]), &size);
        data->resize(size);
    }
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

bool SettingsKeyExists(HKEY root)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, "SOFTWARE\\Vantrel", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

HWND WaitForWindow(const char* className, const char* caption, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        HWND hwnd = FindWindowA(className, caption);
        if (hwnd || GetTickCount() - start > timeoutMs)
            return hwnd;
        // Nothing to wait on across processes and threads for a window to appear.
        Sleep(20);
    }
}

HWND OwnExitDialog()
{
    HWND dialog = FindWindowA(nullptr, "Vantrel - Exiting Outlook ...");
    DWORD process = 0;
    GetWindowThreadProcessId(dialog, &process);
    return dialog && process == GetCurrentProcessId() ? dialog : nullptr;
}

std::string AddinLogPath()
{
    char path[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, 0, path);
    return std::string(path) + "\\Vantrel\\Vantrel.log";
}

std::vector<std::string> AddinLogMessages()
{
    std::vector<std::string> messages;
    const std::string content = ReadWholeFile(AddinLogPath());
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find("\r\n", start);
        if (end == std::string::npos)
            end = content.size();
        const std::string line = content.substr(start, end - start);
        const size_t prefix = line.find("\"): ");
        messages.push_back(prefix == std::string::npos ? line : line.substr(prefix + 4));
        start = end + 2;
    }
    return messages;
}

struct MessageBoxDismisser::State {
    std::mutex mutex;
    std::vector<std::string> texts;
    std::string caption;
    HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread thread;
};

MessageBoxDismisser::MessageBoxDismisser(const char* caption) : m_state(new State)
{
    State* state = m_state;
    state->caption = caption;
    state->thread = std::thread([state] {
        while (WaitForSingleObject(state->stop, 20) == WAIT_TIMEOUT) {
            HWND box = FindWindowA("#32770", state->caption.c_str());
            if (!box || !IsWindowVisible(box))
                continue;
            char text[512] = {};
            GetDlgItemTextA(box, 0xFFFF, text, sizeof(text));
            {
                std::lock_guard<std::mutex> lock(state->mutex);
                state->texts.push_back(text);
            }
            SendMessageA(box, WM_COMMAND, IDOK, 0);
            // Wait until this box is gone before looking for the next one.
            for (int i = 0; i < 250 && IsWindow(box); ++i)
                Sleep(20);
        }
    });
}

MessageBoxDismisser::~MessageBoxDismisser()
{
    SetEvent(m_state->stop);
    m_state->thread.join();
    CloseHandle(m_state->stop);
    delete m_state;
}

std::vector<std::string> MessageBoxDismisser::Texts()
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->texts;
}

std::string BinPath(const char* relative)
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    return folder.substr(0, folder.find_last_of('\\') + 1) + relative;
}

StartedProcess StartDetachedProcess(std::string commandLine)
{
    StartedProcess started;
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr,
                        &startup, &info))
        return started;
    started.process.reset(info.hProcess);
    started.thread.reset(info.hThread);
    started.processId = info.dwProcessId;
    started.threadId = info.dwThreadId;
    return started;
}
