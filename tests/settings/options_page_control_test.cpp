// The options page as an ActiveX control: its dialog template, its extent and persistence,
// and the conversation with a container from activation to teardown.
#include <gtest/gtest.h>
#include <olectl.h>

#include <memory>
#include <string>
#include <vector>

#include "addin/addin_interfaces.h"
#include "win32/module_instance.h"
#include "page_ids.h"
#include "settings/addin_property_page.h"
#include "string_ids.h"
#include "support/page_host.h"
#include "support/test_support.h"

using Microsoft::WRL::ComPtr;

namespace {

// --- dialog template 104, read back from the resource as the dialog manager sees it ---

struct TemplateItem {
    int id;
    std::string className;
    std::string text;
    DWORD style;
    DWORD exStyle;
    DWORD helpId;
    RECT rect; // x, y, width, height
};

struct DialogTemplate {
    DWORD style = 0;
    DWORD exStyle = 0;
    bool menu = false;
    bool windowClass = false;
    std::string caption;
    SIZE size{};
    WORD pointSize = 0;
    WORD weight = 0;
    BYTE italic = 0;
    BYTE charset = 0;
    std::string face;
    std::vector<TemplateItem> items;
};

std::string Narrow(const WORD*& p)
{
    std::string text;
    while (*p)
        text += static_cast<char>(*p++);
    ++p;
    return text;
}

// A menu or class field: empty, an ordinal or a string. Ordinals of the predefined control
// classes are given their names.
std::string NameOrOrdinal(const WORD*& p, bool* present = nullptr)
{
    if (present)
        *present = *p != 0;
    if (*p == 0) {
        ++p;
        return std::string();
    }
    if (*p == 0xFFFF) {
        const WORD ordinal = p[1];
        p += 2;
        switch (ordinal) {
        case 0x80: return "button";
        case 0x81: return "edit";
        case 0x82: return "static";
        default: return "#" + std::to_string(ordinal);
        }
    }
    return Narrow(p);
}

std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

const WORD* AlignToDword(const WORD* p, const BYTE* base)
{
    const size_t offset = reinterpret_cast<const BYTE*>(p) - base;
    return reinterpret_cast<const WORD*>(base + ((offset + 3) & ~static_cast<size_t>(3)));
}

bool ReadTemplate(LANGID language, DialogTemplate* out)
{
    HRSRC found = FindResourceExA(ModuleInstance(), MAKEINTRESOURCEA(5), MAKEINTRESOURCEA(IDD_ADDINPROPERTYPAGE),
                                  language);
    if (!found)
        return false;
    const BYTE* base = static_cast<const BYTE*>(LockResource(LoadResource(ModuleInstance(), found)));
    const auto word = [base](size_t offset) { return *reinterpret_cast<const WORD*>(base + offset); };
    const auto dword = [base](size_t offset) { return *reinterpret_cast<const DWORD*>(base + offset); };
    if (word(0) != 1 || word(2) != 0xFFFF)
        return false; // not a DIALOGEX
    out->exStyle = dword(8);
    out->style = dword(12);
    const WORD count = word(16);
    out->size = SIZE{static_cast<short>(word(22)), static_cast<short>(word(24))};
    const WORD* p = reinterpret_cast<const WORD*>(base + 26);
    NameOrOrdinal(p, &out->menu);
    NameOrOrdinal(p, &out->windowClass);
    out->caption = Narrow(p);
    out->pointSize = *p++;
    out->weight = *p++;
    out->italic = LOBYTE(*p);
    out->charset = HIBYTE(*p);
    ++p;
    out->face = Narrow(p);
    for (WORD i = 0; i < count; ++i) {
        p = AlignToDword(p, base);
        const BYTE* item = reinterpret_cast<const BYTE*>(p);
        TemplateItem entry{};
        entry.helpId = *reinterpret_cast<const DWORD*>(item);
        entry.exStyle = *reinterpret_cast<const DWORD*>(item + 4);
        entry.style = *reinterpret_cast<const DWORD*>(item + 8);
        const short* numbers = reinterpret_cast<const short*>(item + 12);
        entry.rect = RECT{numbers[0], numbers[1], numbers[2], numbers[3]};
        entry.id = static_cast<int>(*reinterpret_cast<const LONG*>(item + 20));
        p = reinterpret_cast<const WORD*>(item + 24);
        entry.className = Lower(NameOrOrdinal(p));
        entry.text = NameOrOrdinal(p);
        const WORD extra = *p++;
        p = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(p) + extra);
        out->items.push_back(entry);
    }
    return true;
}

