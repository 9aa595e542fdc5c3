// A simulated Outlook, built as OUTLOOK.EXE: it hosts add-ins the way Outlook does over the
// fake object model, opens real Explorer windows, and runs a small script given on its
// command line. Every event is appended to a log file at once, so that the record survives
// the process being ended by an add-in.
//
//   OUTLOOK.EXE --log FILE [--direct] [--version TEXT] [--explorers N] [--session-empty]
//               [--fail NAME=HRESULT] [--on-quit stay|exit|release] [--stores PATHS]
//               [--write-after-quit PATH=MS] [--write-on-close PATH=MS] [--language LCID] [step ...]
//
// --no-addins    loads no add-in at all
// --language LCID  what Application.LanguageSettings.LanguageID answers (Office's languages;
//                1033 unless given)
// --record-events  stands in for ReportEventW behind the add-in's imports (the registered
//                Vantrel.dll, loaded by this program first for that, or this program itself with
//                --direct) and logs each report: "event TYPE ID", then "event string TEXT" for
//                each inserted string (in UTF-8), then "event text TEXT", the entry's English
//                message with those strings in it. Nothing reaches the Event Log.
// --hold-events  (registered add-in only) stands in for ReportEventW behind the imports of the
//                Vantrel.dll that COM loaded, without a reference of this program's on it: each
//                report logs "event held ID" (the event's ID) and then waits for the
//                release-events step
// --direct       creates the Vantrel add-in object directly instead of loading the add-ins
//                registered under HKLM\Software\Microsoft\Office\Outlook\Addins
// --on-quit exit when the add-in asks it to quit, ends by itself (OnBeginShutdown, release
//                of the add-ins, exit code 3); "stay" (default) keeps running, like an
//                Outlook that will not end; "release" ends by itself inside the Quit call, so
//                that the add-ins are released before Quit returns
// --stores PATHS the session's stores (Session.Stores), one per entry of the ';'-separated
//                list, whose FilePath answers the entry; an empty entry is a store on a server
//                only (empty FilePath). Without it the session has no store.
// --fail NAME=HRESULT  every call of NAME fails with HRESULT: an Application member, "Logoff"
//                or "Stores" (of the session)
// --write-after-quit PATH=MS  once the add-in has called Quit, Outlook's own shutdown work:
//                appends to the file PATH every 200 ms for MS ms, then logs "store writes done"
// --write-on-close PATH=MS  the same, begun only when the first WM_CLOSE reaches an Explorer
//                window (Outlook's exit work, which starts with the close messages)
// steps, run one after the other from the message loop:
//   close-last     close the most recent Explorer      open      open a new Explorer
//   open-inspector open an item in a window of its own (an Inspector)
//   close-inspector close the most recent Inspector; when it was the last window, Outlook
//                  quits by itself and raises Application.Quit
//   quit-event     raise Application.Quit               wait:MS   do nothing for MS ms
//   wait-worker    (--direct only) serve messages until the add-in's shutdown worker has ended,
//                  60 s at most; logs "worker ended", "no worker" or "worker still running"
//   exit           end by itself (as --on-quit exit does)
//   options        open the Options dialog: raise OptionsPagesAdd and host every page added
//   options-click:ID  click control ID of the hosted page
//   options-type:TEXT replace the text of the page's Delay box (control 235)
//   options-ok     press OK: Apply on every page whose Dirty is true, then close the dialog
//   options-texts  log the texts of the Options dialog, in UTF-8 and read with the wide calls:
//                  "options title TEXT" for each page added, then "options text ID TEXT" for
//                  each control of the first hosted page, in their order
// Inside each Application.Quit call it logs the state of this process's exit dialog, which the
// worker shows before it asks Outlook to quit: "exit dialog none" or
// "exit dialog visible=0|1 range=LOW-HIGH pos=N".
//   release-addins let go of every add-in without telling it (as Outlook may let go early):
//                  an add-in lives on through its event subscriptions
//   setting:NAME=VALUE  write the add-in's user setting NAME, as its Options page would
//   wait-quit      run the next step only once an add-in has called Application.Quit
//   leave-com      leave COM as Outlook does at its end, with whatever it still holds:
//                  CoUninitialize, then FreeLibrary once on Vantrel.dll, since Windows frees
//                  every DLL that COM loaded for the thread (whatever DllCanUnloadNow answers)
//                  and Wine keeps it mapped. From then on an access violation in the former
//                  DLL's address range is logged and ends the process with 0xC0000005.
//   reload-addins  let go of every add-in as a user's switching it off does (OnDisconnection),
//                  and free the DLLs COM may unload (CoFreeUnusedLibrariesEx, as Outlook does),
//                  logging "Vantrel.dll unmapped" or "Vantrel.dll still mapped"; then load,
//                  connect and start them again, as in the same run of Outlook
//   wait-held      wait (30 s at most) until a report is held by --hold-events
//   release-events let the reports held by --hold-events return; each logs "event returning"
//                  just before it returns into the add-in's code
//   wait-returned  wait (30 s at most) until the thread of the report that returned last has
//                  ended: logs "held thread ended" and whether Vantrel.dll is still mapped
//   end-process    end the process with exit code 3 and no further call to the add-ins, as
//                  Outlook does once it has left COM
//   crash          fault on purpose (write through a null pointer) on Outlook's thread, with
//                  nothing of the simulator's to handle it: the process's unhandled-exception
//                  filter decides what happens
//   STEP+STEP      steps joined by '+' run in one turn, with no message dispatched between
// The message loop dispatches the add-ins' thread timers (those with a timer procedure).
#include <windows.h>
#include <objbase.h>
#include <wrl/client.h>

