// Ties a dialog's window to the object that creates it. A dialog procedure keeps its object's
// address in the window (DWLP_USER) from WM_INITDIALOG on; any process on the same desktop can
// send or post a dialog WM_INITDIALOG with an lParam of its choice, so the procedure takes the
// object only from the creation that this thread has under way, and only once per window.
// Used on the thread that creates the dialog; nothing here throws.
#pragma once

#include <windows.h>

// Marks `object` as the one whose dialog this thread is creating, for the scope's lifetime
// (put it around CreateDialogParam). Scopes nest: the previous mark comes back at the end.
class DialogCreation {
public:
    explicit DialogCreation(void* object) noexcept;
    ~DialogCreation();
    DialogCreation(const DialogCreation&) = delete;
    DialogCreation& operator=(const DialogCreation&) = delete;

    // For the dialog procedure at WM_INITDIALOG: true when lParam is the object this thread is
    // creating a dialog for and has not yet handed to a window; it is then handed over, so that
    // a second WM_INITDIALOG, to this window or another, is refused.
    static bool Claim(LPARAM lParam) noexcept;

private:
    void* m_previous;
};
