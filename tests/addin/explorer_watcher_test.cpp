#include "addin_fixture.h"

#include <algorithm>

namespace {

using Lines = std::vector<std::string>;

size_t CountOf(const std::vector<std::string>& names, const std::string& name)
{
    return static_cast<size_t>(std::count(names.begin(), names.end(), name));
}

struct CloseCase {
    const char* name;
    const char* version;
    int open;            // Explorers open before one closes
    size_t countReads;   // Count calls made by the watcher
    bool stillSubscribed; // the closing Explorer's watcher
    bool shutdown;
};

class WatcherRules : public AddinTest, public ::testing::WithParamInterface<CloseCase> {
protected:
    std::string Version() const override { return GetParam().version; }
};

TEST_P(WatcherRules, LastWindowDecision)
{
    const CloseCase& c = GetParam();
    StartAddin(0);
    for (int i = 0; i < c.open; ++i)
        m_app->OpenExplorer();
    SetStringSetting(HKEY_CURRENT_USER, "Enabled", "0"); // watch the decision, not the worker
    fake::ComPtr<fake::FakeExplorer> closing(ExplorerAt(0));
    m_app->Log().Clear();

    m_app->CloseExplorer(closing.Get());

    const std::vector<std::string> calls = m_app->Log().Names();
    EXPECT_EQ(CountOf(calls, "Version"), 1u);
    EXPECT_EQ(CountOf(calls, "Count"), c.countReads);
    EXPECT_EQ(closing->CloseSinks(), c.stillSubscribed ? 1u : 0u);
    EXPECT_EQ(m_connect->Watcher(0)->Explorer() != nullptr, c.stillSubscribed);
    EXPECT_EQ(AppSinks(), c.shutdown ? 0u : 1u) << "OnBeginShutdown unsubscribes";
    ReleaseAddin();
    EXPECT_EQ(closing->RefCount(), 1) << "the watcher let go of its Explorer";
}

INSTANTIATE_TEST_SUITE_P(Versions, WatcherRules,
                         ::testing::Values(CloseCase{"Outlook2000TwoOpen", "9.0.0.2711", 2, 2, false, false},
                                           CloseCase{"Outlook2000LastOne", "9.0.0.2711", 1, 1, true, true},
                                           CloseCase{"CurrentTwoOpen", "16.0.0.0", 2, 1, false, false},
                                           CloseCase{"CurrentLastOne", "16.0.0.0", 1, 1, false, true},
                                           CloseCase{"EmptyVersionLastOne", "", 1, 1, false, true}),
                         [](const ::testing::TestParamInfo<CloseCase>& info) { return std::string(info.param.name); });

TEST_F(AddinTest, FailingOutlookCallsAreCaughtInTheWatcher)
{
    for (const char* failing : {"Version", "Count"}) {
        StartAddin(1);
        SetStringSetting(HKEY_CURRENT_USER, "Enabled", "0");
        fake::FakeObject& target = std::string(failing) == "Version"
                                       ? static_cast<fake::FakeObject&>(*m_app.Get())
                                       : static_cast<fake::FakeObject&>(m_app->ExplorersObject());
        target.FailCall(failing, E_FAIL);
        fake::ComPtr<fake::FakeExplorer> closing(ExplorerAt(0));
        m_app->CloseExplorer(closing.Get());
        EXPECT_EQ(AddinLogMessages().back(), "CExplEvent<Event_Explorer_Close>::Exception") << failing;
        EXPECT_EQ(closing->CloseSinks(), 1u) << failing;
        EXPECT_EQ(AppSinks(), 1u) << "no shutdown after a failing " << failing;
        target.Reset(failing);
        m_ext->OnBeginShutdown(nullptr);
        ReleaseAddin();
        DeleteSettingsKeys();
        m_app = fake::FakeApplication::Create();
    }
}

TEST_F(AddinTest, LastWindowAfterQuitOnlyUnsubscribesTheWatcher)
{
    StartAddin(1);
    SetStringSetting(HKEY_CURRENT_USER, "Enabled", "0");
    m_app->FireQuit();
    fake::ComPtr<fake::FakeExplorer> closing(ExplorerAt(0));
    m_app->CloseExplorer(closing.Get());
    EXPECT_EQ(closing->CloseSinks(), 0u);
    const Lines expected = {"Connect<Event_Appliance_Quit>", "Connect<OnBeginShutdown> ==> ",
                            "Connect<Addin_Enabled> ==> [DISABLED] ", "CExplEvent<Event_Explorer_Close>",
                            "Connect<OnBeginShutdown> ==> "};
    EXPECT_EQ(LogFrom("Connect<Event_Appliance_Quit>"), expected);
}

} // namespace
