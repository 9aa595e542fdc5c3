// The connection object and its watchers with settings that an administrator enforces: the
// enforced Enabled decides whether anything is watched and whether the last close starts the
// shutdown, and the enforced Delay and ShowExitDialog are what the worker shows and counts down.
#include "addin_fixture.h"

#include "support/policy_keys.h"
#include "support/simulated_outlook.h"

namespace {

using Lines = std::vector<std::string>;

class PolicyAddinTest : public AddinTest {
protected:
    void SetUp() override
    {
        DeletePolicyKeys();
        AddinTest::SetUp();
    }
    void TearDown() override
    {
        AddinTest::TearDown();
        DeletePolicyKeys();
    }
};

// The user's own Enabled says the opposite of the enforced one each time.
TEST_F(PolicyAddinTest, EnforcedEnabledDecidesWhetherTheLastCloseStartsTheShutdown)
{
    for (PolicySource source : {PolicySource::Machine, PolicySource::User, PolicySource::Both})
        for (PolicyType type : {PolicyType::Dword, PolicyType::String})
            for (DWORD enforced : {0u, 1u}) {
                SCOPED_TRACE(std::string(PolicySourceName(source)) + " " + PolicyTypeName(type) + " " +
                             std::to_string(enforced));
                DeletePolicyKeys();
                SetStringSetting(HKEY_CURRENT_USER, "Enabled", enforced ? "0" : "1");
                EnforcePolicy(source, "Enabled", type, enforced, enforced ? 0 : 1);
                LogFile::DestroyInstance();
                DeleteFileA(AddinLogPath().c_str());
                m_app = fake::FakeApplication::Create(Version());
                StartAddin(1);
                EXPECT_EQ(m_connect->WatcherCount(), static_cast<int>(enforced));

                m_app->CloseExplorer(ExplorerAt(0));
                m_app->FireQuit();
                EXPECT_EQ(m_connect->IsRunning(), enforced == 1);
                EXPECT_EQ(m_connect->WorkerThread() != nullptr, enforced == 1);
                const std::string decision = enforced ? "Connect<Addin_Enabled> ==> [ENABLED] "
                                                      : "Connect<Addin_Enabled> ==> [DISABLED] ";
                const Lines shutdown = LogFrom("Connect<OnBeginShutdown> ==> ");
                ASSERT_GE(shutdown.size(), 2u);
                EXPECT_EQ(shutdown[1], decision);
                ReleaseAddin(); // stops a worker before it could end this process
                m_app.Reset();
            }
}

// The simulated Outlook with the add-in: the enforced Delay is the one counted down, in the
// dialog that the enforced ShowExitDialog shows, though the user's own values say 1 s and none.
TEST(PolicyWorkerTest, EnforcedDelayIsTheOneCountedDown)
{
    ScopedPolicyKeys policies;
    DeleteSettingsKeys();
    SetStringSetting(HKEY_CURRENT_USER, "Enabled", "1");
    SetStringSetting(HKEY_CURRENT_USER, "Delay", "1");
    SetStringSetting(HKEY_CURRENT_USER, "ShowExitDialog", "0");
    SetDwordPolicy(HKEY_LOCAL_MACHINE, "Delay", 3);
    SetStringPolicy(HKEY_CURRENT_USER, "Delay", "5");
    SetStringPolicy(HKEY_CURRENT_USER, "ShowExitDialog", "1");
    SimulatedOutlook outlook("--direct close-last");
    ASSERT_TRUE(outlook.Started());
    EXPECT_EQ(outlook.WaitForExit(), 0);
    EXPECT_TRUE(Contains(outlook.Log(), "exit dialog visible=1 range=0-3 pos=0"));
    DeleteSettingsKeys();
}

} // namespace
