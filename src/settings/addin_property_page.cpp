#include "settings/addin_property_page.h"

#include <vsstyle.h>

#include <cstring>
#include <new>
#include <vector>

#include "com/com_error.h"
#include "com/create_object.h"
#include "com/interface_table.h"
#include "win32/module_instance.h"
#include "win32/raii.h"
#include "win32/ui_language.h"
#include "win32/version_resource.h"
#include "log/log_file.h"
#include "outlook/outlook.h"
#include "resource_ids/page_ids.h"
#include "resource_ids/string_ids.h"
#include "settings/page_theme.h"
#include "settings/settings_store.h"
#include "Vantrel_h.h"

namespace {

// The check boxes and the settings they show, in the order they are read and written; the
// edit box for Setting::Delay comes after them.
struct BoxSetting {
    int id;
    Setting setting;
};
constexpr BoxSetting kBoxSettings[] = {
    {IDC_PAGE_ENABLED, Setting::Enabled},
    {IDC_PAGE_SHOW_EXIT_DIALOG, Setting::ShowExitDialog},
    {IDC_PAGE_CLOSE_WINWORD, Setting::CloseWinWord},
};

bool IsBox(int id)
{
    for (const BoxSetting& box : kBoxSettings)
        if (box.id == id)
            return true;
    return false;
}

// The line that explains the disabled controls (string IDS_PAGE_POLICY_NOTE), made below
// "Product Information" only when a setting is enforced (dialog units: left, top, right,
// bottom), so the template stays as it is.
constexpr RECT kPolicyNoteRect = {14, 103, 259, 119};

unsigned SettingBit(Setting setting)
{
    return 1u << static_cast<unsigned>(setting);
}

// The whole text of a window, whatever its length. Throws std::bad_alloc.
std::vector<char> WindowTextA(HWND window)
{
    const int length = GetWindowTextLengthA(window);
    std::vector<char> text(static_cast<size_t>(length > 0 ? length : 0) + 1, '\0');
    if (length > 0)
        GetWindowTextA(window, text.data(), length + 1);
    return text;
}

} // namespace

CAddinPropertyPage::CAddinPropertyPage()
    : DispatchImpl<IAddinPropertyPage>(LIBID_VantrelLib, 1, 0, IID_IAddinPropertyPage),
      DispatchImpl<Outlook::PropertyPage>(LIBID_VantrelLib, 1, 0, IID_Outlook_PropertyPage),
      CompositeControl(ModuleInstance(), IDD_ADDINPROPERTYPAGE, CLSID_AddinPropertyPage, kMiscStatus)
{
    m_vDirty.get()->vt = VT_BOOL;
    m_vDirty.get()->boolVal = VARIANT_FALSE;
}

CAddinPropertyPage::~CAddinPropertyPage()
{
    DestroyControlWindow();
}

HRESULT CAddinPropertyPage::CreateInstance(IUnknown* outer, REFIID riid, void** ppv)
{
    return CreateComObject(outer, riid, ppv, [] { return new (std::nothrow) CAddinPropertyPage(); });
}

STDMETHODIMP CAddinPropertyPage::QueryInterface(REFIID riid, void** ppv) noexcept
{
    using Page = CAddinPropertyPage;
    static constexpr InterfaceEntry<Page> kInterfaces[] = {
        InterfaceRow<Page, IAddinPropertyPage>(IID_IUnknown),
        InterfaceRow<Page, IAddinPropertyPage>(IID_IAddinPropertyPage),
        InterfaceRow<Page, IAddinPropertyPage>(IID_IDispatch),
        InterfaceRow<Page, Outlook::PropertyPage>(IID_Outlook_PropertyPage),
    };
    return QueryInterfaceFromTable(this, kInterfaces, riid, ppv,
                                   [this](REFIID iid) noexcept { return ControlInterface(iid); });
}

STDMETHODIMP_(ULONG) CAddinPropertyPage::AddRef() noexcept
{
    return static_cast<ULONG>(++m_dwRef);
}

STDMETHODIMP_(ULONG) CAddinPropertyPage::Release() noexcept
{
    const LONG count = --m_dwRef;
    if (count == 0)
        delete this;
    return static_cast<ULONG>(count);
}

STDMETHODIMP CAddinPropertyPage::GetPageInfo(BSTR* helpFile, long* helpContext) noexcept
{
    if (!helpFile || !helpContext)
        return E_POINTER;
    return E_NOTIMPL;
}

STDMETHODIMP CAddinPropertyPage::get_Dirty(VARIANT_BOOL* dirty) noexcept
{
    if (!dirty)
        return E_POINTER;
    *dirty = m_vDirty.get()->boolVal;
    return S_OK;
}

STDMETHODIMP CAddinPropertyPage::Apply() noexcept
{
    // Outlook is told S_OK whatever the writes did.
    try {
        StoreSettings();
    }
    CATCH_RETURN_VALUE(S_OK)
    return S_OK;
}