TEST(OptionsPageTemplate, IsAsTabled)
{
    DialogTemplate dialog;
    ASSERT_TRUE(ReadTemplate(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), &dialog)) << "DIALOGEX 104, language 1033";
    EXPECT_EQ(dialog.style, 0x40000040u);
    EXPECT_EQ(dialog.exStyle, 0x110000u);
    EXPECT_FALSE(dialog.menu);
    EXPECT_FALSE(dialog.windowClass);
    EXPECT_EQ(dialog.caption, "");
    EXPECT_EQ(dialog.size.cx, 273);
    EXPECT_EQ(dialog.size.cy, 258);
    EXPECT_EQ(dialog.pointSize, 8);
    EXPECT_EQ(dialog.weight, 0);
    EXPECT_EQ(dialog.italic, 0);
    EXPECT_EQ(dialog.charset, 1);
    EXPECT_EQ(dialog.face, "MS Sans Serif");

    const TemplateItem expected[] = {
        {218, "button", "Enable Vantrel", 0x50010003, 0, 0, {16, 20, 187, 8}},
        {236, "button", "Show Shutdown Progress Dialog", 0x50010003, 0, 0, {16, 33, 187, 8}},
        {237, "button", "Close winword.exe background process on exit", 0x50010003, 0, 0, {16, 47, 187, 8}},
        {235, "edit", "", 0x50812080, 0, 0, {199, 58, 23, 13}},
        {-1, "static", "Shutdown Preferences", 0x5002000B, 0, 0, {7, 7, 74, 9}},
        {-1, "static", "", 0x50000010, 0, 0, {83, 10, 180, 1}},
        {210, "static", "Static", 0x5002000B, 0, 0, {73, 87, 53, 8}},
        {-1, "static", "", 0x50000010, 0, 0, {72, 79, 187, 1}},
        {-1, "static", "Product Information", 0x5002000B, 0, 0, {7, 75, 63, 9}},
        {-1, "static", "Vantrel v", 0x50020000, 0, 0, {14, 87, 60, 8}},
        {-1, "static", "Maximum time to wait for Outlook to shut down (seconds):", 0x50020000, 0, 0, {15, 60, 182, 9}},
    };
    ASSERT_EQ(dialog.items.size(), sizeof(expected) / sizeof(expected[0]));
    for (size_t i = 0; i < dialog.items.size(); ++i) {
        SCOPED_TRACE("control " + std::to_string(i));
        const TemplateItem& got = dialog.items[i];
        EXPECT_EQ(got.id, expected[i].id);
        EXPECT_EQ(got.className, expected[i].className);
        EXPECT_EQ(got.text, expected[i].text);
        EXPECT_EQ(got.style, expected[i].style);
        EXPECT_EQ(got.exStyle, 0u);
        EXPECT_EQ(got.helpId, 0u);
        EXPECT_EQ(got.rect.left, expected[i].rect.left);
        EXPECT_EQ(got.rect.top, expected[i].rect.top);
        EXPECT_EQ(got.rect.right, expected[i].rect.right);
        EXPECT_EQ(got.rect.bottom, expected[i].rect.bottom);
    }

    char title[1024] = {};
    LoadStringA(ModuleInstance(), IDS_PAGE_TITLE, title, sizeof(title));
    EXPECT_STREQ(title, "Shutdown");
}