#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <deque>
#include <string>
#include <vector>

#include "addin/addin_interfaces.h"
#include "addin/connect.h"
#include "fake_outlook/fake_outlook.h"
#include "outlook/outlook.h"
#include "resource.h"
#include "settings/property_page_interfaces.h"
#include "support/page_host.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr int kExitedByItself = 3;
constexpr UINT kStepSpacingMs = 100;

std::string g_logPath;
DWORD g_mainThread = 0;

void Log(const std::string& line)
{
    if (g_logPath.empty())
        return;
    if (FILE* file = std::fopen(g_logPath.c_str(), "a")) {
        std::fprintf(file, "%s\n", line.c_str());
        std::fclose(file);
    }
}

struct ExplorerWindow {
    ComPtr<fake::FakeExplorer> explorer;
    HWND frame = nullptr;
    HWND child = nullptr;
};

struct InspectorWindow {
    ComPtr<fake::FakeInspector> inspector;
    HWND frame = nullptr;
};

struct Simulation {
    std::string version = "16.0.0.0";
    int explorers = 1;
    bool direct = false;
    bool noAddins = false;
    bool recordEvents = false;
    bool holdEvents = false;
    HANDLE eventHeld = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE eventsReleased = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE eventReturning = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE heldThread = nullptr; // the thread of the held report that returned last
    bool exitOnQuit = false;
    bool releaseOnQuit = false;
    std::vector<std::wstring> stores;
    std::wstring writePath; // --write-after-quit
    DWORD writeMs = 0;
    std::wstring closeWritePath; // --write-on-close
    DWORD closeWriteMs = 0;
    bool closeWritesBegun = false;
    bool sessionEmpty = false;
    long language = 1033;
    std::vector<std::pair<std::string, HRESULT>> failures;
    std::deque<std::string> steps;

    ComPtr<fake::FakeApplication> app;
    std::vector<ComPtr<_IDTExtensibility2>> addins;
    CConnect* directAddin = nullptr; // the object created with --direct, while it is loaded
    std::vector<ExplorerWindow> windows;
    std::vector<InspectorWindow> inspectors;
    size_t loggedCalls = 0;
    bool ending = false;
    bool quitRequested = false;
    bool stepAfterQuit = false; // a wait-quit step waits for the Quit call

    // The address range Vantrel.dll had before leave-com freed it.
    ULONG_PTR unloadedBase = 0;
    ULONG_PTR unloadedEnd = 0;

    // The Options dialog: Outlook's page collection, the pages' site and their containers.
    ComPtr<fake::FakePropertyPages> pages;
    ComPtr<fake::FakePropertyPageSite> pageSite;
    std::vector<PageHost*> hosts;
};

Simulation g_sim;

// Copies the calls recorded by the fake object model into the log file.
void FlushCalls()
{
    if (!g_sim.app)
        return;
    const std::vector<fake::CallRecord> records = g_sim.app->Log().Records();
    for (; g_sim.loggedCalls < records.size(); ++g_sim.loggedCalls) {
        const fake::CallRecord& record = records[g_sim.loggedCalls];
        char line[256];
        std::snprintf(line, sizeof(line), "call %s %s thread=%s", record.name.c_str(),
                      SUCCEEDED(record.result) ? "ok" : "failed", record.threadId == g_mainThread ? "main" : "other");
        Log(line);
    }
}

void StartStoreWriter(const std::wstring* path, const DWORD* ms);