STDMETHODIMP CAddinPropertyPage::SetClientSite(IOleClientSite* site) noexcept
{
    const HRESULT hr = CompositeControl::SetClientSite(site);
    if (FAILED(hr))
        return hr;
    if (!site) {
        // The container takes its site back to break the loop of references between its site
        // and the page: Outlook's PropertyPageSite goes with it.
        m_spSite.Reset();
        return S_OK;
    }
    Microsoft::WRL::ComPtr<IDispatch> pageSite;
    // A container that is not Outlook may have no PropertyPageSite: the page then has none.
    (void)site->QueryInterface(IID_Outlook_PropertyPageSite, reinterpret_cast<void**>(pageSite.GetAddressOf()));
    m_spSite = pageSite;
    return S_OK;
}

bool CAddinPropertyPage::OnDialogMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    switch (message) {
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        const UINT code = HIWORD(wParam);
        const bool editChanged = id == IDC_PAGE_DELAY && code == EN_CHANGE;
        const bool boxClicked = IsBox(id) && code == BN_CLICKED;
        if (!editChanged && !boxClicked)
            return false;
        OnSettingChanged();
        *result = 0;
        return true;
    }
    case WM_ERASEBKGND:
        EraseBackground(reinterpret_cast<HDC>(wParam));
        *result = 0;
        return true;
    case WM_INITDIALOG:
        InitialiseWindow();
        *result = 0; // no default focus from the dialog manager
        return true;
    case kWmCtlColor:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
        *result = reinterpret_cast<LRESULT>(
            ControlColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)));
        return true;
    default:
        return false;
    }
}

void CAddinPropertyPage::InitialiseWindow()
{
    HWND window = Window();
    // A window made again after an in-place deactivation starts over.
    m_bInitialised = FALSE;
    m_bThemed = FALSE;
    m_hTabBrush.reset();
    m_bThemed = PageThemeActive() ? TRUE : FALSE;

    ShowSettings();
    EnableUnlessEnforced(IDC_PAGE_ENABLED, Setting::Enabled, TRUE);
    EnableUnlessEnforced(IDC_PAGE_CLOSE_WINWORD, Setting::CloseWinWord, TRUE);
    ShowPolicyNote(m_enforced != 0);

    (void)Apply(); // opening the page writes its state back at once and leaves it clean

    char version[64];
    GetModuleVersionString(version, sizeof(version));
    SetDlgItemTextA(window, IDC_PAGE_VERSION, version);

    m_bInitialised = TRUE;
    // Arrives once the window is in place: UI-activates the page inside the container, so that
    // keyboard focus and tabbing work in it.
    PostMessageA(window, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(window), MAKELPARAM(HTCLIENT, WM_LBUTTONDOWN));
}

void CAddinPropertyPage::ShowSettings()
{
    HWND window = Window();
    // Each control shows the value that decides; an enforced one cannot be changed here.
    m_enforced = 0;
    SettingText text;
    for (const BoxSetting& box : kBoxSettings) {
        if (ReadEffectiveSetting(box.setting, text))
            m_enforced |= SettingBit(box.setting);
        // Each box shows what the add-in does with the value: Enabled is on unless it is "0"
        // (a missing or odd value included), the others only at "1". The write-back at opening
        // then keeps an enabled add-in enabled.
        const bool on = box.id == IDC_PAGE_ENABLED ? std::strcmp(text, "0") != 0 : std::strcmp(text, "1") == 0;
        SendDlgItemMessageA(window, box.id, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    // No longer than a setting can be read back: a longer Delay would read as empty, and the
    // next connection would copy the machine's defaults over the user's settings.
    SendDlgItemMessageA(window, IDC_PAGE_DELAY, EM_LIMITTEXT, RuleOf(Setting::Delay).readSize - 1, 0);
    if (ReadEffectiveSetting(Setting::Delay, text))
        m_enforced |= SettingBit(Setting::Delay);
    SetDlgItemTextA(window, IDC_PAGE_DELAY, text); // its EN_CHANGE is ignored: not initialised yet
}

void CAddinPropertyPage::ShowPolicyNote(bool show)
{
    HWND window = Window();
    HWND note = GetDlgItem(window, IDC_PAGE_POLICY_NOTE);
    if (!show) {
        if (note)
            DestroyWindow(note);
        return;
    }
    if (note)
        return;
    RECT rect = kPolicyNoteRect;
    MapDialogRect(window, &rect);
    // A child of the page's window, which destroys it with itself. Without it the page still
    // works; only the explanation is missing.
    std::wstring text;
    try {
        text = LoadUiString(ModuleInstance(), IDS_PAGE_POLICY_NOTE);
    } catch (const std::bad_alloc&) {
        return; // no note: the page works without it
    }
    note = CreateWindowExW(0, L"static", text.c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT, rect.left, rect.top,
                           rect.right - rect.left, rect.bottom - rect.top, window,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_PAGE_POLICY_NOTE)), ModuleInstance(),
                           nullptr);
    if (note)
        SendMessageA(note, WM_SETFONT, static_cast<WPARAM>(SendMessageA(window, WM_GETFONT, 0, 0)), FALSE);
}

