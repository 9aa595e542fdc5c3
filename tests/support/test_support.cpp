#include "support/test_support.h"

#include "win32/raii.h"
#include "win32/text_convert.h"

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

std::string ReadWholeFile(const std::wstring& path)
{
    std::string content;
    const UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file)
        return content;
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(file.get(), buffer, sizeof(buffer), &n, nullptr) && n > 0)
        content.append(buffer, n);
    return content;
}

bool FileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring Wide(const std::string& path)
{
    return ToWide(path, CP_ACP);
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

REGSAM SettingsView(HKEY root)
{
    return root == HKEY_LOCAL_MACHINE ? KEY_WOW64_64KEY : 0;
}

bool RegistryHasTwoViews()
{
    if (sizeof(void*) == 8)
        return true;
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

void DeleteSettingsKeys()
{
    RegDeleteTreeA(HKEY_CURRENT_USER, "SOFTWARE\\Vantrel");
    RegDeleteKeyA(HKEY_CURRENT_USER, "SOFTWARE\\Vantrel");
    // Both views of the machine's key: the x86 build's tests run where they differ.
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vantrel", 0, KEY_ALL_ACCESS | view, &key) == ERROR_SUCCESS) {
            RegDeleteTreeA(key, nullptr);
            RegCloseKey(key);
        }
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vantrel", view, 0);
    }
}