LRESULT CALLBACK ChildProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE) {
        char caption[64] = {};
        GetWindowTextA(GetParent(hwnd), caption, sizeof(caption));
        Log(std::string("WM_CLOSE ") + caption);
        if (!g_sim.closeWritePath.empty() && !g_sim.closeWritesBegun) {
            g_sim.closeWritesBegun = true;
            StartStoreWriter(&g_sim.closeWritePath, &g_sim.closeWriteMs);
        }
        return 0; // a stuck Outlook ignores it
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

void RegisterWindowClasses()
{
    WNDCLASSA frame{};
    frame.lpfnWndProc = DefWindowProcA;
    frame.hInstance = GetModuleHandleA(nullptr);
    frame.lpszClassName = "VantrelSimExplorer";
    frame.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassA(&frame);
    WNDCLASSA child = frame;
    child.lpfnWndProc = ChildProc;
    child.lpszClassName = "VantrelSimExplorerChild";
    RegisterClassA(&child);
}

ExplorerWindow MakeWindow(ComPtr<fake::FakeExplorer> explorer)
{
    ExplorerWindow window;
    window.explorer = std::move(explorer);
    window.frame = CreateWindowExA(WS_EX_APPWINDOW, "VantrelSimExplorer", "explorer",
                                   WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 480, 320, nullptr, nullptr,
                                   GetModuleHandleA(nullptr), nullptr);
    window.child = CreateWindowExA(0, "VantrelSimExplorerChild", "", WS_CHILD | WS_VISIBLE, 0, 0, 480, 300,
                                   window.frame, nullptr, GetModuleHandleA(nullptr), nullptr);
    return window;
}

void OpenExplorer()
{
    g_sim.windows.push_back(MakeWindow(g_sim.app->OpenExplorer()));
    Log("opened explorer");
}

void CloseLastExplorer()
{
    if (g_sim.windows.empty())
        return;
    ExplorerWindow window = g_sim.windows.back();
    g_sim.windows.pop_back();
    DestroyWindow(window.frame);
    Log("closing explorer");
    g_sim.app->CloseExplorer(window.explorer.Get());
}

void OpenInspector()
{
    InspectorWindow window;
    window.inspector = g_sim.app->OpenInspector();
    window.frame = CreateWindowExA(WS_EX_APPWINDOW, "VantrelSimExplorer", "inspector",
                                   WS_OVERLAPPEDWINDOW | WS_VISIBLE, 80, 80, 400, 300, nullptr, nullptr,
                                   GetModuleHandleA(nullptr), nullptr);
    CreateWindowExA(0, "VantrelSimExplorerChild", "", WS_CHILD | WS_VISIBLE, 0, 0, 400, 280, window.frame, nullptr,
                    GetModuleHandleA(nullptr), nullptr);
    g_sim.inspectors.push_back(window);
    Log("opened inspector");
}

void CloseLastInspector()
{
    if (g_sim.inspectors.empty())
        return;
    InspectorWindow window = g_sim.inspectors.back();
    g_sim.inspectors.pop_back();
    DestroyWindow(window.frame);
    Log("closing inspector");
    g_sim.app->CloseInspector(window.inspector.Get());
}

// Outlook ending by itself: the add-ins hear OnBeginShutdown and are released.
void EndByItself()
{
    if (g_sim.ending)
        return;
    g_sim.ending = true;
    Log("ending by itself");
    for (auto& addin : g_sim.addins) {
        addin->OnBeginShutdown(nullptr);
        addin->OnDisconnection(ext_dm_HostShutdown, nullptr);
    }
    while (!g_sim.windows.empty())
        CloseLastExplorer();
    g_sim.directAddin = nullptr;
    g_sim.addins.clear(); // the final release of each add-in
    Log("released add-ins");
    FlushCalls();
    Log("exit 3");
    ExitProcess(kExitedByItself);
}

std::string Narrow(const std::wstring& text)
{
    return fake::Narrow(text);
}

// Outlook's Options dialog: the add-ins add their pages, Outlook creates each by its ProgID
// and hosts it as an ActiveX control.
void OpenOptions()
{
    g_sim.pages = fake::Adopt(new fake::FakePropertyPages(g_sim.app->SharedLog()));
    g_sim.pageSite = fake::Adopt(new fake::FakePropertyPageSite(g_sim.app->SharedLog()));
    g_sim.app->FireOptionsPagesAdd(g_sim.pages.Get());
    for (const fake::AddedPage& page : g_sim.pages->Added()) {
        CLSID clsid;
        ComPtr<IUnknown> control;
        HRESULT hr = CLSIDFromProgID(page.page.c_str(), &clsid);
        if (SUCCEEDED(hr))
            hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &control);
        PageHost* host = nullptr;
        if (SUCCEEDED(hr)) {
            host = new PageHost(g_sim.pageSite.Get());
            hr = host->Host(control.Get());
        }
        char line[300];
        std::snprintf(line, sizeof(line), "options page \"%s\" %s 0x%08lx", Narrow(page.title).c_str(),
                      Narrow(page.page).c_str(), static_cast<unsigned long>(hr));
        Log(line);
        if (host)
            g_sim.hosts.push_back(host);
    }
}

HWND PageControl(int id)
{
    return g_sim.hosts.empty() ? nullptr : GetDlgItem(g_sim.hosts.front()->ControlWindow(), id);
}

std::string Utf8(const std::wstring& text)
{
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                          nullptr);
    std::string result(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), bytes, nullptr,
                            nullptr);
    return result;
}