// --- the control in a container ---

class OptionsPageControlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DeleteSettingsKeys();
        // Every control enabled, so that all four are tab stops.
        for (const char* name : {"Enabled", "ShowExitDialog", "CloseWinWord"})
            SetStringSetting(HKEY_CURRENT_USER, name, "1");
        SetStringSetting(HKEY_CURRENT_USER, "Delay", "30");
    }
    void TearDown() override
    {
        m_host.reset();
        m_object.Reset();
        DeleteSettingsKeys();
    }

    ComPtr<IOleObject> NewPage()
    {
        ComPtr<IOleObject> object;
        EXPECT_EQ(CAddinPropertyPage::CreateInstance(nullptr, IID_IOleObject,
                                                     reinterpret_cast<void**>(object.GetAddressOf())),
                  S_OK);
        return object;
    }
    // Hosts a new page with verb; returns DoVerb's result.
    HRESULT HostPage(LONG verb = OLEIVERB_INPLACEACTIVATE, bool userMode = true)
    {
        m_object = NewPage();
        m_host = std::make_unique<PageHost>();
        m_host->SetUserMode(userMode);
        const HRESULT hr = m_host->Host(m_object.Get(), verb);
        m_window = m_host->ControlWindow();
        return hr;
    }
    bool WaitForUIActivation()
    {
        return PageHost::PumpUntil([this] { return m_host->CountOf("OnUIActivate") > 0; });
    }
    HWND Control(int id) const { return GetDlgItem(m_window, id); }

    ComPtr<IOleObject> m_object;
    std::unique_ptr<PageHost> m_host;
    HWND m_window = nullptr;
};

TEST_F(OptionsPageControlTest, ExtentIsTheTemplateSizeInHimetric)
{
    ComPtr<IOleObject> page = NewPage();
    SIZEL extent{};
    ASSERT_EQ(page->GetExtent(DVASPECT_CONTENT, &extent), S_OK);
    EXPECT_EQ(page->GetExtent(DVASPECT_ICON, &extent), DV_E_DVASPECT);
    DWORD misc = 0;
    ASSERT_EQ(page->GetMiscStatus(DVASPECT_CONTENT, &misc), S_OK);
    EXPECT_EQ(misc, CAddinPropertyPage::kMiscStatus); // its value is checked where registration writes it

    ComPtr<IViewObjectEx> view;
    ASSERT_EQ(page.As(&view), S_OK);
    DVEXTENTINFO info{sizeof(info), DVEXTENT_CONTENT, {0, 0}};
    SIZEL natural{};
    ASSERT_EQ(view->GetNaturalExtent(DVASPECT_CONTENT, -1, nullptr, nullptr, &info, &natural), S_OK);
    EXPECT_EQ(natural.cx, extent.cx);
    EXPECT_EQ(natural.cy, extent.cy);

    // The dialog manager's own measure of the template, in the window it made from it.
    ASSERT_EQ(HostPage(), S_OK);
    RECT dialogUnits{0, 0, 273, 258};
    ASSERT_TRUE(MapDialogRect(m_window, &dialogUnits));
    const SIZE pixels = HimetricToPixels(extent);
    EXPECT_NEAR(pixels.cx, dialogUnits.right, 1);
    EXPECT_NEAR(pixels.cy, dialogUnits.bottom, 1);
    RECT client{};
    GetClientRect(m_window, &client);
    EXPECT_EQ(client.right, pixels.cx);
    EXPECT_EQ(client.bottom, pixels.cy);
}

