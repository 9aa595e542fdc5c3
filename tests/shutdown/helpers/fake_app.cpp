// A stand-in for Word or Outlook in the process-closer tests, built under their image names.
//
//   fake_app <record-file> <windows> <mode> <ready-event> <ack-event>
//
// windows: one letter per top-level window, top of the Z order first. 'A' has WS_EX_APPWINDOW,
//          'N' has not; upper case gives the window one child window, lower case none. 'V' is
//          an 'A' that is shown (WS_VISIBLE), as a window the user sees; the others are hidden.
// mode:    "pump"  records every WM_CLOSE and WM_QUIT it takes, dispatches nothing else of
//                  them and keeps running; a thread message WM_APP writes the record file
//                  and sets the ack event.
//          "quit:<n>" as "pump", and also writes the record file at each WM_QUIT it takes and
//                  sets the ack event once n of them have come to its own windows.
//          "hang"  stops taking messages once its windows exist.
//          "kill:<code>" ends itself through KillProcess with that exit code.
// The ready event is set once the windows exist. Whatever happens, the program ends by itself
// after kLifetimeMs (exit code 99), so that nothing is left running after a failed test.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "shutdown/process_closer.h"

namespace {

constexpr DWORD kLifetimeMs = 30000;
constexpr UINT kExitCodeTimedOut = 99;
constexpr UINT kExitCodeKillReturned = 98;
const char kClassName[] = "VantrelFakeAppWindow";

std::vector<HWND> g_topWindows;
std::vector<HWND> g_childWindows;

std::string Describe(HWND target)
{
    if (!target)
        return "thread";
    for (size_t i = 0; i < g_childWindows.size(); ++i)
        if (g_childWindows[i] == target)
            return "child" + std::to_string(i);
    for (size_t i = 0; i < g_topWindows.size(); ++i)
        if (g_topWindows[i] == target)
            return "top" + std::to_string(i);
    return "other";
}

void SetEventByName(const char* name)
{
    HANDLE event = OpenEventA(EVENT_MODIFY_STATE, FALSE, name);
    if (event) {
        SetEvent(event);
        CloseHandle(event);
    }
}

void WriteRecord(const char* path, const std::string& text)
{
    FILE* file = std::fopen(path, "wb");
    if (file) {
        std::fwrite(text.data(), 1, text.size(), file);
        std::fclose(file);
    }
}

void CreateWindows(const char* layout)
{
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kClassName;
    RegisterClassA(&windowClass);

    const size_t count = std::strlen(layout);
    g_topWindows.assign(count, nullptr);
    g_childWindows.assign(count, nullptr);
    for (size_t i = 0; i < count; ++i) {
        const char kind = layout[i];
        const DWORD exStyle = (kind == 'A' || kind == 'a' || kind == 'V') ? WS_EX_APPWINDOW : 0;
        const DWORD style = WS_OVERLAPPEDWINDOW | (kind == 'V' ? WS_VISIBLE : 0);
        g_topWindows[i] = CreateWindowExA(exStyle, kClassName, "fake app", style, 0, 0, 200, 100, nullptr, nullptr,
                                          windowClass.hInstance, nullptr);
        if (kind == 'A' || kind == 'N' || kind == 'V')
            g_childWindows[i] = CreateWindowExA(0, kClassName, "child", WS_CHILD, 0, 0, 50, 50, g_topWindows[i],
                                                nullptr, windowClass.hInstance, nullptr);
    }
    // Bottom first, each brought to the top: the first listed ends on top.
    for (size_t i = count; i-- > 0;)
        SetWindowPos(g_topWindows[i], HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

int Pump(const char* recordPath, const char* ackEvent, int quitsToAck)
{
    std::string record;
    int quitsTaken = 0;
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_CLOSE || msg.message == WM_QUIT) {
                const std::string target = Describe(msg.hwnd);
                record += target + (msg.message == WM_CLOSE ? " WM_CLOSE\n" : " WM_QUIT\n");
                if (quitsToAck > 0 && msg.message == WM_QUIT) {
                    WriteRecord(recordPath, record);
                    if (target != "other" && ++quitsTaken == quitsToAck)
                        SetEventByName(ackEvent);
                }
            } else if (msg.message == WM_APP && !msg.hwnd) {
                WriteRecord(recordPath, record);
                SetEventByName(ackEvent);
            } else {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        }
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= kLifetimeMs)
            return kExitCodeTimedOut;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, kLifetimeMs - elapsed, QS_ALLINPUT);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 6)
        return 2;
    const char* recordPath = argv[1];
    const char* layout = argv[2];
    const char* mode = argv[3];

    if (std::strncmp(mode, "kill:", 5) == 0) {
        KillProcess(GetCurrentProcessId(), static_cast<DWORD>(std::strtoul(mode + 5, nullptr, 10)));
        return kExitCodeKillReturned;
    }

    CreateWindows(layout);
    SetEventByName(argv[4]);
    if (std::strcmp(mode, "hang") == 0) {
        Sleep(kLifetimeMs);
        return kExitCodeTimedOut;
    }
    const int quitsToAck = std::strncmp(mode, "quit:", 5) == 0 ? std::atoi(mode + 5) : 0;
    return Pump(recordPath, argv[5], quitsToAck);
}
