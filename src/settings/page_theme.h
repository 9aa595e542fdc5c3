// The few UxTheme functions the options page draws with. UxTheme is loaded from the system
// folder when first asked for and stays loaded; a missing library or function counts as
// visual themes being off.
#pragma once

#include <windows.h>
#include <uxtheme.h>

#include "win32/raii.h"

struct UxThemeApi {
    BOOL(WINAPI* IsAppThemed)();
    HTHEME(WINAPI* OpenThemeData)(HWND window, LPCWSTR classList);
    HRESULT(WINAPI* DrawThemeBackground)(HTHEME theme, HDC dc, int part, int state, const RECT* rect,
                                         const RECT* clip);
    HRESULT(WINAPI* CloseThemeData)(HTHEME theme);
};

// UxTheme's functions; a member is null when the library or the function is missing. No-throw.
const UxThemeApi& PageUxTheme();

// Whether the page draws themed: every function present and IsAppThemed() true. No-throw.
bool PageThemeActive();

// Theme data opened with PageUxTheme()'s OpenThemeData (only when PageThemeActive()), closed
// with its CloseThemeData.
struct PageThemeTraits {
    static HTHEME Invalid() { return nullptr; }
    static void Close(HTHEME theme) { (void)PageUxTheme().CloseThemeData(theme); }
};
using UniquePageTheme = UniqueResource<HTHEME, PageThemeTraits>;

// Makes PageUxTheme() answer `api` instead of the real library (null puts the library back):
// how the tests run the page without themes or without UxTheme.
void OverridePageUxTheme(const UxThemeApi* api);
