// The options page as Outlook uses it: hosted in a container under the test display, driven
// with real control messages, read back from the controls and from the registry.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "addin/addin_interfaces.h"
#include "win32/module_instance.h"
#include "com/module_lock.h"
#include "win32/text_convert.h"
#include "fake_outlook/fake_outlook.h"
#include "log/log_file.h"
#include "outlook/outlook.h"
#include "page_ids.h"
#include "settings/addin_property_page.h"
#include "settings/page_theme.h"
#include "settings/settings_store.h"
#include "support/page_host.h"
#include "support/policy_keys.h"
#include "support/test_support.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr int kBoxes[] = {IDC_PAGE_ENABLED, IDC_PAGE_SHOW_EXIT_DIALOG, IDC_PAGE_CLOSE_WINWORD};
const char* const kNames[] = {"Enabled", "ShowExitDialog", "CloseWinWord", "Delay"};

class OptionsPageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DeleteSettingsKeys();
        DeletePolicyKeys();
        m_site = fake::Adopt(new fake::FakePropertyPageSite(std::make_shared<fake::CallLog>()));
    }
    void TearDown() override
    {
        ClosePage();
        OverridePageUxTheme(nullptr);
        LogFile::DestroyInstance();
        DeleteSettingsKeys();
        DeletePolicyKeys();
    }

    // Creates the page, hosts it with a client site that answers PropertyPageSite with
    // pageSite, and waits until the page has UI-activated itself.
    void OpenPage(IDispatch* pageSite)
    {
        ClosePage();
        ASSERT_EQ(CAddinPropertyPage::CreateInstance(nullptr, IID_Outlook_PropertyPage,
                                                     reinterpret_cast<void**>(m_page.ReleaseAndGetAddressOf())),
                  S_OK);
        m_host = std::make_unique<PageHost>(pageSite);
        ASSERT_EQ(m_host->Host(m_page.Get()), S_OK);
        m_window = m_host->ControlWindow();
        ASSERT_NE(m_window, nullptr);
        ASSERT_TRUE(PageHost::PumpUntil([this] { return m_host->CountOf("OnUIActivate") == 1; }));
    }
    void OpenPage() { OpenPage(m_site.Get()); }
    void ClosePage()
    {
        m_host.reset();
        m_page.Reset();
        m_window = nullptr;
    }

    bool Checked(int id) const { return IsDlgButtonChecked(m_window, id) == BST_CHECKED; }
    bool Enabled(int id) const { return IsWindowEnabled(GetDlgItem(m_window, id)) != FALSE; }
    std::string Text(int id) const
    {
        char text[512] = {};
        GetDlgItemTextA(m_window, id, text, sizeof(text));
        return text;
    }
    // A click as the user makes it: the box toggles and tells the page BN_CLICKED.
    void Click(int id) const { SendDlgItemMessageA(m_window, id, BM_CLICK, 0, 0); }
    // Keystrokes into the edit box, as the keyboard delivers them.
    void Type(const char* keys) const
    {
        HWND edit = GetDlgItem(m_window, IDC_PAGE_DELAY);
        SetFocus(edit);
        SendMessageA(edit, EM_SETSEL, 0x7FFFFFFF, 0x7FFFFFFF); // caret at the end
        for (const char* key = keys; *key; ++key)
            SendMessageA(edit, WM_CHAR, static_cast<WPARAM>(*key), 1);
    }
    bool Dirty() const
    {
        VARIANT_BOOL dirty = 123;
        EXPECT_EQ(m_page->get_Dirty(&dirty), S_OK);
        EXPECT_TRUE(dirty == VARIANT_TRUE || dirty == VARIANT_FALSE) << dirty;
        return dirty == VARIANT_TRUE;
    }
    static std::string Stored(const char* name)
    {
        DWORD type = 0;
        std::string data;
        if (!GetRawSetting(HKEY_CURRENT_USER, name, &type, &data))
            return "<missing>";
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ)) << name;
        if (!data.empty() && data.back() == '\0')
            data.pop_back();
        return data;
    }
    static std::vector<std::string> AllStored()
    {
        std::vector<std::string> values;
        for (const char* name : kNames)
            values.push_back(Stored(name));
        return values;
    }
    static void Store(const std::vector<const char*>& values)
    {
        for (size_t i = 0; i < values.size(); ++i)
            if (values[i])
                SetStringSetting(HKEY_CURRENT_USER, kNames[i], values[i]);
    }

    ComPtr<fake::FakePropertyPageSite> m_site;
    ComPtr<Outlook::PropertyPage> m_page;
    std::unique_ptr<PageHost> m_host;
    HWND m_window = nullptr;
};

