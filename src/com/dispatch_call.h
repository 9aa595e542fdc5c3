// Late-bound calls: a member looked up by name with GetIDsOfNames, then Invoke.
// The add-in reaches Outlook only this way, so no guessed vtable layout is ever called.
#pragma once

#include <windows.h>
#include <oaidl.h>

// Calls member `name` of `target` with `flags` (DISPATCH_METHOD, DISPATCH_PROPERTYGET) and
// the arguments in reverse order, as DISPPARAMS wants them. result may be null. No-throw.
HRESULT InvokeByName(IDispatch* target, const wchar_t* name, WORD flags, VARIANT* reversedArgs, UINT argCount,
                     VARIANT* result);
