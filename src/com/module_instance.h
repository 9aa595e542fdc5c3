// The module whose resources the add-in loads: Vantrel.dll in Outlook, the test program in tests.
#pragma once

#include <windows.h>

// The module that contains this code (found by address, so it needs no set-up in DllMain).
HINSTANCE ModuleInstance();
