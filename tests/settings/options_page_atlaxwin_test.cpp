// The options page in a container we did not write: Wine's ActiveX host window "AtlAxWin"
// (atl.dll), which creates the control from its window text, a ProgID.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "addin/addin_interfaces.h"
#include "com/module_lock.h"
#include "outlook/outlook.h"
#include "page_ids.h"
#include "settings/addin_property_page.h"
#include "support/page_host.h"
#include "support/test_support.h"

using Microsoft::WRL::ComPtr;

namespace {

// The page's class object, registered for this process while the test runs: the test program
// cannot be an in-process server, so CoCreateInstance finds the class here instead.
class PageClassFactory final : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IClassFactory)
            return E_NOINTERFACE;
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override
    {
        ++created;
        return CAddinPropertyPage::CreateInstance(outer, riid, ppv);
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

    int created = 0;
};

// In HKEY_CLASSES_ROOT: Wine's CLSIDFromProgID does not look in the user's Software\Classes.
const char kProgIdKey[] = "Vantrel.AddinPropertyPage";

class OptionsPageInAtlAxWin : public ::testing::Test {
protected:
    void SetUp() override
    {
        DeleteSettingsKeys();
        SetStringSetting(HKEY_CURRENT_USER, "Enabled", "1");
        SetStringSetting(HKEY_CURRENT_USER, "ShowExitDialog", "0");
        SetStringSetting(HKEY_CURRENT_USER, "CloseWinWord", "1");
        SetStringSetting(HKEY_CURRENT_USER, "Delay", "30");
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        // ProgID -> CLSID (not removed afterwards if a registration of the DLL made it); the
        // class itself is this process's class object.
        HKEY key = nullptr;
        DWORD disposition = 0;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, (std::string(kProgIdKey) + "\\CLSID").c_str(), 0, nullptr, 0,
                                  KEY_WRITE, nullptr, &key, &disposition),
                  ERROR_SUCCESS);
        m_createdProgId = disposition == REG_CREATED_NEW_KEY;
        const char clsid[] = "{C81F4B27-3E95-4A60-8D2C-7B19E0F5A463}";
        RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(clsid), sizeof(clsid));
        RegCloseKey(key);
        ASSERT_EQ(CoRegisterClassObject(CLSID_AddinPropertyPage, &m_factory, CLSCTX_INPROC_SERVER,
                                        REGCLS_MULTIPLEUSE, &m_cookie),
                  S_OK);
        ASSERT_NE(Atl(), nullptr);
    }
    void TearDown() override
    {
        if (m_cookie)
            CoRevokeClassObject(m_cookie);
        if (m_createdProgId)
            RegDeleteTreeA(HKEY_CLASSES_ROOT, kProgIdKey);
        OleUninitialize();
        DeleteSettingsKeys();
    }

    // atl.dll stays loaded for the program's life: the window class it registers points into it.
    static HMODULE Atl()
    {
        static const HMODULE atl = LoadLibraryA("atl.dll");
        return atl;
    }
    template <typename Function>
    static Function AtlFunction(const char* name)
    {
        return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(Atl(), name)));
    }

    PageClassFactory m_factory;
    DWORD m_cookie = 0;
    bool m_createdProgId = false;
};

TEST_F(OptionsPageInAtlAxWin, HostsThePageByProgId)
{
    CLSID found{};
    ASSERT_EQ(CLSIDFromProgID(L"Vantrel.AddinPropertyPage", &found), S_OK);
    ASSERT_TRUE(IsEqualCLSID(found, CLSID_AddinPropertyPage));

    auto AtlAxWinInit = AtlFunction<BOOL(WINAPI*)()>("AtlAxWinInit");
    auto AtlAxGetControl = AtlFunction<HRESULT(WINAPI*)(HWND, IUnknown**)>("AtlAxGetControl");
    ASSERT_NE(AtlAxWinInit, nullptr);
    ASSERT_NE(AtlAxGetControl, nullptr);
    static const BOOL initialised = AtlAxWinInit(); // registers "AtlAxWin"; a second call fails
    ASSERT_TRUE(initialised);

    const LONG locks = ModuleLockCount();
    HWND frame = PageHost::SharedFrame();
    HWND host = CreateWindowExW(0, L"AtlAxWin", L"Vantrel.AddinPropertyPage", WS_CHILD | WS_VISIBLE, 0, 0, 420, 420,
                                frame, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(m_factory.created, 1);
    ComPtr<IUnknown> control;
    ASSERT_EQ(AtlAxGetControl(host, &control), S_OK);
    ComPtr<IOleWindow> oleWindow;
    ASSERT_EQ(control.As(&oleWindow), S_OK);
    HWND page = nullptr;
    ASSERT_EQ(oleWindow->GetWindow(&page), S_OK) << "the container activated the page in place";
    EXPECT_EQ(GetParent(page), host);
    EXPECT_TRUE(IsWindowVisible(page));
    RECT placed{};
    GetWindowRect(page, &placed);
    EXPECT_EQ(placed.right - placed.left, 420) << "sized to the host window";
    EXPECT_EQ(placed.bottom - placed.top, 420);
    // Without ambient properties the page counts as in user mode and UI-activates itself.
    ASSERT_TRUE(PageHost::PumpUntil([page] { return GetFocus() && GetParent(GetFocus()) == page; }));
    EXPECT_EQ(GetFocus(), GetDlgItem(page, IDC_PAGE_ENABLED));

    // The page works as in Outlook, without a PropertyPageSite to tell.
    EXPECT_EQ(IsDlgButtonChecked(page, IDC_PAGE_CLOSE_WINWORD), BST_CHECKED);
    SendDlgItemMessageA(page, IDC_PAGE_CLOSE_WINWORD, BM_CLICK, 0, 0);
    ComPtr<Outlook::PropertyPage> propertyPage;
    ASSERT_EQ(control->QueryInterface(IID_Outlook_PropertyPage, reinterpret_cast<void**>(propertyPage.GetAddressOf())),
              S_OK);
    VARIANT_BOOL dirty = VARIANT_FALSE;
    ASSERT_EQ(propertyPage->get_Dirty(&dirty), S_OK);
    EXPECT_EQ(dirty, VARIANT_TRUE);
    EXPECT_EQ(propertyPage->Apply(), S_OK);
    DWORD type = 0;
    std::string stored;
    ASSERT_TRUE(GetRawSetting(HKEY_CURRENT_USER, "CloseWinWord", &type, &stored));
    EXPECT_EQ(stored, std::string("0", 2));

    propertyPage.Reset();
    oleWindow.Reset();
    control.Reset();
    DestroyWindow(host);
    PageHost::PumpPending();
    EXPECT_FALSE(IsWindow(page));
    EXPECT_EQ(ModuleLockCount(), locks) << "the container released the page";
}

} // namespace