void LogOptionsTexts()
{
    if (g_sim.pages)
        for (const fake::AddedPage& page : g_sim.pages->Added())
            Log("options title " + Utf8(page.title));
    HWND page = g_sim.hosts.empty() ? nullptr : g_sim.hosts.front()->ControlWindow();
    for (HWND child = page ? GetWindow(page, GW_CHILD) : nullptr; child; child = GetWindow(child, GW_HWNDNEXT)) {
        std::wstring text(static_cast<size_t>(GetWindowTextLengthW(child)) + 1, L'\0');
        text.resize(static_cast<size_t>(GetWindowTextW(child, text.data(), static_cast<int>(text.size()))));
        Log("options text " + std::to_string(GetDlgCtrlID(child)) + " " + Utf8(text));
    }
}

void PressOk()
{
    for (PageHost* host : g_sim.hosts) {
        ComPtr<Outlook::PropertyPage> page;
        if (host->Object() && SUCCEEDED(host->Object()->QueryInterface(IID_Outlook_PropertyPage, &page))) {
            VARIANT_BOOL dirty = VARIANT_FALSE;
            page->get_Dirty(&dirty);
            if (dirty)
                page->Apply();
            Log(std::string("options ok dirty=") + (dirty ? "true" : "false"));
        }
        host->Close();
        delete host;
    }
    g_sim.hosts.clear();
    char line[64];
    std::snprintf(line, sizeof(line), "options status changes %d", g_sim.pageSite ? g_sim.pageSite->StatusChanges() : 0);
    Log(line);
}

// Serves this thread's messages (the worker's requests come through them) until the add-in's
// worker thread has ended.
void WaitForWorker()
{
    HANDLE worker = g_sim.directAddin ? g_sim.directAddin->WorkerThread() : nullptr;
    if (!worker) {
        Log("no worker");
        return;
    }
    const DWORD bound = 60000;
    const DWORD start = GetTickCount();
    for (;;) {
        if (WaitForSingleObject(worker, 0) == WAIT_OBJECT_0) {
            Log("worker ended");
            return;
        }
        const DWORD spent = GetTickCount() - start;
        if (spent >= bound) {
            Log("worker still running");
            return;
        }
        MsgWaitForMultipleObjects(1, &worker, FALSE, bound - spent, QS_ALLINPUT);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                Log("WM_QUIT");
                continue;
            }
            if (message.hwnd == nullptr && message.message == WM_APP)
                EndByItself(); // asked to quit with --on-quit exit
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        FlushCalls();
    }
}

// The exit dialog of this process, as Outlook's thread sees it inside Quit.
void LogExitDialog()
{
    HWND dialog = FindWindowA(nullptr, "Vantrel - Exiting Outlook...");
    DWORD process = 0;
    GetWindowThreadProcessId(dialog, &process);
    if (!dialog || process != GetCurrentProcessId()) {
        Log("exit dialog none");
        return;
    }
    // Sent to the worker's thread, which serves its messages while it waits for this call.
    HWND bar = GetDlgItem(dialog, IDC_EXIT_PROGRESS);
    DWORD_PTR low = 0, high = 0, position = 0;
    SendMessageTimeoutA(bar, PBM_GETRANGE, TRUE, 0, SMTO_NORMAL, 10000, &low);
    SendMessageTimeoutA(bar, PBM_GETRANGE, FALSE, 0, SMTO_NORMAL, 10000, &high);
    SendMessageTimeoutA(bar, PBM_GETPOS, 0, 0, SMTO_NORMAL, 10000, &position);
    char line[128];
    std::snprintf(line, sizeof(line), "exit dialog visible=%d range=%lu-%lu pos=%lu", IsWindowVisible(dialog) ? 1 : 0,
                  static_cast<unsigned long>(low), static_cast<unsigned long>(high),
                  static_cast<unsigned long>(position));
    Log(line);
}

bool InUnloadedAddin(ULONG_PTR address)
{
    return address >= g_sim.unloadedBase && address < g_sim.unloadedEnd;
}

// After leave-com: code or data of the freed DLL touched on any thread. Logged, then the process
// ends at once with the fault's code, whatever handlers the add-in left installed.
LONG CALLBACK ReportUnloadedAddinFault(EXCEPTION_POINTERS* info)
{
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    if (record->ExceptionCode != EXCEPTION_ACCESS_VIOLATION || record->NumberParameters < 2)
        return EXCEPTION_CONTINUE_SEARCH;
    const ULONG_PTR code = reinterpret_cast<ULONG_PTR>(record->ExceptionAddress);
    const ULONG_PTR data = record->ExceptionInformation[1];
    if (!InUnloadedAddin(code) && !InUnloadedAddin(data))
        return EXCEPTION_CONTINUE_SEARCH;
    char line[160];
    std::snprintf(line, sizeof(line), "access violation in unloaded Vantrel.dll: %s thread, at +0x%llx, address +0x%llx",
                  GetCurrentThreadId() == g_mainThread ? "main" : "other",
                  static_cast<unsigned long long>(code - g_sim.unloadedBase),
                  static_cast<unsigned long long>(data - g_sim.unloadedBase));
    Log(line);
    TerminateProcess(GetCurrentProcess(), EXCEPTION_ACCESS_VIOLATION);
    return EXCEPTION_CONTINUE_SEARCH;
}

void LogAddinMapping();
void WaitForReturnedReport();

