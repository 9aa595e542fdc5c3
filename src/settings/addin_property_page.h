// CAddinPropertyPage: the "Shutdown" page in Outlook's Options dialog.
#pragma once

#include <windows.h>

class CAddinPropertyPage {
public:
    // The class object's create function: E_POINTER, CLASS_E_NOAGGREGATION, E_OUTOFMEMORY,
    // or the result of the query for riid. No-throw.
    static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv);
};
