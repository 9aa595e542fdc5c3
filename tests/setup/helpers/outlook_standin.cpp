// Stands in for Outlook where the installer's PostInstall might start it: it shows that it was
// started by writing "<its own path>.ran" (so that a test tells its copies apart) and then
// setting the event named below, and ends.
#include <windows.h>

int main()
{
    wchar_t path[MAX_PATH + 8] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
        lstrcatW(path, L".ran");
        HANDLE mark = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (mark != INVALID_HANDLE_VALUE)
            CloseHandle(mark);
    }
    HANDLE started = OpenEventA(EVENT_MODIFY_STATE, FALSE, "Local\\VantrelOutlookStandInStarted");
    if (!started)
        return 1;
    SetEvent(started);
    CloseHandle(started);
    return 0;
}