// Outlook's end as Windows runs it: the thread leaves COM, and the DLLs COM loaded for it go.
void LeaveCom()
{
    HMODULE addin = GetModuleHandleA("Vantrel.dll");
    CoUninitialize();
    Log("left COM");
    if (!addin)
        return;
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(addin);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(reinterpret_cast<const BYTE*>(addin) + dos->e_lfanew);
    g_sim.unloadedBase = reinterpret_cast<ULONG_PTR>(addin);
    g_sim.unloadedEnd = g_sim.unloadedBase + nt->OptionalHeader.SizeOfImage;
    AddVectoredExceptionHandler(1, ReportUnloadedAddinFault);
    FreeLibrary(addin); // COM's one reference: this program never loaded the DLL itself
    LogAddinMapping();
}

void WriteSetting(const std::string& assignment)
{
    const size_t equals = assignment.find('=');
    if (equals == std::string::npos)
        return;
    const std::string name = assignment.substr(0, equals);
    const std::string value = assignment.substr(equals + 1);
    RegSetKeyValueA(HKEY_CURRENT_USER, "SOFTWARE\\Vantrel", name.c_str(), REG_SZ, value.c_str(),
                    static_cast<DWORD>(value.size() + 1));
}

void LoadAddins();
void StartAddins();

void ReloadAddins()
{
    for (auto& addin : g_sim.addins)
        addin->OnDisconnection(ext_dm_UserClosed, nullptr);
    g_sim.directAddin = nullptr;
    g_sim.addins.clear();
    // Outlook frees an add-in's DLL once COM may unload it; the first call of the two only marks
    // it for unloading.
    CoFreeUnusedLibrariesEx(0, 0);
    Sleep(1);
    CoFreeUnusedLibrariesEx(0, 0);
    LogAddinMapping();
    LoadAddins();
    StartAddins();
}

void Crash()
{
    Log("crashing");
    volatile int* volatile target = nullptr; // unknown to the compiler, so the store is a real one
    *target = 1;
}

// Runs one step; answers the milliseconds until the next one, or 0 when the step itself
// schedules it.
UINT RunStep(const std::string& step)
{
    UINT next = kStepSpacingMs;
    Log("step " + step);
    if (step == "close-last")
        CloseLastExplorer();
    else if (step == "open")
        OpenExplorer();
    else if (step == "open-inspector")
        OpenInspector();
    else if (step == "close-inspector")
        CloseLastInspector();
    else if (step == "quit-event")
        g_sim.app->FireQuit();
    else if (step.rfind("wait:", 0) == 0)
        next = static_cast<UINT>(std::strtoul(step.c_str() + 5, nullptr, 10));
    else if (step == "wait-worker")
        WaitForWorker();
    else if (step == "exit")
        EndByItself();
    else if (step == "options")
        OpenOptions();
    else if (step.rfind("options-click:", 0) == 0)
        SendMessageA(PageControl(std::atoi(step.c_str() + 14)), BM_CLICK, 0, 0);
    else if (step.rfind("options-type:", 0) == 0)
        SetWindowTextA(PageControl(235), step.c_str() + 13);
    else if (step == "options-ok")
        PressOk();
    else if (step == "options-texts")
        LogOptionsTexts();
    else if (step == "release-addins") {
        g_sim.directAddin = nullptr;
        g_sim.addins.clear();
    }
    else if (step.rfind("setting:", 0) == 0)
        WriteSetting(step.substr(8));
    else if (step == "wait-quit" && !g_sim.quitRequested) {
        g_sim.stepAfterQuit = true;
        next = 0;
    } else if (step == "leave-com")
        LeaveCom();
    else if (step == "reload-addins")
        ReloadAddins();
    else if (step == "crash")
        Crash();
    else if (step == "wait-held")
        Log(WaitForSingleObject(g_sim.eventHeld, 30000) == WAIT_OBJECT_0 ? "held" : "nothing held");
    else if (step == "release-events")
        SetEvent(g_sim.eventsReleased);
    else if (step == "wait-returned")
        WaitForReturnedReport();
    else if (step == "end-process") {
        Log("ending the process");
        ExitProcess(kExitedByItself);
    }
    FlushCalls();
    return next;
}

void RunNextStep()
{
    FlushCalls();
    if (g_sim.steps.empty())
        return;
    const std::string steps = g_sim.steps.front();
    g_sim.steps.pop_front();
    UINT next = kStepSpacingMs;
    for (size_t start = 0; start <= steps.size();) {
        size_t end = steps.find('+', start);
        if (end == std::string::npos)
            end = steps.size();
        next = RunStep(steps.substr(start, end - start));
        start = end + 1;
    }
    if (next)
        SetTimer(nullptr, 0, next, nullptr);
}

std::string Utf8(const wchar_t* text)
{
    if (!text || !*text)
        return std::string();
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(size > 0 ? static_cast<size_t>(size) : 1u, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &utf8[0], size, nullptr, nullptr);
    utf8.resize(std::strlen(utf8.c_str()));
    return utf8;
}