TEST_F(OptionsPageControlTest, PersistsTheExtentOnly)
{
    ComPtr<IPersistStreamInit> saved;
    ASSERT_EQ(NewPage().As(&saved), S_OK);
    ComPtr<IOleObject> savedObject;
    ASSERT_EQ(saved.As(&savedObject), S_OK);
    SIZEL natural{};
    savedObject->GetExtent(DVASPECT_CONTENT, &natural);
    EXPECT_EQ(saved->IsDirty(), S_FALSE);
    SIZEL size{5000, 4000};
    ASSERT_EQ(savedObject->SetExtent(DVASPECT_CONTENT, &size), S_OK);
    EXPECT_EQ(saved->IsDirty(), S_OK);

    ComPtr<IStream> stream;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
    ASSERT_EQ(saved->Save(stream.Get(), TRUE), S_OK);
    EXPECT_EQ(saved->IsDirty(), S_FALSE);
    STATSTG stat{};
    ASSERT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
    ULARGE_INTEGER most{};
    ASSERT_EQ(saved->GetSizeMax(&most), S_OK);
    EXPECT_EQ(stat.cbSize.QuadPart, most.QuadPart);

    ComPtr<IPersistStreamInit> loaded;
    ASSERT_EQ(NewPage().As(&loaded), S_OK);
    ComPtr<IOleObject> loadedObject;
    ASSERT_EQ(loaded.As(&loadedObject), S_OK);
    LARGE_INTEGER start{};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    ASSERT_EQ(loaded->Load(stream.Get()), S_OK);
    SIZEL got{};
    loadedObject->GetExtent(DVASPECT_CONTENT, &got);
    EXPECT_EQ(got.cx, 5000);
    EXPECT_EQ(got.cy, 4000);

    // A stream cut short changes nothing; InitNew goes back to the natural extent.
    ULARGE_INTEGER shorter{};
    shorter.QuadPart = most.QuadPart - 1;
    stream->SetSize(shorter);
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    EXPECT_TRUE(FAILED(loaded->Load(stream.Get())));
    loadedObject->GetExtent(DVASPECT_CONTENT, &got);
    EXPECT_EQ(got.cx, 5000);
    ASSERT_EQ(loaded->InitNew(), S_OK);
    loadedObject->GetExtent(DVASPECT_CONTENT, &got);
    EXPECT_EQ(got.cx, natural.cx);
    EXPECT_EQ(got.cy, natural.cy);
    CLSID clsid{};
    ASSERT_EQ(loaded->GetClassID(&clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_AddinPropertyPage));
}

TEST_F(OptionsPageControlTest, ContainerConversationFromActivationToClose)
{
    ASSERT_EQ(HostPage(), S_OK);
    EXPECT_EQ(m_host->Calls(),
              (std::vector<std::string>{"CanInPlaceActivate", "OnInPlaceActivate", "GetWindowContext"}));
    ASSERT_NE(m_window, nullptr);
    EXPECT_EQ(GetParent(m_window), m_host->Frame());
    EXPECT_TRUE(IsWindowVisible(m_window));

    // The page's own posted WM_MOUSEACTIVATE UI-activates it; focus goes to its first control.
    ASSERT_TRUE(WaitForUIActivation());
    EXPECT_EQ(m_host->Calls(), (std::vector<std::string>{"CanInPlaceActivate", "OnInPlaceActivate",
                                                         "GetWindowContext", "OnUIActivate", "SetActiveObject"}));
    EXPECT_NE(m_host->ActiveObject(), nullptr);
    EXPECT_EQ(GetFocus(), Control(IDC_PAGE_ENABLED));

    // Moved by the container.
    ComPtr<IOleInPlaceObject> inPlace;
    ASSERT_EQ(m_object.As(&inPlace), S_OK);
    const RECT moved{10, 20, 310, 220};
    ASSERT_EQ(inPlace->SetObjectRects(&moved, &moved), S_OK);
    RECT now{};
    GetWindowRect(m_window, &now);
    MapWindowPoints(nullptr, m_host->Frame(), reinterpret_cast<POINT*>(&now), 2);
    EXPECT_EQ(now.left, 10);
    EXPECT_EQ(now.top, 20);
    EXPECT_EQ(now.right, 310);
    EXPECT_EQ(now.bottom, 220);

    // Torn down: UI and in-place deactivation are reported, the window goes.
    m_host->ClearCalls();
    m_host->Close();
    EXPECT_EQ(m_host->Calls(),
              (std::vector<std::string>{"SetActiveObject(null)", "OnUIDeactivate", "OnInPlaceDeactivate"}));
    EXPECT_FALSE(IsWindow(m_window));
}