struct OpeningCase {
    const char* label;
    std::vector<const char*> stored; // Enabled, ShowExitDialog, CloseWinWord, Delay; null: missing
    std::vector<bool> checked;       // 218, 236, 237
    const char* delayText;
    std::vector<std::string> written; // what the opening apply leaves in the registry
};

// Opening the page shows the values as the add-in reads them (Enabled on unless "0", the other
// boxes only for an exact "1", Delay verbatim) and applies at once: every box is written as "1"
// or "0", and the edit box and box 236 follow box 218. Merely opening the page never switches
// off an add-in that is on.
TEST_F(OptionsPageTest, OpeningShowsTheSettingsAndWritesThemBack)
{
    const OpeningCase cases[] = {
        {"1/0/1/30", {"1", "0", "1", "30"}, {true, false, true}, "30", {"1", "0", "1", "30"}},
        {"0/1/1/30", {"0", "1", "1", "30"}, {false, true, true}, "30", {"0", "1", "1", "30"}},
        {"Enabled missing", {nullptr, "1", "1", "30"}, {true, true, true}, "30", {"1", "1", "1", "30"}},
        {"Enabled empty", {"", "1", "0", "30"}, {true, true, false}, "30", {"1", "1", "0", "30"}},
        {"Delay abc", {"1", "1", "0", "abc"}, {true, true, false}, "abc", {"1", "1", "0", "abc"}},
        {"near misses", {"0 ", "true", "01", "007"}, {true, false, false}, "007", {"1", "0", "0", "007"}},
        {"no key at all", {}, {true, false, false}, "", {"1", "0", "0", ""}},
    };
    for (const OpeningCase& c : cases) {
        SCOPED_TRACE(c.label);
        DeleteSettingsKeys();
        Store(c.stored);
        OpenPage();
        for (size_t i = 0; i < 3; ++i)
            EXPECT_EQ(Checked(kBoxes[i]), c.checked[i]) << kBoxes[i];
        EXPECT_EQ(Text(IDC_PAGE_DELAY), c.delayText);
        EXPECT_EQ(AllStored(), c.written);
        EXPECT_EQ(Enabled(IDC_PAGE_DELAY), c.checked[0]);
        EXPECT_EQ(Enabled(IDC_PAGE_SHOW_EXIT_DIALOG), c.checked[0]);
        EXPECT_TRUE(Enabled(IDC_PAGE_CLOSE_WINWORD));
        EXPECT_FALSE(Dirty());
        EXPECT_EQ(m_site->StatusChanges(), 0);
    }
}

struct Enforcement {
    PolicySource source;
    const char* name;
    PolicyType type;
    DWORD number;
    DWORD losing; // the user's policy, with PolicySource::Both
};

struct EnforcedCase {
    const char* label;
    std::vector<const char*> own; // the user's Enabled, ShowExitDialog, CloseWinWord, Delay; null: missing
    std::vector<Enforcement> enforced;
    std::vector<bool> checked;    // 218, 236, 237
    const char* delayText;
    std::vector<bool> live;       // 218, 236, 237, 235
    std::vector<int> clicks;      // made after opening, before Apply
    std::vector<std::string> applied;
};

