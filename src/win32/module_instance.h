// The module whose resources the add-in loads: Vantrel.dll in Outlook, the test program in tests.
// Any thread; nothing here throws.
#pragma once

#include <windows.h>

// The module that contains this code (found by address, so it needs no set-up in DllMain).
HINSTANCE ModuleInstance();

// Keeps the module that contains this code loaded until the process ends, whatever frees it
// afterwards: Outlook's CoUninitialize frees every DLL that COM loaded for its thread, whatever
// DllCanUnloadNow answers, while a worker thread, a window or a timer of ours may still run our
// code. False when the module could not be pinned.
bool PinModule() noexcept;
