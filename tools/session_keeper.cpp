// Keeps the Wine desktop process (explorer.exe /desktop) alive for a whole test session.
// Wine starts that process on demand when a program first creates a window and ends it
// soon after the last window is gone; started from inside a test, it would inherit the
// test's output pipes and keep CTest waiting until it exits. Started once, beforehand,
// with its output on /dev/null, it serves every test. It owns one hidden window and
// runs until the session's wineserver is stopped.
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "VantrelSessionKeeper";
    RegisterClassA(&windowClass);
    CreateWindowExA(WS_EX_TOOLWINDOW, "VantrelSessionKeeper", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, instance,
                    nullptr);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0)
        DispatchMessageA(&message);
    return 0;
}