// An enforced setting shows its enforced value in a disabled control and is never written, not
// by the opening write-back nor by Apply: the user's own value stays as it was, and shows again
// once the policy is gone. The Enabled box still greys Delay and ShowExitDialog as before.
TEST_F(OptionsPageTest, EnforcedSettingsShowGreyedAndKeepTheUsersOwnValues)
{
    const EnforcedCase cases[] = {
        {"Enabled off by the machine policy, user has none",
         {nullptr, "1", "0", "30"},
         {{PolicySource::Machine, "Enabled", PolicyType::Dword, 0, 0}},
         {false, true, false},
         "30",
         {false, false, true, false},
         {IDC_PAGE_CLOSE_WINWORD},
         {"<missing>", "1", "1", "30"}},
        {"Enabled on by the user policy as 2, the user's own is off",
         {"0", "1", "1", "30"},
         {{PolicySource::User, "Enabled", PolicyType::Dword, 2, 0}},
         {true, true, true},
         "30",
         {false, true, true, true},
         {},
         {"0", "1", "1", "30"}},
        {"Delay and CloseWinWord by the user policy as text",
         {"1", "0", "0", "30"},
         {{PolicySource::User, "Delay", PolicyType::String, 45, 0},
          {PolicySource::User, "CloseWinWord", PolicyType::String, 1, 0}},
         {true, false, true},
         "45",
         {true, true, false, false},
         {IDC_PAGE_SHOW_EXIT_DIALOG},
         {"1", "1", "0", "30"}},
        {"Enabled and Delay by both policies: the machine's win",
         {"0", "0", "1", "30"},
         {{PolicySource::Both, "Enabled", PolicyType::Dword, 1, 0},
          {PolicySource::Both, "Delay", PolicyType::Dword, 10, 20}},
         {true, false, true},
         "10",
         {false, true, true, false},
         {IDC_PAGE_SHOW_EXIT_DIALOG, IDC_PAGE_CLOSE_WINWORD},
         {"0", "1", "0", "30"}},
    };
    const std::vector<std::string> ownBefore[] = {
        {"<missing>", "1", "0", "30"}, {"0", "1", "1", "30"}, {"1", "0", "0", "30"}, {"0", "0", "1", "30"}};
    constexpr int kControls[] = {IDC_PAGE_ENABLED, IDC_PAGE_SHOW_EXIT_DIALOG, IDC_PAGE_CLOSE_WINWORD, IDC_PAGE_DELAY};
    for (size_t n = 0; n < std::size(cases); ++n) {
        const EnforcedCase& c = cases[n];
        SCOPED_TRACE(c.label);
        DeleteSettingsKeys();
        DeletePolicyKeys();
        Store(c.own);
        for (const Enforcement& e : c.enforced)
            EnforcePolicy(e.source, e.name, e.type, e.number, e.losing);
        OpenPage();

        for (size_t i = 0; i < 3; ++i)
            EXPECT_EQ(Checked(kBoxes[i]), c.checked[i]) << kBoxes[i];
        EXPECT_EQ(Text(IDC_PAGE_DELAY), c.delayText);
        for (size_t i = 0; i < 4; ++i)
            EXPECT_EQ(Enabled(kControls[i]), c.live[i]) << kControls[i];
        HWND note = GetDlgItem(m_window, IDC_PAGE_POLICY_NOTE);
        ASSERT_NE(note, nullptr) << "the page says that settings are set by the administrator";
        EXPECT_TRUE(IsWindowVisible(note));
        EXPECT_NE(Text(IDC_PAGE_POLICY_NOTE).find("administrator"), std::string::npos);
        EXPECT_EQ(AllStored(), ownBefore[n]) << "the opening write-back leaves enforced settings alone";

        for (int id : c.clicks)
            Click(id);
        EXPECT_EQ(m_page->Apply(), S_OK);
        EXPECT_EQ(AllStored(), c.applied);
        for (size_t i = 0; i < 4; ++i)
            EXPECT_EQ(Enabled(kControls[i]), c.live[i]) << kControls[i] << " after Apply";

        // The policy removed: the page shows the user's own values again, every control live
        // as the Enabled box allows, and no word of an administrator.
        ClosePage();
        DeletePolicyKeys();
        OpenPage();
        const bool ownEnabled = c.applied[0] != "0";
        for (size_t i = 0; i < 3; ++i)
            EXPECT_EQ(Checked(kBoxes[i]), i == 0 ? ownEnabled : c.applied[i] == "1") << kBoxes[i] << " without the policy";
        EXPECT_EQ(Text(IDC_PAGE_DELAY), c.applied[3]);
        EXPECT_TRUE(Enabled(IDC_PAGE_ENABLED));
        EXPECT_TRUE(Enabled(IDC_PAGE_CLOSE_WINWORD));
        EXPECT_EQ(Enabled(IDC_PAGE_DELAY), ownEnabled);
        EXPECT_EQ(GetDlgItem(m_window, IDC_PAGE_POLICY_NOTE), nullptr);
        ClosePage();
    }
    EXPECT_FALSE(PolicyKeyExists(HKEY_LOCAL_MACHINE));
    EXPECT_FALSE(PolicyKeyExists(HKEY_CURRENT_USER));
}