// The container's advise sink is enumerated while it is advised; with none, EnumAdvise fails
// as the platform documents instead of answering S_OK without an enumerator.
TEST_F(OptionsPageControlTest, EnumAdviseListsTheSinkOrFails)
{
    ComPtr<IOleObject> page = NewPage();
    IEnumSTATDATA* connections = reinterpret_cast<IEnumSTATDATA*>(1);
    EXPECT_EQ(page->EnumAdvise(&connections), E_FAIL);
    EXPECT_EQ(connections, nullptr);
    EXPECT_EQ(page->EnumAdvise(nullptr), E_POINTER);

    m_object = page;
    m_host = std::make_unique<PageHost>(nullptr, kSiteAdvised);
    ASSERT_EQ(m_host->Host(m_object.Get()), S_OK);
    ComPtr<IEnumSTATDATA> advised;
    ASSERT_EQ(m_object->EnumAdvise(&advised), S_OK);
    ASSERT_NE(advised, nullptr);
    STATDATA data{};
    ULONG fetched = 0;
    ASSERT_EQ(advised->Next(1, &data, &fetched), S_OK);
    EXPECT_EQ(fetched, 1u);
    EXPECT_NE(data.pAdvSink, nullptr);
    if (data.pAdvSink)
        data.pAdvSink->Release();
    advised.Reset();

    // Closing lets go of the container's sink.
    ASSERT_EQ(m_object->Close(OLECLOSE_NOSAVE), S_OK);
    EXPECT_EQ(m_host->CountOf("OnClose"), 1u);
    connections = reinterpret_cast<IEnumSTATDATA*>(1);
    EXPECT_EQ(m_object->EnumAdvise(&connections), E_FAIL);
    EXPECT_EQ(connections, nullptr);
}

// WM_MOUSEACTIVATE UI-activates the page in user mode; a container in design mode does that
// itself.
TEST_F(OptionsPageControlTest, MouseActivationInUserModeOnly)
{
    for (bool userMode : {true, false}) {
        SCOPED_TRACE(userMode ? "user mode" : "design mode");
        ASSERT_EQ(HostPage(OLEIVERB_INPLACEACTIVATE, userMode), S_OK);
        PageHost::PumpPending(); // the page's own posted activation
        EXPECT_EQ(m_host->CountOf("OnUIActivate"), userMode ? 1u : 0u);

        ComPtr<IOleInPlaceObject> inPlace;
        ASSERT_EQ(m_object.As(&inPlace), S_OK);
        ASSERT_EQ(inPlace->UIDeactivate(), S_OK);
        SendMessageA(Control(IDC_PAGE_DELAY), WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(m_host->Frame()),
                     MAKELPARAM(HTCLIENT, WM_LBUTTONDOWN));
        EXPECT_EQ(m_host->CountOf("OnUIActivate"), userMode ? 2u : 0u);

        ASSERT_EQ(m_object->DoVerb(OLEIVERB_UIACTIVATE, nullptr, nullptr, 0, m_host->Frame(), nullptr), S_OK);
        EXPECT_EQ(m_host->CountOf("OnUIActivate"), userMode ? 2u : 1u) << "at most once while active";
        m_host.reset();
    }
}