// The English text of message id in the message file, with the inserted strings.
void LogMessageFileText(HMODULE messages, DWORD id, WORD count, LPCWSTR* strings)
{
    std::vector<DWORD_PTR> inserts;
    for (WORD i = 0; i < count; ++i)
        inserts.push_back(reinterpret_cast<DWORD_PTR>(strings[i] ? strings[i] : L""));
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                                            FORMAT_MESSAGE_ARGUMENT_ARRAY | FORMAT_MESSAGE_MAX_WIDTH_MASK,
                                        messages, id, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                        reinterpret_cast<LPWSTR>(&text), 0,
                                        reinterpret_cast<va_list*>(inserts.empty() ? nullptr : inserts.data()));
    Log("event text " + (length ? Utf8(text) : std::string("(no message of that ID)")));
    LocalFree(text);
}

// The English text that Event Viewer would show for the entry: the message of that ID in the
// message file beside the module that reported it (VantrelEvents.dll, which the registration
// names as the source's EventMessageFile), with the inserted strings.
void LogEventText(HMODULE reporter, DWORD id, WORD count, LPCWSTR* strings)
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(reporter, path, MAX_PATH);
    std::wstring messageFile(path, length < MAX_PATH ? length : 0);
    messageFile.erase(messageFile.find_last_of(L'\\') + 1);
    messageFile += L"VantrelEvents.dll";
    const HMODULE messages =
        LoadLibraryExW(messageFile.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!messages) {
        Log("event text (no message file)");
        return;
    }
    LogMessageFileText(messages, id, count, strings);
    FreeLibrary(messages);
}

BOOL WINAPI RecordReportEvent(HANDLE, WORD type, WORD, DWORD id, PSID, WORD count, DWORD, LPCWSTR* strings, LPVOID)
{
    char line[64];
    std::snprintf(line, sizeof(line), "event %u %lu", static_cast<unsigned>(type), static_cast<unsigned long>(id));
    Log(line);
    for (WORD i = 0; i < count; ++i)
        Log("event string " + Utf8(strings[i])); // so that a path outside the ANSI code page shows whole
    HMODULE reporter = nullptr;
    if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           static_cast<LPCWSTR>(__builtin_return_address(0)), &reporter))
        LogEventText(reporter, id, count, strings);
    return TRUE;
}

BOOL WINAPI HoldReportEvent(HANDLE, WORD, WORD, DWORD id, PSID, WORD, DWORD, LPCWSTR*, LPVOID)
{
    Log("event held " + std::to_string(id));
    SetEvent(g_sim.eventHeld);
    WaitForSingleObject(g_sim.eventsReleased, 30000);
    HANDLE thread = nullptr;
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &thread, SYNCHRONIZE, FALSE, 0);
    if (HANDLE previous = InterlockedExchangePointer(&g_sim.heldThread, thread))
        CloseHandle(previous);
    Log("event returning");
    SetEvent(g_sim.eventReturning);
    return TRUE;
}

void LogAddinMapping()
{
    Log(GetModuleHandleA("Vantrel.dll") ? "Vantrel.dll still mapped" : "Vantrel.dll unmapped");
}

// The held report's thread has returned into the add-in and ended (or 30 s have passed).
void WaitForReturnedReport()
{
    if (WaitForSingleObject(g_sim.eventReturning, 30000) != WAIT_OBJECT_0) {
        Log("nothing returned");
        return;
    }
    Log(WaitForSingleObject(g_sim.heldThread, 30000) == WAIT_OBJECT_0 ? "held thread ended" : "held thread running");
    LogAddinMapping();
}

// Points the module's import of advapi32's ReportEventW at `replacement`.
void RecordReportsOf(HMODULE module, decltype(&RecordReportEvent) replacement = RecordReportEvent)
{
    auto* base = reinterpret_cast<BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* descriptor = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         imports.VirtualAddress && descriptor->Name; ++descriptor) {
        if (_stricmp(reinterpret_cast<const char*>(base + descriptor->Name), "advapi32.dll") != 0)
            continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor->OriginalFirstThunk);
        auto* addresses = reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++addresses) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), "ReportEventW") != 0)
                continue;
            DWORD protection = 0;
            VirtualProtect(&addresses->u1.Function, sizeof(addresses->u1.Function), PAGE_READWRITE, &protection);
            addresses->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&addresses->u1.Function, sizeof(addresses->u1.Function), protection, &protection);
            Log("recording events");
        }
    }
}

// The registered add-in's DLL, loaded by this program so that its imports can be changed before
// COM creates its first object; the caller frees it once COM holds the DLL, so that COM's
// unloading it is not held up by this program.
HMODULE RecordReportsOfRegistered(const CLSID& clsid)
{
    wchar_t clsidText[64];
    StringFromGUID2(clsid, clsidText, 64);
    const std::wstring key = std::wstring(L"Software\\Classes\\CLSID\\") + clsidText + L"\\InprocServer32";
    wchar_t path[MAX_PATH] = {};
    DWORD size = sizeof(path);
    HMODULE module = nullptr;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, path, &size) == ERROR_SUCCESS)
        if ((module = LoadLibraryW(path)) != nullptr)
            RecordReportsOf(module);
    return module;
}

