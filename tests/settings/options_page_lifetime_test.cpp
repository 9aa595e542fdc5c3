// The options page's lifetime in a container whose site holds it, as Outlook's does: the page
// must let go of the container's objects when it is closed and its client site is cleared, or
// the two keep each other (and the DLL) alive for good.
#include <gtest/gtest.h>

#include <memory>

#include "addin/addin_interfaces.h"
#include "com/module_lock.h"
#include "page_ids.h"
#include "settings/addin_property_page.h"
#include "support/leak_gauge.h"
#include "support/page_host.h"
#include "support/test_support.h"

using Microsoft::WRL::ComPtr;

namespace {

class OptionsPageLifetimeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DeleteSettingsKeys();
        SetStringSetting(HKEY_CURRENT_USER, "Enabled", "1");
        SetStringSetting(HKEY_CURRENT_USER, "Delay", "30");
    }
    void TearDown() override { DeleteSettingsKeys(); }

    // Opens a new page in a container bound to it by bonds, paints it (which makes its tab
    // brush), changes a setting (which calls the PropertyPageSite), and closes the container
    // as Outlook does: Close, SetClientSite(null), release. The page's brush, or null.
    static HBRUSH OpenAndClose(unsigned bonds)
    {
        ComPtr<IUnknown> page;
        EXPECT_EQ(CAddinPropertyPage::CreateInstance(nullptr, IID_IUnknown,
                                                     reinterpret_cast<void**>(page.GetAddressOf())),
                  S_OK);
        PageHost host(nullptr, bonds);
        EXPECT_EQ(host.Host(page.Get()), S_OK);
        page.Reset(); // from here on only the container holds the page
        HWND window = host.ControlWindow();
        EXPECT_NE(window, nullptr);
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ERASENOW | RDW_UPDATENOW);
        PageHost::PumpPending();
        HBRUSH brush = reinterpret_cast<HBRUSH>(SendMessageA(window, WM_CTLCOLORSTATIC, 0,
                                                             reinterpret_cast<LPARAM>(GetDlgItem(window, IDC_PAGE_VERSION))));
        SendDlgItemMessageA(window, IDC_PAGE_CLOSE_WINWORD, BM_CLICK, 0, 0);
        if (bonds & kSiteIsPageSite) {
            EXPECT_EQ(host.CountOf("OnStatusChange"), 1u);
        }
        host.Close();
        if (bonds & kSiteAdvised) {
            EXPECT_EQ(host.CountOf("OnClose"), 1u);
        }
        return brush;
    }
};

// Each of the site's references to the page makes a loop that only the page can break.
TEST_F(OptionsPageLifetimeTest, ClosedPageLetsGoOfTheSiteThatHoldsIt)
{
    const struct {
        const char* label;
        unsigned bonds;
    } cases[] = {
        {"site holds the page only", kSiteHoldsControl},
        {"advise sink", kSiteHoldsControl | kSiteAdvised},
        {"view advise sink", kSiteHoldsControl | kSiteViewAdvised},
        {"PropertyPageSite", kSiteHoldsControl | kSiteIsPageSite},
        {"all of them", kSiteAllBonds},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const LONG locks = ModuleLockCount();
        OpenAndClose(c.bonds);
        EXPECT_EQ(ModuleLockCount(), locks) << "the page is still alive and keeps the DLL loaded";
    }
}

TEST_F(OptionsPageLifetimeTest, OpenCloseCyclesLeaveGdiAndUserObjectsFlat)
{
    // Warm-up: the first page brings the dialog classes, the theme and the fonts.
    ASSERT_NE(OpenAndClose(kSiteAllBonds), nullptr) << "a themed page makes its tab brush when painted";
    const LONG locks = ModuleLockCount();
    const int gdiObjects = CountGdiObjects();
    const int userObjects = CountUserObjects();

    // The counts must stay exactly flat, so one cycle's leak shows after one cycle; the many
    // cycles catch a leak that only some cycles make. The x86 suite runs under qemu-i386, where
    // a cycle takes about a second (a hundred times longer): it runs 20, the x64 suite 200.
    constexpr int kCycles = sizeof(void*) == 8 ? 200 : 20;
    for (int i = 0; i < kCycles; ++i)
        OpenAndClose(kSiteAllBonds);

    EXPECT_EQ(CountGdiObjects(), gdiObjects);
    EXPECT_EQ(CountUserObjects(), userObjects);
    EXPECT_EQ(ModuleLockCount(), locks);
}

} // namespace