TEST_F(OptionsPageTest, OutlookHearsTheFirstChangeOfEachApplyCycle)
{
    Store({"1", "0", "1", "30"});
    OpenPage();

    Click(IDC_PAGE_CLOSE_WINWORD);
    EXPECT_TRUE(Dirty());
    EXPECT_EQ(m_site->StatusChanges(), 1);
    Click(IDC_PAGE_SHOW_EXIT_DIALOG);
    Type("5");
    EXPECT_EQ(m_site->StatusChanges(), 1);
    EXPECT_EQ(AllStored(), (std::vector<std::string>{"1", "0", "1", "30"})) << "nothing is written before Apply";

    EXPECT_EQ(m_page->Apply(), S_OK);
    EXPECT_FALSE(Dirty());
    EXPECT_EQ(AllStored(), (std::vector<std::string>{"1", "1", "0", "305"}));

    Type("1");
    EXPECT_TRUE(Dirty());
    EXPECT_EQ(m_site->StatusChanges(), 2);
}

// Box 218 enables the edit box at once; box 236 follows it only when the page is applied.
// Any process on the desktop can send the page WM_INITDIALOG, naming the page's own object:
// only the one of the window's creation initialises it, so the user's unsaved change stays.
TEST_F(OptionsPageTest, ASecondInitDialogLeavesThePageAsItIs)
{
    OpenPage();
    const bool before = Checked(IDC_PAGE_CLOSE_WINWORD);
    Click(IDC_PAGE_CLOSE_WINWORD);
    ASSERT_NE(Checked(IDC_PAGE_CLOSE_WINWORD), before);
    SendMessageW(m_window, WM_INITDIALOG, 0, GetWindowLongPtrW(m_window, DWLP_USER));
    EXPECT_NE(Checked(IDC_PAGE_CLOSE_WINWORD), before) << "the page was initialised again";
    EXPECT_TRUE(Dirty());
}

TEST_F(OptionsPageTest, EnableBoxControlsTheOtherControls)
{
    Store({"1", "0", "1", "30"});
    OpenPage();

    Click(IDC_PAGE_ENABLED);
    EXPECT_FALSE(Enabled(IDC_PAGE_DELAY));
    EXPECT_TRUE(Enabled(IDC_PAGE_SHOW_EXIT_DIALOG));
    Click(IDC_PAGE_ENABLED);
    EXPECT_TRUE(Enabled(IDC_PAGE_DELAY));

    Click(IDC_PAGE_ENABLED);
    EXPECT_EQ(m_page->Apply(), S_OK);
    EXPECT_FALSE(Enabled(IDC_PAGE_DELAY));
    EXPECT_FALSE(Enabled(IDC_PAGE_SHOW_EXIT_DIALOG));
    EXPECT_TRUE(Enabled(IDC_PAGE_CLOSE_WINWORD));
    EXPECT_EQ(Stored("Enabled"), "0");

    Click(IDC_PAGE_ENABLED);
    EXPECT_TRUE(Enabled(IDC_PAGE_DELAY));
    EXPECT_FALSE(Enabled(IDC_PAGE_SHOW_EXIT_DIALOG));
    EXPECT_EQ(m_page->Apply(), S_OK);
    EXPECT_TRUE(Enabled(IDC_PAGE_SHOW_EXIT_DIALOG));
}