HRESULT LoadDirect()
{
    ComPtr<_IDTExtensibility2> addin;
    const HRESULT hr = CConnect::CreateInstance(nullptr, IID__IDTExtensibility2, &addin);
    if (SUCCEEDED(hr)) {
        g_sim.directAddin = static_cast<CConnect*>(addin.Get());
        g_sim.addins.push_back(addin);
    }
    return hr;
}

// Loads every add-in under Outlook's Addins key whose LoadBehavior is 3, by its ProgID.
void LoadRegistered()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Office\\Outlook\\Addins", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        Log("no Addins key");
        return;
    }
    char name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = sizeof(name);
        if (RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        DWORD behavior = 0, size = sizeof(behavior);
        RegGetValueA(key, name, "LoadBehavior", RRF_RT_REG_DWORD, nullptr, &behavior, &size);
        if (behavior != 3)
            continue;
        wchar_t progId[256];
        MultiByteToWideChar(CP_ACP, 0, name, -1, progId, 256);
        CLSID clsid;
        ComPtr<_IDTExtensibility2> addin;
        HRESULT hr = CLSIDFromProgID(progId, &clsid);
        HMODULE recorded = nullptr;
        if (SUCCEEDED(hr) && g_sim.recordEvents)
            recorded = RecordReportsOfRegistered(clsid);
        if (SUCCEEDED(hr))
            hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID__IDTExtensibility2, &addin);
        if (recorded)
            FreeLibrary(recorded);
        if (SUCCEEDED(hr) && g_sim.holdEvents)
            if (HMODULE module = GetModuleHandleA("Vantrel.dll")) // COM's reference alone
                RecordReportsOf(module, HoldReportEvent);
        char line[400];
        std::snprintf(line, sizeof(line), "load %s 0x%08lx", name, static_cast<unsigned long>(hr));
        Log(line);
        if (SUCCEEDED(hr))
            g_sim.addins.push_back(addin);
    }
    RegCloseKey(key);
}

void LoadAddins()
{
    if (g_sim.direct) {
        char line[64];
        std::snprintf(line, sizeof(line), "load direct 0x%08lx", static_cast<unsigned long>(LoadDirect()));
        Log(line);
    } else if (!g_sim.noAddins) {
        LoadRegistered();
    }
}

void StartAddins()
{
    for (auto& addin : g_sim.addins) {
        addin->OnConnection(g_sim.app.Get(), ext_cm_Startup, nullptr, nullptr);
        addin->OnStartupComplete(nullptr);
    }
}

// Argument `index` of the command line as UTF-16 (argv has it in the ANSI code page).
std::wstring WideArgument(int index)
{
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    std::wstring argument = arguments && index < count ? arguments[index] : L"";
    LocalFree(arguments);
    return argument;
}

// Outlook's own work on its data files after Quit or the close messages (emptying Deleted
// Items, compacting, closing its stores): the file grows every 200 ms for the given time.
struct StoreWrites {
    const std::wstring* path;
    const DWORD* ms;
};

DWORD WINAPI WriteStore(LPVOID parameter)
{
    const StoreWrites writes = *static_cast<StoreWrites*>(parameter);
    delete static_cast<StoreWrites*>(parameter);
    Log("store writes begin");
    const DWORD start = GetTickCount();
    for (;;) {
        HANDLE file = CreateFileW(writes.path->c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            static const char block[] = "a block of mail written while Outlook shuts down\n";
            DWORD written = 0;
            WriteFile(file, block, sizeof(block) - 1, &written, nullptr);
            CloseHandle(file);
        }
        if (GetTickCount() - start >= *writes.ms)
            break;
        Sleep(200);
    }
    Log("store writes done"); // right after the last write
    return 0;
}

void StartStoreWriter(const std::wstring* path, const DWORD* ms)
{
    HANDLE writer = CreateThread(nullptr, 0, WriteStore, new StoreWrites{path, ms}, 0, nullptr);
    if (writer)
        CloseHandle(writer);
}

// PATH=MS, read from the wide command line.
bool ParseWrites(const std::wstring& assignment, std::wstring& path, DWORD& ms)
{
    const size_t equals = assignment.rfind(L'=');
    if (equals == std::wstring::npos)
        return false;
    path = assignment.substr(0, equals);
    ms = static_cast<DWORD>(std::wcstoul(assignment.c_str() + equals + 1, nullptr, 10));
    return true;
}

