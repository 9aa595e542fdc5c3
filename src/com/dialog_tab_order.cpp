#include "com/dialog_tab_order.h"

namespace {

bool IsTabStop(HWND child)
{
    const LONG style = GetWindowLongW(child, GWL_STYLE);
    return (style & WS_TABSTOP) && (style & WS_VISIBLE) && !(style & WS_DISABLED);
}

} // namespace

// The first and last tab stops among the dialog's children, in tab (z-) order.
void TabStopRange(HWND dialog, HWND* first, HWND* last)
{
    *first = *last = nullptr;
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (!IsTabStop(child))
            continue;
        if (!*first)
            *first = child;
        *last = child;
    }
}

// The direct child of dialog that holds the focus (or contains the window that does).
HWND FocusedChild(HWND dialog)
{
    HWND focus = GetFocus();
    while (focus && GetParent(focus) != dialog)
        focus = GetParent(focus);
    return focus;
}
