#include "settings/options_pages_add.h"

#include <wrl/client.h>

#include "com/com_error.h"
#include "win32/module_instance.h"
#include "com/raii.h"
#include "win32/ui_language.h"
#include "log/log_file.h"
#include "outlook/outlook.h"
#include "resource_ids/string_ids.h"

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

        // The tab's title in the add-in's language, UTF-16 from the resource to Outlook.
        const std::wstring title = LoadUiString(ModuleInstance(), IDS_PAGE_TITLE);
        UniqueBstr titleText(SysAllocStringLen(title.data(), static_cast<UINT>(title.size())));
        if (!titleText)
            throw ComError(E_OUTOFMEMORY, IID_Outlook_PropertyPages);

        Outlook::AddPropertyPage(pages.Get(), *page.get(), titleText.get());
    } catch (...) {
        LogMessage(0, "Connect<Event_OptionsPagesAdd> ==> [HRES %08x]", static_cast<unsigned>(CaughtExceptionResult()));
    }
}