bool ParseArguments(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
        if (arg == "--log")
            g_logPath = value();
        else if (arg == "--direct")
            g_sim.direct = true;
        else if (arg == "--no-addins")
            g_sim.noAddins = true;
        else if (arg == "--record-events")
            g_sim.recordEvents = true;
        else if (arg == "--hold-events")
            g_sim.holdEvents = true;
        else if (arg == "--version")
            g_sim.version = value();
        else if (arg == "--explorers")
            g_sim.explorers = std::atoi(value().c_str());
        else if (arg == "--language")
            g_sim.language = std::strtol(value().c_str(), nullptr, 0);
        else if (arg == "--session-empty")
            g_sim.sessionEmpty = true;
        else if (arg == "--on-quit") {
            const std::string action = value();
            g_sim.exitOnQuit = action == "exit";
            g_sim.releaseOnQuit = action == "release";
        } else if (arg == "--stores") {
            // Read from the wide command line, so that a path outside the ANSI code page stays whole.
            const std::wstring list = WideArgument(++i);
            for (size_t start = 0; start <= list.size();) {
                size_t end = list.find(L';', start);
                if (end == std::wstring::npos)
                    end = list.size();
                g_sim.stores.push_back(list.substr(start, end - start));
                start = end + 1;
            }
        } else if (arg == "--write-after-quit") {
            if (!ParseWrites(WideArgument(++i), g_sim.writePath, g_sim.writeMs))
                return false;
        } else if (arg == "--write-on-close") {
            if (!ParseWrites(WideArgument(++i), g_sim.closeWritePath, g_sim.closeWriteMs))
                return false;
        }
        else if (arg == "--fail") {
            const std::string failure = value();
            const size_t equals = failure.find('=');
            if (equals == std::string::npos)
                return false;
            g_sim.failures.emplace_back(failure.substr(0, equals),
                                        static_cast<HRESULT>(std::strtoul(failure.c_str() + equals + 1, nullptr, 0)));
        } else if (arg.rfind("--", 0) == 0)
            return false;
        else
            g_sim.steps.push_back(arg);
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    g_mainThread = GetCurrentThreadId();
    if (!ParseArguments(argc, argv)) {
        std::fprintf(stderr, "usage: see the comment at the top of outlook_sim.cpp\n");
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    RegisterWindowClasses();

    g_sim.app = fake::FakeApplication::Create(g_sim.version);
    for (const auto& failure : g_sim.failures) {
        const bool ofSession = failure.first == "Logoff" || failure.first == "Stores";
        fake::FakeObject& target = ofSession ? static_cast<fake::FakeObject&>(g_sim.app->NameSpaceObject())
                                             : static_cast<fake::FakeObject&>(*g_sim.app.Get());
        target.FailCall(failure.first, failure.second);
    }
    if (g_sim.sessionEmpty)
        g_sim.app->ReturnNothing("Session");
    for (const std::wstring& store : g_sim.stores)
        g_sim.app->NameSpaceObject().AddStore(store);
    g_sim.app->LanguageSettingsObject().SetLanguage(g_sim.language);
    g_sim.app->OnQuitCall([] {
        Log("quit requested");
        LogExitDialog();
        g_sim.quitRequested = true;
        if (g_sim.stepAfterQuit) {
            g_sim.stepAfterQuit = false;
            SetTimer(nullptr, 0, kStepSpacingMs, nullptr);
        }
        if (!g_sim.writePath.empty())
            StartStoreWriter(&g_sim.writePath, &g_sim.writeMs);
        if (g_sim.exitOnQuit)
            PostMessageA(nullptr, WM_APP, 0, 0); // end by itself once the call has returned
        if (g_sim.releaseOnQuit)
            EndByItself(); // inside the call: the add-ins are released before Quit returns
    });
    // Outlook keeps hidden top-level windows of its own for its whole life.
    HWND mainFrame = CreateWindowExA(0, "VantrelSimExplorer", "main", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                     nullptr, GetModuleHandleA(nullptr), nullptr);
    CreateWindowExA(0, "VantrelSimExplorerChild", "", WS_CHILD, 0, 0, 10, 10, mainFrame, nullptr,
                    GetModuleHandleA(nullptr), nullptr);
    for (int i = 0; i < g_sim.explorers; ++i)
        g_sim.windows.push_back(MakeWindow(g_sim.app->AddExplorerQuietly()));

    if (g_sim.recordEvents && g_sim.direct)
        RecordReportsOf(GetModuleHandleA(nullptr)); // the add-in's code is linked into this program
    LoadAddins();
    StartAddins();
    Log("started");
    SetTimer(nullptr, 0, kStepSpacingMs, nullptr);

    // Outlook's message loop. A stuck Outlook takes WM_QUIT and goes on.
    MSG message;
    for (;;) {
        const BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got == -1)
            break;
        if (got == 0) {
            Log("WM_QUIT");
            continue;
        }
        // The steps' own timers have no procedure; an add-in's thread timer is dispatched.
        if (message.hwnd == nullptr && message.message == WM_TIMER && message.lParam == 0) {
            KillTimer(nullptr, message.wParam);
            RunNextStep();
            continue;
        }
        if (message.hwnd == nullptr && message.message == WM_APP) {
            EndByItself();
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
        FlushCalls();
    }
    return 1;
}