// Tab moves between the page's controls; past the last (or before the first) it is the
// container's: the page answers S_FALSE and leaves the focus alone.
TEST_F(OptionsPageControlTest, TabMovesThroughThePageAndLeavesAtItsEnds)
{
    ASSERT_EQ(HostPage(), S_OK);
    ASSERT_TRUE(WaitForUIActivation());
    IOleInPlaceActiveObject* active = m_host->ActiveObject();
    ASSERT_NE(active, nullptr);

    BYTE keys[256] = {};
    const auto press = [&](WPARAM key, bool shift) {
        GetKeyboardState(keys);
        keys[VK_SHIFT] = shift ? 0x80 : 0;
        SetKeyboardState(keys);
        MSG message{GetFocus(), WM_KEYDOWN, key, 1, 0, {0, 0}};
        const HRESULT hr = active->TranslateAccelerator(&message);
        keys[VK_SHIFT] = 0;
        SetKeyboardState(keys);
        return hr;
    };

    const int order[] = {IDC_PAGE_ENABLED, IDC_PAGE_SHOW_EXIT_DIALOG, IDC_PAGE_CLOSE_WINWORD, IDC_PAGE_DELAY};
    ASSERT_EQ(GetFocus(), Control(order[0]));
    for (size_t i = 1; i < 4; ++i) {
        EXPECT_EQ(press(VK_TAB, false), S_OK);
        EXPECT_EQ(GetFocus(), Control(order[i]));
    }
    EXPECT_EQ(press(VK_TAB, false), S_FALSE);
    EXPECT_EQ(GetFocus(), Control(IDC_PAGE_DELAY));
    EXPECT_EQ(press(VK_RETURN, false), S_FALSE) << "Enter belongs to the container's dialog";
    EXPECT_EQ(press(VK_ESCAPE, false), S_FALSE) << "so does Escape";
    MSG alt{GetFocus(), WM_SYSKEYDOWN, 'O', 1 << 29, 0, {0, 0}};
    EXPECT_EQ(active->TranslateAccelerator(&alt), S_FALSE) << "and Alt combinations";
    EXPECT_EQ(GetFocus(), Control(IDC_PAGE_DELAY));

    for (size_t i = 3; i > 0; --i) {
        EXPECT_EQ(press(VK_TAB, true), S_OK);
        EXPECT_EQ(GetFocus(), Control(order[i - 1]));
    }
    EXPECT_EQ(press(VK_TAB, true), S_FALSE);
    EXPECT_EQ(GetFocus(), Control(IDC_PAGE_ENABLED));

    MSG elsewhere{m_host->Frame(), WM_KEYDOWN, VK_TAB, 1, 0, {0, 0}};
    EXPECT_EQ(active->TranslateAccelerator(&elsewhere), S_FALSE) << "a key for the container's own window";
}

TEST_F(OptionsPageControlTest, Verbs)
{
    ASSERT_EQ(HostPage(OLEIVERB_SHOW), S_OK);
    ASSERT_TRUE(IsWindowVisible(m_window));
    HWND frame = m_host->Frame();

    const struct {
        LONG verb;
        HRESULT result;
        bool visible;
    } cases[] = {
        {OLEIVERB_HIDE, S_OK, false},
        {OLEIVERB_SHOW, S_OK, true},
        {OLEIVERB_HIDE, S_OK, false},
        {OLEIVERB_PRIMARY, S_OK, true},
        {OLEIVERB_PROPERTIES, E_NOTIMPL, true},
        {OLEIVERB_OPEN, E_NOTIMPL, true},
        {7, OLEOBJ_S_INVALIDVERB, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.verb);
        EXPECT_EQ(m_object->DoVerb(c.verb, nullptr, nullptr, 0, frame, nullptr), c.result);
        EXPECT_EQ(IsWindowVisible(m_window) != FALSE, c.visible);
    }

    ComPtr<IOleObject> unsited = NewPage();
    EXPECT_EQ(unsited->DoVerb(OLEIVERB_SHOW, nullptr, nullptr, 0, frame, nullptr), E_UNEXPECTED);
    ComPtr<IOleWindow> window;
    ASSERT_EQ(unsited.As(&window), S_OK);
    HWND none = reinterpret_cast<HWND>(1);
    EXPECT_EQ(window->GetWindow(&none), E_FAIL);
    EXPECT_EQ(none, nullptr);
}

} // namespace