TEST_F(OptionsPageTest, EditBoxTakesDigitsAndIsStoredVerbatim)
{
    Store({"1", "1", "1", "30"});
    OpenPage();

    SetDlgItemTextA(m_window, IDC_PAGE_DELAY, "");
    EXPECT_TRUE(Dirty()) << "a cleared box is a change";
    Type("0x9");
    EXPECT_EQ(Text(IDC_PAGE_DELAY), "09") << "the box takes digits only";
    EXPECT_EQ(m_page->Apply(), S_OK);
    EXPECT_EQ(Stored("Delay"), "09");

    SetDlgItemTextA(m_window, IDC_PAGE_DELAY, "");
    EXPECT_EQ(m_page->Apply(), S_OK);
    EXPECT_EQ(Stored("Delay"), "") << "an empty box stores an empty Delay";
    EXPECT_EQ(m_site->StatusChanges(), 2);
}

TEST_F(OptionsPageTest, VersionLabelShowsTheProductVersion)
{
    OpenPage();
    const std::string expected = std::to_string(VANTREL_VERSION_MAJOR) + "." + std::to_string(VANTREL_VERSION_MINOR) +
                                 "." + std::to_string(VANTREL_VERSION_PATCH) + "." +
                                 std::to_string(VANTREL_VERSION_BUILD);
    EXPECT_EQ(Text(IDC_PAGE_VERSION), expected);
}

BOOL WINAPI NotThemed()
{
    return FALSE;
}

// With themes the controls are drawn on the tab body's pattern, lined up with the page.
TEST_F(OptionsPageTest, ThemedControlsUseTheTabBodyBrush)
{
    ASSERT_TRUE(PageThemeActive()) << "a new Wine prefix reports its built-in theme as active";
    OpenPage();
    RedrawWindow(m_window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ERASENOW | RDW_UPDATENOW);

    for (int id : {IDC_PAGE_VERSION, IDC_PAGE_CLOSE_WINWORD}) {
        SCOPED_TRACE(id);
        HWND control = GetDlgItem(m_window, id);
        HDC dc = CreateCompatibleDC(nullptr);
        const UINT message = id == IDC_PAGE_VERSION ? WM_CTLCOLORSTATIC : WM_CTLCOLORBTN;
        HBRUSH brush = reinterpret_cast<HBRUSH>(
            SendMessageA(m_window, message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control)));
        LOGBRUSH info{};
        ASSERT_EQ(GetObjectA(brush, sizeof(info), &info), static_cast<int>(sizeof(info)));
        EXPECT_EQ(info.lbStyle, static_cast<UINT>(BS_PATTERN));
        EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
        RECT rect{};
        GetWindowRect(control, &rect);
        MapWindowPoints(nullptr, m_window, reinterpret_cast<POINT*>(&rect), 2);
        POINT origin{};
        GetBrushOrgEx(dc, &origin);
        EXPECT_EQ(origin.x, -rect.left);
        EXPECT_EQ(origin.y, -rect.top);
        DeleteDC(dc);
    }
}

// Without themes, or without UxTheme, the page leaves the controls' colours to the dialog.
TEST_F(OptionsPageTest, UnthemedControlsKeepTheDialogColours)
{
    UxThemeApi themesOff = PageUxTheme();
    themesOff.IsAppThemed = &NotThemed;
    const UxThemeApi missing{};
    const struct {
        const char* label;
        const UxThemeApi* api;
    } cases[] = {{"themes off", &themesOff}, {"no UxTheme", &missing}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        OverridePageUxTheme(c.api);
        OpenPage();
        RedrawWindow(m_window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ERASENOW | RDW_UPDATENOW);
        HDC dc = CreateCompatibleDC(nullptr);
        HWND label = GetDlgItem(m_window, IDC_PAGE_VERSION);
        HBRUSH brush = reinterpret_cast<HBRUSH>(
            SendMessageA(m_window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(label)));
        LOGBRUSH info{};
        if (brush && GetObjectA(brush, sizeof(info), &info) == static_cast<int>(sizeof(info))) {
            EXPECT_NE(info.lbStyle, static_cast<UINT>(BS_PATTERN));
        }
        EXPECT_EQ(GetBkMode(dc), OPAQUE);
        POINT origin{};
        GetBrushOrgEx(dc, &origin);
        EXPECT_EQ(origin.x, 0);
        EXPECT_EQ(origin.y, 0);
        DeleteDC(dc);
        ClosePage();
    }
}

