// Tab order among a dialog's children, for a control that must know when a Tab key leaves it.
// Runs on the dialog's thread; no-throw.
#pragma once

#include <windows.h>

// The first and last tab stops (visible, enabled, WS_TABSTOP) among the dialog's children, in
// tab (z-) order; null when there are none.
void TabStopRange(HWND dialog, HWND* first, HWND* last);

// The direct child of dialog that holds the focus (or contains the window that does); null
// when the focus is outside the dialog.
HWND FocusedChild(HWND dialog);
