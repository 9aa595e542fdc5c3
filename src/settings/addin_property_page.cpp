#include "settings/addin_property_page.h"

// The page itself is not built yet.
HRESULT CAddinPropertyPage::CreateInstance(IUnknown*, REFIID, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    return E_NOTIMPL;
}
