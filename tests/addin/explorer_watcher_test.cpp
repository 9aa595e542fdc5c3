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
    int open;               // Explorers open before one closes
    int inspectors;         // items open in windows of their own
    size_t countReads;      // Explorers' Count calls made by the watcher
    size_t inspectorReads;  // Inspectors' Count calls made by the watcher
    bool stillSubscribed;   // the closing Explorer's watcher
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
    for (int i = 0; i < c.inspectors; ++i)
        m_app->OpenInspector();
    SetStringSetting(HKEY_CURRENT_USER, "Enabled", "0"); // watch the decision, not the worker
    fake::ComPtr<fake::FakeExplorer> closing(ExplorerAt(0));
    m_app->Log().Clear();

    m_app->CloseExplorer(closing.Get());

    const std::vector<std::string> calls = m_app->Log().Names();
    EXPECT_EQ(CountOf(calls, "Version"), 1u);
    EXPECT_EQ(CountOf(calls, "Count"), c.countReads);
    EXPECT_EQ(CountOf(calls, "Inspectors.Count"), c.inspectorReads);
    EXPECT_EQ(closing->CloseSinks(), c.stillSubscribed ? 1u : 0u);
    EXPECT_EQ(m_connect->Watcher(0)->Explorer() != nullptr, c.stillSubscribed);
    EXPECT_EQ(AppSinks(), c.shutdown ? 0u : 1u) << "OnBeginShutdown unsubscribes";
    ReleaseAddin();
    EXPECT_EQ(closing->RefCount(), 1) << "the watcher let go of its Explorer";
}

INSTANTIATE_TEST_SUITE_P(Versions, WatcherRules,
                         ::testing::Values(CloseCase{"Outlook2000TwoOpen", "9.0.0.2711", 2, 0, 2, 0, false, false},
                                           CloseCase{"Outlook2000LastOne", "9.0.0.2711", 1, 0, 1, 1, true, true},
                                           CloseCase{"Outlook2000LastOneDraftOpen", "9.0.0.2711", 1, 1, 2, 1, false,
                                                     false},
                                           CloseCase{"CurrentTwoOpen", "16.0.0.0", 2, 0, 1, 0, false, false},
                                           CloseCase{"CurrentLastOne", "16.0.0.0", 1, 0, 1, 1, false, true},
                                           CloseCase{"CurrentLastOneDraftOpen", "16.0.0.0", 1, 1, 1, 1, false, false},
                                           CloseCase{"EmptyVersionLastOne", "", 1, 0, 1, 1, false, true}),
                         [](const ::testing::TestParamInfo<CloseCase>& info) { return std::string(info.param.name); });

// Outlook's Quit would throw away an item still open in its own window: the last Explorer
// closing leaves Outlook alone while an Inspector is open, and Outlook's own Quit, raised when
// that window closes, starts the shutdown instead.
TEST_F(AddinTest, OpenDraftHoldsTheShutdownUntilOutlookQuitsByItself)
{
    StartAddin(1);
    SetStringSetting(HKEY_CURRENT_USER, "Enabled", "0");
    fake::ComPtr<fake::FakeInspector> draft = m_app->OpenInspector();
    fake::ComPtr<fake::FakeExplorer> last(ExplorerAt(0));

    m_app->CloseExplorer(last.Get());
    EXPECT_EQ(AppSinks(), 1u) << "no shutdown while the draft is open";
    EXPECT_EQ(last->CloseSinks(), 0u) << "the watcher let go of its closed Explorer";

    m_app->CloseInspector(draft.Get());
    EXPECT_EQ(AppSinks(), 0u);
    const Lines expected = {"Connect<Event_Appliance_Quit>", "Connect<OnBeginShutdown> ==> ",
                            "Connect<Addin_Enabled> ==> [DISABLED] "};
    EXPECT_EQ(LogFrom("Connect<Event_Appliance_Quit>"), expected);
}

TEST_F(AddinTest, DraftClosedFirstLeavesTheDecisionToTheLastExplorer)
{
    StartAddin(1);
    SetStringSetting(HKEY_CURRENT_USER, "Enabled", "0");
    fake::ComPtr<fake::FakeInspector> draft = m_app->OpenInspector();
    m_app->CloseInspector(draft.Get()); // an Explorer is still open: Outlook goes on
    EXPECT_EQ(AppSinks(), 1u);

    m_app->CloseExplorer(ExplorerAt(0));
    EXPECT_EQ(AppSinks(), 0u) << "the watcher started the shutdown";
    EXPECT_TRUE(LogFrom("Connect<Event_Appliance_Quit>").empty());
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
