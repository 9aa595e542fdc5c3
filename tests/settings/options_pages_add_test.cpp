// Event_OptionsPagesAdd against the fake Outlook's collection of Options pages.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_outlook/fake_outlook.h"
#include "log/log_file.h"
#include "settings/options_pages_add.h"
#include "support/test_support.h"

namespace {

using Microsoft::WRL::ComPtr;

class OptionsPagesAddTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LogFile::DestroyInstance();
        ASSERT_NE(OpenAddinLog(), nullptr);
        m_log = std::make_shared<fake::CallLog>();
        m_pages = fake::Adopt(new fake::FakePropertyPages(m_log));
    }
    void TearDown() override { LogFile::DestroyInstance(); }

    std::shared_ptr<fake::CallLog> m_log;
    ComPtr<fake::FakePropertyPages> m_pages;
};

TEST_F(OptionsPagesAddTest, AddsThePageByProgIdWithItsTitle)
{
    Event_OptionsPagesAdd(m_pages.Get());
    ASSERT_EQ(m_pages->Added().size(), 1u);
    const fake::AddedPage& added = m_pages->Added()[0];
    EXPECT_EQ(added.pageType, VT_BSTR);
    EXPECT_EQ(added.page, L"Vantrel.AddinPropertyPage");
    EXPECT_EQ(added.title, L"Shutdown");
    EXPECT_EQ(m_pages->RefCount(), 1) << "the collection is released";
    EXPECT_TRUE(AddinLogMessages().empty());
}

// A failure is logged with its result and goes no further than the handler.
TEST_F(OptionsPagesAddTest, FailuresAreLoggedAndStayInside)
{
    ComPtr<fake::FakePropertyPageSite> notPages = fake::Adopt(new fake::FakePropertyPageSite(m_log));
    m_pages->FailCall("Add", E_FAIL);
    const struct {
        const char* label;
        IDispatch* collection;
        const char* logged;
    } cases[] = {
        {"Add fails", m_pages.Get(), "Connect<Event_OptionsPagesAdd> ==> [HRES 80004005]"},
        {"no PropertyPages", notPages.Get(), "Connect<Event_OptionsPagesAdd> ==> [HRES 80004002]"},
        {"no collection", nullptr, "Connect<Event_OptionsPagesAdd> ==> [HRES 80004003]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        DeleteFileA(AddinLogPath().c_str());
        Event_OptionsPagesAdd(c.collection);
        EXPECT_EQ(AddinLogMessages(), std::vector<std::string>{c.logged});
    }
    EXPECT_TRUE(m_pages->Added().empty());
    EXPECT_EQ(m_pages->RefCount(), 1);
    EXPECT_EQ(notPages->RefCount(), 1);
}

} // namespace
