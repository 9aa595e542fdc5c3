// Stands in for Outlook under App Paths in the PostInstall test: it only shows that it was
// started, by setting the event named below, and ends.
#include <windows.h>

int main()
{
    HANDLE started = OpenEventA(EVENT_MODIFY_STATE, FALSE, "Local\\VantrelOutlookStandInStarted");
    if (!started)
        return 1;
    SetEvent(started);
    CloseHandle(started);
    return 0;
}