// Hosted by a container without PropertyPageSite, or by an Outlook whose OnStatusChange fails,
// the page still turns dirty and keeps working. A failing OnStatusChange means that Outlook
// never hears of the change: the log says so, once.
TEST_F(OptionsPageTest, StatusChangeWithoutAWorkingSite)
{
    LogFile::DestroyInstance();
    ASSERT_NE(OpenAddinLog(), nullptr);
    Store({"1", "0", "1", "30"});
    OpenPage(nullptr);
    Click(IDC_PAGE_CLOSE_WINWORD);
    EXPECT_TRUE(Dirty());
    EXPECT_EQ(m_page->Apply(), S_OK);
    EXPECT_EQ(Stored("CloseWinWord"), "0");
    EXPECT_TRUE(AddinLogMessages().empty()) << "a container without PropertyPageSite is no failure";

    m_site->FailCall("OnStatusChange", E_FAIL);
    OpenPage();
    Click(IDC_PAGE_CLOSE_WINWORD);
    EXPECT_TRUE(Dirty());
    EXPECT_EQ(m_page->Apply(), S_OK);
    Click(IDC_PAGE_SHOW_EXIT_DIALOG);
    EXPECT_TRUE(Dirty());
    EXPECT_EQ(m_site->Log().Names(), (std::vector<std::string>{"OnStatusChange", "OnStatusChange"}));
    EXPECT_EQ(AddinLogMessages(),
              std::vector<std::string>{"CAddinPropertyPage<OnStatusChange> ==> [HRES 80004005]"});
}

// A Delay longer than a setting can hold would be stored, read back as empty and so make the
// next connection copy the machine's defaults over the user's Enabled and ShowExitDialog.
TEST_F(OptionsPageTest, DelayBoxTakesNoMoreThanASettingHolds)
{
    SetStringSetting(HKEY_LOCAL_MACHINE, "Enabled", "1");
    SetStringSetting(HKEY_LOCAL_MACHINE, "ShowExitDialog", "0");
    SetStringSetting(HKEY_LOCAL_MACHINE, "Delay", "10");
    Store({"0", "1", "0", "30"});
    OpenPage();

    SetDlgItemTextA(m_window, IDC_PAGE_DELAY, "");
    Type(std::string(300, '9').c_str());
    const std::string longest(RuleOf(Setting::Delay).readSize - 1, '9');
    EXPECT_EQ(Text(IDC_PAGE_DELAY), longest);
    EXPECT_EQ(m_page->Apply(), S_OK);
    EXPECT_EQ(Stored("Delay"), longest);

    SeedUserSettings(); // what the next connection does
    EXPECT_EQ(AllStored(), (std::vector<std::string>{"0", "1", "0", longest}));
}

