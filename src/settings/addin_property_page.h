// CAddinPropertyPage: the "Shutdown" page in Outlook's Options dialog. A window-only
// ActiveX control (dialog template 104) that shows the four settings, writes them back when
// Outlook applies the page, tells Outlook's PropertyPageSite when it turns dirty and shows
// the add-in's version. A setting that an administrator enforces shows its enforced value in a
// disabled control, is never written, and a line of its own says so.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>


#include "com/composite_control.h"
#include "com/dispatch_impl.h"
#include "com/module_lock.h"
#include "com/raii.h"
#include "settings/property_page_interfaces.h"
#include "settings/settings_store.h"

class CAddinPropertyPage : public DispatchImpl<IAddinPropertyPage>,
                           public DispatchImpl<Outlook::PropertyPage>,
                           public CompositeControl {
public:
    // What GetMiscStatus answers for the content aspect and the class's registration writes
    // (131473).
    static constexpr DWORD kMiscStatus = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_ACTIVATEWHENVISIBLE |
                                         OLEMISC_INSIDEOUT | OLEMISC_CANTLINKINSIDE | OLEMISC_RECOMPOSEONRESIZE;

    // The class object's create function: E_POINTER, CLASS_E_NOAGGREGATION, E_OUTOFMEMORY,
    // or the result of the query for riid. No-throw.
    static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override;
    STDMETHODIMP_(ULONG) AddRef() noexcept override;
    STDMETHODIMP_(ULONG) Release() noexcept override;

    // PropertyPage: no help (E_NOTIMPL, E_POINTER for a null pointer); the dirty flag;
    // Apply stores the page's state and answers S_OK whatever happens.
    STDMETHODIMP GetPageInfo(BSTR* helpFile, long* helpContext) noexcept override;
    STDMETHODIMP get_Dirty(VARIANT_BOOL* dirty) noexcept override;
    STDMETHODIMP Apply() noexcept override;

    // IOleObject: keeps the client site, then its PropertyPageSite (which may be empty); a null
    // client site lets go of both.
    STDMETHODIMP SetClientSite(IOleClientSite* site) noexcept override;

protected:
    bool OnDialogMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

private:
    CAddinPropertyPage();
    ~CAddinPropertyPage() override;

    void InitialiseWindow();
    void ShowSettings(); // each control's value, and which are enforced
    void ShowPolicyNote(bool show);
    bool IsEnforced(Setting setting) const;
    void EnableUnlessEnforced(int id, Setting setting, BOOL enable);
    void OnSettingChanged();
    void StoreSettings();
    void EraseBackground(HDC dc);
    HBRUSH ControlColour(HDC dc, HWND control);
    bool IsBoxChecked(int id) const;

    LONG m_dwRef = 0;
    BOOL m_bThemed = FALSE;
    BOOL m_bInitialised = FALSE;
    BOOL m_bStatusChangeFailureLogged = FALSE;
    unsigned m_enforced = 0; // bit i: Setting i was enforced when the window was made
    UniqueGdiObject m_hTabBrush;
    UniqueVariant m_vDirty; // VT_BOOL
    Microsoft::WRL::ComPtr<IDispatch> m_spSite; // Outlook's PropertyPageSite, called by name
    ModuleLockHolder m_moduleLock;
};
