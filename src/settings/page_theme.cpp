#include "settings/page_theme.h"

#include "win32/system_library.h"

namespace {

const UxThemeApi* g_override = nullptr;

template <typename Function>
void Resolve(HMODULE library, const char* name, Function* function)
{
    *function = library ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)))
                        : nullptr;
}

UxThemeApi LoadUxTheme()
{
    // Only the system's own copy; never a DLL of that name from the current or Outlook's folder.
    // Loaded once for the process's life.
    HMODULE library = LoadSystemLibrary("uxtheme.dll");
    UxThemeApi api{};
    Resolve(library, "IsAppThemed", &api.IsAppThemed);
    Resolve(library, "OpenThemeData", &api.OpenThemeData);
    Resolve(library, "DrawThemeBackground", &api.DrawThemeBackground);
    Resolve(library, "CloseThemeData", &api.CloseThemeData);
    return api;
}

} // namespace

const UxThemeApi& PageUxTheme()
{
    if (g_override)
        return *g_override;
    // Loaded at the first call, on the page's (Outlook's user-interface) thread.
    static const UxThemeApi api = LoadUxTheme();
    return api;
}

bool PageThemeActive()
{
    const UxThemeApi& api = PageUxTheme();
    if (!api.IsAppThemed || !api.OpenThemeData || !api.DrawThemeBackground || !api.CloseThemeData)
        return false;
    return api.IsAppThemed() != FALSE;
}

void OverridePageUxTheme(const UxThemeApi* api)
{
    g_override = api;
}