TEST_F(OptionsPageTest, PropertyPageCallsBeforeTheWindowExists)
{
    Store({"1", "1", "1", "30"});
    ASSERT_EQ(CAddinPropertyPage::CreateInstance(nullptr, IID_Outlook_PropertyPage,
                                                 reinterpret_cast<void**>(m_page.GetAddressOf())),
              S_OK);
    BSTR helpFile = reinterpret_cast<BSTR>(static_cast<uintptr_t>(0x1234));
    long helpContext = 77;
    EXPECT_EQ(m_page->GetPageInfo(&helpFile, &helpContext), E_NOTIMPL);
    EXPECT_EQ(helpFile, reinterpret_cast<BSTR>(static_cast<uintptr_t>(0x1234)));
    EXPECT_EQ(helpContext, 77);
    EXPECT_EQ(m_page->GetPageInfo(nullptr, &helpContext), E_POINTER);
    EXPECT_EQ(m_page->GetPageInfo(&helpFile, nullptr), E_POINTER);
    EXPECT_EQ(m_page->get_Dirty(nullptr), E_POINTER);
    EXPECT_FALSE(Dirty());

    // Outlook calls through the function table: slots 7, 8 and 9 after IDispatch's seven.
    void** slots = *reinterpret_cast<void***>(m_page.Get());
    using PageInfoSlot = HRESULT(STDMETHODCALLTYPE*)(void*, BSTR*, long*);
    using DirtySlot = HRESULT(STDMETHODCALLTYPE*)(void*, VARIANT_BOOL*);
    using ApplySlot = HRESULT(STDMETHODCALLTYPE*)(void*);
    EXPECT_EQ(reinterpret_cast<PageInfoSlot>(slots[7])(m_page.Get(), &helpFile, &helpContext), E_NOTIMPL);
    VARIANT_BOOL dirty = 123;
    EXPECT_EQ(reinterpret_cast<DirtySlot>(slots[8])(m_page.Get(), &dirty), S_OK);
    EXPECT_EQ(dirty, VARIANT_FALSE);
    EXPECT_EQ(reinterpret_cast<ApplySlot>(slots[9])(m_page.Get()), S_OK);
    EXPECT_EQ(m_page->Apply(), S_OK);
    EXPECT_EQ(AllStored(), (std::vector<std::string>{"1", "1", "1", "30"})) << "no window, nothing to store";
}

TEST(OptionsPageObject, AnswersItsInterfacesAndHoldsTheModule)
{
    const LONG locks = ModuleLockCount();
    ComPtr<IUnknown> page;
    ASSERT_EQ(CAddinPropertyPage::CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(page.GetAddressOf())),
              S_OK);
    EXPECT_EQ(ModuleLockCount(), locks + 1);

    const IID answered[] = {IID_IAddinPropertyPage,
                            IID_IDispatch,
                            IID_Outlook_PropertyPage,
                            IID_IViewObjectEx,
                            IID_IViewObject2,
                            IID_IViewObject,
                            IID_IOleInPlaceObjectWindowless,
                            IID_IOleInPlaceObject,
                            IID_IOleWindow,
                            IID_IOleInPlaceActiveObject,
                            IID_IOleControl,
                            IID_IOleObject,
                            IID_IPersistStreamInit,
                            IID_IPersist};
    for (const IID& iid : answered) {
        ComPtr<IUnknown> answer;
        ASSERT_EQ(page->QueryInterface(iid, reinterpret_cast<void**>(answer.GetAddressOf())), S_OK);
        ComPtr<IUnknown> identity;
        ASSERT_EQ(answer->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(identity.GetAddressOf())), S_OK);
        EXPECT_EQ(identity.Get(), page.Get());
    }
    ComPtr<IUnknown> dispatch;
    ComPtr<IUnknown> own;
    page->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(dispatch.GetAddressOf()));
    page->QueryInterface(IID_IAddinPropertyPage, reinterpret_cast<void**>(own.GetAddressOf()));
    EXPECT_EQ(dispatch.Get(), own.Get()) << "IDispatch is that of IAddinPropertyPage";
    dispatch.Reset();
    own.Reset();

    for (const IID& iid : {IID_IPersistPropertyBag, IID_IConnectionPointContainer, IID_IProvideClassInfo,
                           IID_IQuickActivate}) {
        ComPtr<IUnknown> none;
        EXPECT_EQ(page->QueryInterface(iid, reinterpret_cast<void**>(none.GetAddressOf())), E_NOINTERFACE);
        EXPECT_EQ(none.Get(), nullptr);
    }

    void* unused = reinterpret_cast<void*>(1);
    EXPECT_EQ(CAddinPropertyPage::CreateInstance(page.Get(), IID_IUnknown, &unused), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(unused, nullptr);
    EXPECT_EQ(CAddinPropertyPage::CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(CAddinPropertyPage::CreateInstance(nullptr, IID_IClassFactory, &unused), E_NOINTERFACE);
    EXPECT_EQ(ModuleLockCount(), locks + 1);

    page.Reset();
    EXPECT_EQ(ModuleLockCount(), locks);
}

} // namespace
