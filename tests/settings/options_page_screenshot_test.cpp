// Not a check: makes the picture of the hosted page for the documentation. Disabled, so it
// runs only when scripts/screenshots.sh asks for it, with the BMP file's path in
// VANTREL_PAGE_SCREENSHOT; VANTREL_PAGE_LANGUAGE ("de-DE", ...) draws it in that language, and
// VANTREL_PAGE_ENFORCED=1 with the delay enforced by a policy, so that the page shows its policy
// note (the longest text it has; tests/server/localized_layout_test.cpp measures it).
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "win32/ui_language.h"
#include "fake_outlook/fake_outlook.h"
#include "outlook/outlook.h"
#include "settings/addin_property_page.h"
#include "support/page_host.h"
#include "support/policy_keys.h"
#include "support/test_support.h"

namespace {

TEST(OptionsPageScreenshot, DISABLED_SaveHostedPage)
{
    const char* path = std::getenv("VANTREL_PAGE_SCREENSHOT");
    ASSERT_NE(path, nullptr) << "set VANTREL_PAGE_SCREENSHOT to the BMP file to write";

    const char* tag = std::getenv("VANTREL_PAGE_LANGUAGE");
    for (UiLanguage language : kUiLanguages)
        if (tag && std::string(tag) == UiLanguageTag(language))
            SetUiLanguage(language);
    DeleteSettingsKeys();
    SetStringSetting(HKEY_CURRENT_USER, "Enabled", "1");
    SetStringSetting(HKEY_CURRENT_USER, "ShowExitDialog", "1");
    SetStringSetting(HKEY_CURRENT_USER, "CloseWinWord", "0");
    SetStringSetting(HKEY_CURRENT_USER, "Delay", "30");
    const ScopedPolicyKeys policies;
    const char* enforced = std::getenv("VANTREL_PAGE_ENFORCED");
    if (enforced && std::string(enforced) == "1")
        SetDwordPolicy(HKEY_CURRENT_USER, "Delay", 30);

    auto site = fake::Adopt(new fake::FakePropertyPageSite(std::make_shared<fake::CallLog>()));
    Microsoft::WRL::ComPtr<IUnknown> page;
    ASSERT_EQ(CAddinPropertyPage::CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(page.GetAddressOf())),
              S_OK);
    {
        PageHost host(site.Get());
        ASSERT_EQ(host.Host(page.Get()), S_OK);
        ASSERT_TRUE(PageHost::PumpUntil([&host] { return host.CountOf("OnUIActivate") == 1; }));
        RedrawWindow(host.Frame(), nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_ERASENOW);
        GdiFlush();
        PageHost::PumpPending();
        EXPECT_TRUE(SaveWindowImage(host.ControlWindow(), path));
    }
    page.Reset();
    DeleteSettingsKeys();
    SetUiLanguage(UiLanguage::English);
}

} // namespace