void SetRawSetting(HKEY root, const char* name, DWORD type, const void* data, DWORD size)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, "SOFTWARE\\Vantrel", 0, nullptr, 0, KEY_ALL_ACCESS | SettingsView(root), nullptr, &key,
                        nullptr) == ERROR_SUCCESS) {
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
    if (RegOpenKeyExA(root, "SOFTWARE\\Vantrel", 0, KEY_READ | SettingsView(root), &key) != ERROR_SUCCESS)
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
    if (RegOpenKeyExA(root, "SOFTWARE\\Vantrel", 0, KEY_READ | SettingsView(root), &key) != ERROR_SUCCESS)
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
    HWND dialog = FindWindowA(nullptr, "Vantrel - Exiting Outlook...");
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

namespace {
const wchar_t kUserShellFolders[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
}

void MakeFolders(const std::wstring& path)
{
    // Each level in turn, as CreateDirectoryW makes one at a time.
    for (size_t at = path.find(L'\\', 3);; at = path.find(L'\\', at + 1)) {
        CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
        if (at == std::wstring::npos)
            break;
    }
}

void DeleteTree(const std::wstring& path)
{
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring child = path + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                DeleteTree(child);
            else
                DeleteFileW(child.c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(path.c_str());
}

ScopedRoamingFolder::ScopedRoamingFolder(const std::wstring& folder)
{
    MakeFolders(folder);
    UniqueHKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kUserShellFolders, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr,
                        key.put(), nullptr) != ERROR_SUCCESS)
        return;
    DWORD size = 0;
    if (RegQueryValueExW(key.get(), L"AppData", nullptr, &m_type, nullptr, &size) == ERROR_SUCCESS) {
        m_value.resize(size);
        m_had = RegQueryValueExW(key.get(), L"AppData", nullptr, &m_type, m_value.data(), &size) == ERROR_SUCCESS;
    }
    RegSetValueExW(key.get(), L"AppData", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                   static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
}

ScopedRoamingFolder::~ScopedRoamingFolder()
{
    UniqueHKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kUserShellFolders, 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS)
        return;
    if (m_had)
        RegSetValueExW(key.get(), L"AppData", 0, m_type, m_value.data(), static_cast<DWORD>(m_value.size()));
    else
        RegDeleteValueW(key.get(), L"AppData");
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

namespace {

// This thread's innermost dismisser: the hook procedure has no context of its own.
thread_local MessageBoxDismisser* t_dismisser = nullptr;

// A message box: a dialog with the static text control 0xFFFF that MessageBox gives it.
bool IsMessageBox(HWND window)
{
    char className[16] = {};
    GetClassNameA(window, className, sizeof(className));
    return std::string(className) == "#32770" && GetDlgItem(window, 0xFFFF);
}

ShownBox DescribeBox(HWND box)
{
    ShownBox shown;
    char text[1024] = {};
    GetWindowTextA(box, text, sizeof(text));
    shown.caption = text;
    text[0] = '\0';
    GetDlgItemTextA(box, 0xFFFF, text, sizeof(text));
    shown.text = text;
    wchar_t wide[1024] = {};
    GetDlgItemTextW(box, 0xFFFF, wide, 1024);
    shown.wideText = wide;
    shown.visible = IsWindowVisible(box) != FALSE;
    return shown;
}

} // namespace

MessageBoxDismisser::MessageBoxDismisser() : m_outer(t_dismisser)
{
    t_dismisser = this;
    m_hook = SetWindowsHookExA(WH_CBT, OnCbt, nullptr, GetCurrentThreadId());
    m_messageHook = SetWindowsHookExA(WH_GETMESSAGE, OnGetMessage, nullptr, GetCurrentThreadId());
}

MessageBoxDismisser::~MessageBoxDismisser()
{
    if (m_hook)
        UnhookWindowsHookEx(m_hook);
    if (m_messageHook)
        UnhookWindowsHookEx(m_messageHook);
    t_dismisser = m_outer;
}

LRESULT CALLBACK MessageBoxDismisser::OnCbt(int code, WPARAM wParam, LPARAM lParam) noexcept
{
    MessageBoxDismisser* self = t_dismisser;
    const HWND window = reinterpret_cast<HWND>(wParam);
    // Activation comes after WM_INITDIALOG has set the text. A box activated again is answered
    // already: its OK is on its way.
    if (self && code == HCBT_ACTIVATE && window != self->m_lastBox && IsMessageBox(window)) {
        self->m_lastBox = window;
        try {
            self->m_boxes.push_back(DescribeBox(window));
            self->m_boxes.back().visible = false; // known once its loop takes the answer
        } catch (...) {
            // Out of memory: the box is still answered below; the test misses its record and fails.
        }
        PostMessageA(window, WM_COMMAND, IDOK, 0);
    } else if (self && code == HCBT_DESTROYWND && window == self->m_lastBox) {
        self->m_lastBox = nullptr;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK MessageBoxDismisser::OnGetMessage(int code, WPARAM wParam, LPARAM lParam) noexcept
{
    MessageBoxDismisser* self = t_dismisser;
    const MSG* message = reinterpret_cast<const MSG*>(lParam);
    if (self && code == HC_ACTION && wParam == PM_REMOVE && message->hwnd && message->hwnd == self->m_lastBox &&
        message->message == WM_COMMAND && message->wParam == IDOK && !self->m_boxes.empty())
        self->m_boxes.back().visible = IsWindowVisible(message->hwnd) != FALSE;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

std::vector<std::string> MessageBoxDismisser::Texts() const
{
    std::vector<std::string> texts;
    for (const ShownBox& box : m_boxes)
        texts.push_back(box.text);
    return texts;
}

ChildBoxAnswerer::ChildBoxAnswerer(HANDLE process, std::vector<int> answers)
    : m_answers(std::move(answers)), m_stop(CreateEventA(nullptr, TRUE, FALSE, nullptr))
{
    HANDLE own = nullptr;
    if (!process || !m_stop ||
        !DuplicateHandle(GetCurrentProcess(), process, GetCurrentProcess(), &own, SYNCHRONIZE, FALSE, 0))
        return;
    m_process.reset(own);
    m_processId = GetProcessId(process);
    m_thread = std::thread([this] { Answer(); });
}

ChildBoxAnswerer::~ChildBoxAnswerer()
{
    SetEvent(m_stop.get());
    if (m_thread.joinable())
        m_thread.join();
}

std::vector<ShownBox> ChildBoxAnswerer::Boxes()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_boxes;
}

namespace {

struct ChildBoxSearch {
    DWORD process;
    HWND box = nullptr;
};

BOOL CALLBACK FindChildBox(HWND window, LPARAM context) noexcept
{
    auto* search = reinterpret_cast<ChildBoxSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->process || !IsWindowVisible(window) || !IsMessageBox(window))
        return TRUE;
    search->box = window;
    return FALSE;
}

} // namespace

void ChildBoxAnswerer::Answer() noexcept
{
    try {
        const HANDLE ends[] = {m_stop.get(), m_process.get()};
        while (WaitForMultipleObjects(2, ends, FALSE, 20) == WAIT_TIMEOUT) {
            ChildBoxSearch search{m_processId};
            EnumWindows(FindChildBox, reinterpret_cast<LPARAM>(&search));
            if (!search.box)
                continue;
            int answer = IDCANCEL;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                if (m_boxes.size() < m_answers.size())
                    answer = m_answers[m_boxes.size()];
                m_boxes.push_back(DescribeBox(search.box));
            }
            PostMessageA(search.box, WM_COMMAND, answer, 0);
            // This box goes before the next one is looked for, within ten seconds.
            for (int i = 0; i < 500 && IsWindow(search.box); ++i) {
                if (WaitForMultipleObjects(2, ends, FALSE, 20) != WAIT_TIMEOUT)
                    return;
            }
        }
    } catch (...) {
        // Out of memory: no more answers; the test's own bounded wait for the child fails instead.
    }
}

struct BystanderBox::State {
    std::string caption;
    std::string text;
    UniqueHandle shown{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    HWND window = nullptr;
};

namespace {

thread_local BystanderBox::State* t_bystander = nullptr;

LRESULT CALLBACK NoteBystander(int code, WPARAM wParam, LPARAM lParam) noexcept
{
    if (code == HCBT_ACTIVATE && t_bystander && !t_bystander->window) {
        t_bystander->window = reinterpret_cast<HWND>(wParam);
        SetEvent(t_bystander->shown.get());
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Owns one reference to the state, so that a thread outliving its object finds it still there.
DWORD WINAPI ShowBystander(void* context) noexcept
{
    std::unique_ptr<std::shared_ptr<BystanderBox::State>> state(
        static_cast<std::shared_ptr<BystanderBox::State>*>(context));
    t_bystander = state->get();
    HHOOK hook = SetWindowsHookExA(WH_CBT, NoteBystander, nullptr, GetCurrentThreadId());
    // Topmost: a search of the whole desktop meets it before the test's own box. Its answer is
    // of no interest: StillShown tells whether anybody gave one.
    (void)MessageBoxA(nullptr, (*state)->text.c_str(), (*state)->caption.c_str(), MB_OKCANCEL | MB_TOPMOST);
    if (hook)
        UnhookWindowsHookEx(hook);
    t_bystander = nullptr;
    return 0;
}

} // namespace

BystanderBox::BystanderBox(const char* caption, const char* text) : m_state(std::make_shared<State>())
{
    m_state->caption = caption;
    m_state->text = text;
    auto* reference = new (std::nothrow) std::shared_ptr<State>(m_state);
    if (!reference)
        return;
    m_thread.reset(CreateThread(nullptr, 0, ShowBystander, reference, 0, nullptr));
    if (!m_thread) {
        delete reference;
        return;
    }
    WaitForSingleObject(m_state->shown.get(), 20000);
}

BystanderBox::~BystanderBox()
{
    if (StillShown())
        PostMessageA(m_state->window, WM_COMMAND, IDCANCEL, 0);
    if (m_thread)
        WaitForSingleObject(m_thread.get(), 20000);
}

HWND BystanderBox::window() const
{
    return WaitForSingleObject(m_state->shown.get(), 0) == WAIT_OBJECT_0 ? m_state->window : nullptr;
}

bool BystanderBox::StillShown() const
{
    const HWND box = window();
    return box && IsWindow(box) && WaitForSingleObject(m_thread.get(), 0) == WAIT_TIMEOUT;
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