// Enforced when the window was made, or by now: either way the user's own value stays as it is,
// and a value shown from a policy is never copied into the user's key.
bool CAddinPropertyPage::IsEnforced(Setting setting) const
{
    if (m_enforced & SettingBit(setting))
        return true;
    SettingText text;
    return ReadPolicySetting(setting, text);
}

void CAddinPropertyPage::EnableUnlessEnforced(int id, Setting setting, BOOL enable)
{
    EnableWindow(GetDlgItem(Window(), id), enable && !(m_enforced & SettingBit(setting)));
}

bool CAddinPropertyPage::IsBoxChecked(int id) const
{
    return SendDlgItemMessageA(Window(), id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void CAddinPropertyPage::OnSettingChanged()
{
    if (!m_bInitialised)
        return;
    EnableUnlessEnforced(IDC_PAGE_DELAY, Setting::Delay, IsBoxChecked(IDC_PAGE_ENABLED));
    if (m_vDirty.get()->boolVal != VARIANT_FALSE)
        return; // Outlook hears of the first change after each apply only
    m_vDirty.get()->boolVal = VARIANT_TRUE;
    if (!m_spSite)
        return; // hosted by a container that is not Outlook
    try {
        Outlook::OnStatusChange(m_spSite.Get());
    } catch (...) {
        const HRESULT hr = CaughtExceptionResult();
        // Outlook then does not hear that the page is dirty, and nothing else would say so;
        // once is enough, the site will not mend.
        if (!m_bStatusChangeFailureLogged) {
            m_bStatusChangeFailureLogged = TRUE;
            LogMessage(0, "CAddinPropertyPage<OnStatusChange> ==> [HRES %08x]", static_cast<unsigned>(hr));
        }
    }
}

void CAddinPropertyPage::StoreSettings()
{
    HWND window = Window();
    if (!window)
        return; // without its window the page holds no state to store
    // Failures are silent. An enforced setting keeps the user's own value as it is.
    for (const BoxSetting& box : kBoxSettings)
        if (!IsEnforced(box.setting))
            (void)WriteSetting(box.setting, IsBoxChecked(box.id) ? "1" : "0", HKEY_CURRENT_USER);
    if (!IsEnforced(Setting::Delay)) {
        const std::vector<char> delay = WindowTextA(GetDlgItem(window, IDC_PAGE_DELAY));
        (void)WriteSetting(Setting::Delay, delay.data(), HKEY_CURRENT_USER);
    }

    const BOOL enabled = IsBoxChecked(IDC_PAGE_ENABLED);
    EnableUnlessEnforced(IDC_PAGE_DELAY, Setting::Delay, enabled);
    EnableUnlessEnforced(IDC_PAGE_SHOW_EXIT_DIALOG, Setting::ShowExitDialog, enabled);
    m_vDirty.get()->boolVal = VARIANT_FALSE;
}

void CAddinPropertyPage::EraseBackground(HDC dc)
{
    HWND window = Window();
    RECT client{};
    GetClientRect(window, &client);
    if (!m_bThemed) {
        // No background of the page's own: the dialog's usual one.
        FillRect(dc, &client, GetSysColorBrush(COLOR_3DFACE));
        return;
    }
    const UxThemeApi& theme = PageUxTheme();
    const UniquePageTheme data(theme.OpenThemeData(window, L"TAB"));
    if (!data)
        return;
    (void)theme.DrawThemeBackground(data.get(), dc, TABP_BODY, 0, &client, nullptr);
    if (!m_hTabBrush) {
        // The same tab body as a brush, for the controls' backgrounds.
        const UniqueDc memory(CreateCompatibleDC(dc));
        const UniqueGdiObject bitmap(
            CreateCompatibleBitmap(dc, client.right - client.left, client.bottom - client.top));
        if (memory && bitmap) {
            const SelectObjectScope selected(memory.get(), bitmap.get());
            (void)theme.DrawThemeBackground(data.get(), memory.get(), TABP_BODY, 0, &client, nullptr);
            m_hTabBrush.reset(CreatePatternBrush(static_cast<HBITMAP>(bitmap.get())));
        }
    }
}

HBRUSH CAddinPropertyPage::ControlColour(HDC dc, HWND control)
{
    if (!m_bThemed)
        return nullptr; // the dialog's default colours
    SetBkMode(dc, TRANSPARENT);
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, Window(), reinterpret_cast<POINT*>(&rect), 2);
    // Lines the tab body's pattern up with the page's background behind the control.
    SetBrushOrgEx(dc, -rect.left, -rect.top, nullptr);
    return static_cast<HBRUSH>(m_hTabBrush.get());
}
