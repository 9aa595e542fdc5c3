#include "settings/options_pages_add.h"

#include <wrl/client.h>

#include "com/com_error.h"
#include "com/module_instance.h"
#include "com/raii.h"
#include "com/text_convert.h"
#include "log/log_file.h"
#include "outlook/outlook.h"
#include "resource_ids/string_ids.h"

namespace {

// A BSTR of ANSI text; throws ComError(E_OUTOFMEMORY) when it cannot be made.
UniqueBstr AnsiToBstr(const char* text, const IID& iid)
{
    const std::wstring wide = ToWide(text, CP_ACP);
    UniqueBstr result(SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size())));
    if (!result)
        throw ComError(E_OUTOFMEMORY, iid);
    return result;
}

} // namespace

void Event_OptionsPagesAdd(IDispatch* collection)
{
    try {
        if (!collection)
            throw ComError(E_POINTER, IID_Outlook_PropertyPages);
        Microsoft::WRL::ComPtr<IDispatch> pages;
        ThrowIfFailed(collection->QueryInterface(IID_Outlook_PropertyPages, &pages), IID_Outlook_PropertyPages);

        UniqueVariant page;
        page.get()->vt = VT_BSTR;
        page.get()->bstrVal = SysAllocString(L"Vantrel.AddinPropertyPage");
        if (!page.get()->bstrVal)
            throw ComError(E_OUTOFMEMORY, IID_Outlook_PropertyPages);

        char title[1024] = {};
        (void)LoadStringA(ModuleInstance(), IDS_PAGE_TITLE, title, sizeof(title));
        UniqueBstr titleText = AnsiToBstr(title, IID_Outlook_PropertyPages);

        Outlook::AddPropertyPage(pages.Get(), *page.get(), titleText.get());
    } catch (...) {
        LogMessage(0, "Connect<Event_OptionsPagesAdd> ==> [HRES %08x]", static_cast<unsigned>(CaughtExceptionResult()));
    }
}
