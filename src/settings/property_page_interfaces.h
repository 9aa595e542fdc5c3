// The interfaces of the options page as its callers see them: the class's own dual
// interface and Outlook's PropertyPage, with Outlook's slot order.
#pragma once

#include <windows.h>
#include <oaidl.h>

// The AddinPropertyPage class's own dual interface; no members beyond IDispatch.
struct IAddinPropertyPage : public IDispatch {
};

namespace Outlook {

// Outlook's PropertyPage {0006307E-0000-0000-C000-000000000046}: IDispatch's seven slots,
// then these three, which Outlook calls through the function table.
struct PropertyPage : public IDispatch {
    STDMETHOD(GetPageInfo)(BSTR* helpFile, long* helpContext) = 0;
    STDMETHOD(get_Dirty)(VARIANT_BOOL* dirty) = 0;
    STDMETHOD(Apply)() = 0;
};

} // namespace Outlook
