#include "addin_fixture.h"

#include <algorithm>

#include "com/module_lock.h"

namespace {

using Lines = std::vector<std::string>;

TEST_F(AddinTest, LifecycleLogsEveryStepAndReleasesEverything)
{
    const LONG locksBefore = ModuleLockCount();
    m_app->AddExplorerQuietly();
    CreateAddin();
    EXPECT_EQ(ModuleLockCount(), locksBefore + 1);
    EXPECT_EQ(AddinLogMessages(), Lines{"Connect<FinalConstruct> ==> [HRES 00000000]"});

    EXPECT_EQ(m_ext->OnConnection(m_app.Get(), ext_cm_Startup, nullptr, nullptr), S_OK);
    EXPECT_EQ(AppSinks(), 1u);
    EXPECT_EQ(m_ext->OnStartupComplete(nullptr), S_OK);
    EXPECT_EQ(ExplorersSinks(), 1u);
    ASSERT_EQ(m_connect->WatcherCount(), 1);
    EXPECT_EQ(ExplorerAt(0)->CloseSinks(), 1u);

    SetStringSetting(HKEY_CURRENT_USER, "Enabled", "0"); // no worker in this test
    m_app->CloseExplorer(ExplorerAt(0));
    EXPECT_EQ(AppSinks(), 0u);
    EXPECT_EQ(ExplorersSinks(), 0u);
    EXPECT_EQ(m_connect->ApplicationCookie(), kNoCookie);
    EXPECT_EQ(m_connect->ExplorersCookie(), kNoCookie);
    EXPECT_EQ(m_connect->WorkerThread(), nullptr);

    EXPECT_EQ(m_ext->OnDisconnection(ext_dm_HostShutdown, nullptr), S_OK);
    EXPECT_EQ(m_ext->OnAddInsUpdate(nullptr), E_NOTIMPL);
    ReleaseAddin();

    const Lines expected = {
        "Connect<FinalConstruct> ==> [HRES 00000000]",
        "Connect<OnConnection> ==> Connecting ... ",
        "Connect<OnConnection> ==> [HRES 00000000]",
        "Connect<OnStartupComplete> ==> ",
        "Connect<Addin_Enabled> ==> [ENABLED] ",
        "Connect<OnStartupComplete>",
        "Connect<OnStartupComplete> ==> [HRES 00000000]",
        "CExplEvent<Event_Explorer_Close>",
        "Connect<OnBeginShutdown> ==> ",
        "Connect<Addin_Enabled> ==> [DISABLED] ",
        "Connect<OnDisconnection> ==> Disconnecting ... ",
        "Connect<OnAddInsUpdate>",
        "Connect<FinalRelease>",
        "Connect<FinalRelease> ==> [HRES 00000000]",
    };
    EXPECT_EQ(AddinLogMessages(), expected);
    EXPECT_EQ(LogFile::Existing(), nullptr);
    EXPECT_EQ(ModuleLockCount(), locksBefore);

    // Every reference the add-in took on Outlook's objects is given back.
    EXPECT_EQ(m_app->RefCount(), 1);
    EXPECT_EQ(m_app->ExplorersObject().RefCount(), 1);
    EXPECT_EQ(m_app->NameSpaceObject().RefCount(), 1);
}

TEST_F(AddinTest, QueryInterfaceMap)
{
    CreateAddin();
    Microsoft::WRL::ComPtr<IUnknown> unknown, connect, dispatch, extensibility, other;
    ASSERT_EQ(m_ext->QueryInterface(IID_IUnknown, &unknown), S_OK);
    ASSERT_EQ(m_ext->QueryInterface(IID_IConnect, &connect), S_OK);
    ASSERT_EQ(m_ext->QueryInterface(IID_IDispatch, &dispatch), S_OK);
    ASSERT_EQ(m_ext->QueryInterface(IID__IDTExtensibility2, &extensibility), S_OK);
    EXPECT_EQ(unknown.Get(), connect.Get());
    EXPECT_EQ(dispatch.Get(), extensibility.Get());
    EXPECT_NE(unknown.Get(), dispatch.Get());
    for (const IID* iid : {&IID_Outlook_ApplicationEvents, &IID_IConnectionPointContainer, &IID_NULL})
        EXPECT_EQ(m_ext->QueryInterface(*iid, &other), E_NOINTERFACE);
    EXPECT_EQ(CConnect::CreateInstance(unknown.Get(), IID_IUnknown, reinterpret_cast<void**>(other.GetAddressOf())),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(CConnect::CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
}

TEST_F(AddinTest, IConnectAnswersItsTypeInformationFromOurLibrary)
{
    // The library is found registered, or else in the module that holds the code (this test
    // program carries the DLL's resources, its type library among them).
    CreateAddin();
    Microsoft::WRL::ComPtr<IConnect> connect;
    ASSERT_EQ(m_ext->QueryInterface(IID_IConnect, &connect), S_OK);
    UINT count = 99;
    EXPECT_EQ(connect->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);

    Microsoft::WRL::ComPtr<ITypeInfo> info, again;
    ASSERT_EQ(connect->GetTypeInfo(0, 0, &info), S_OK);
    ASSERT_NE(info, nullptr);
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->guid, IID_IConnect);
    info->ReleaseTypeAttr(attributes);
    Microsoft::WRL::ComPtr<ITypeLib> library;
    UINT index = 0;
    ASSERT_EQ(info->GetContainingTypeLib(&library, &index), S_OK);
    TLIBATTR* libraryAttributes = nullptr;
    ASSERT_EQ(library->GetLibAttr(&libraryAttributes), S_OK);
    EXPECT_EQ(libraryAttributes->guid, LIBID_VantrelLib);
    library->ReleaseTLibAttr(libraryAttributes);
    // Loaded once and kept: the same object each time.
    ASSERT_EQ(connect->GetTypeInfo(0, 0, &again), S_OK);
    EXPECT_EQ(again.Get(), info.Get());

    ITypeInfo* none = reinterpret_cast<ITypeInfo*>(1);
    EXPECT_EQ(connect->GetTypeInfo(1, 0, &none), DISP_E_BADINDEX);
    EXPECT_EQ(none, nullptr) << "a failed call clears its out-parameter";
    EXPECT_EQ(connect->GetTypeInfoCount(nullptr), E_POINTER);
    EXPECT_EQ(connect->GetTypeInfo(0, 0, nullptr), E_POINTER);
}

TEST_F(AddinTest, StartupCompleteBeforeConnectionDoesNothing)
{
    CreateAddin();
    EXPECT_EQ(m_ext->OnStartupComplete(nullptr), E_NOTIMPL);
    EXPECT_EQ(ExplorersSinks(), 0u);
    EXPECT_EQ(m_app->Log().Names(), Lines{});
}

TEST_F(AddinTest, ConnectionSeedsTheUsersSettings)
{
    DeleteSettingsKeys();
    SetStringSetting(HKEY_LOCAL_MACHINE, "Delay", "7");
    SetStringSetting(HKEY_LOCAL_MACHINE, "Enabled", "0");
    CreateAddin();
    EXPECT_EQ(m_ext->OnConnection(m_app.Get(), ext_cm_Startup, nullptr, nullptr), S_OK);
    SettingText buffer;
    ReadSetting(Setting::Delay, buffer, HKEY_CURRENT_USER);
    EXPECT_STREQ(buffer, "7");
    ReadSetting(Setting::Enabled, buffer, HKEY_CURRENT_USER);
    EXPECT_STREQ(buffer, "0");
}

TEST_F(AddinTest, DisabledAddinWatchesNothingAndStartsNoWorker)
{
    SetStringSetting(HKEY_CURRENT_USER, "Enabled", "0");
    StartAddin(1);
    EXPECT_EQ(ExplorersSinks(), 1u);
    EXPECT_EQ(m_connect->WatcherCount(), 0);

    m_app->OpenExplorer();
    EXPECT_EQ(m_connect->WatcherCount(), 0);
    EXPECT_EQ(m_ext->OnBeginShutdown(nullptr), S_OK);
    EXPECT_EQ(ExplorersSinks(), 0u);
    EXPECT_EQ(AppSinks(), 0u);
    EXPECT_FALSE(m_connect->IsRunning());
    EXPECT_EQ(m_connect->WorkerThread(), nullptr);

    const Lines expected = {
        "Connect<OnStartupComplete> ==> ",
        "Connect<Addin_Enabled> ==> [DISABLED] ",
        "Connect<Event_Explorers_New>",
        "Connect<Addin_Enabled> ==> [DISABLED] ",
        "Connect<OnBeginShutdown> ==> ",
        "Connect<Addin_Enabled> ==> [DISABLED] ",
    };
    EXPECT_EQ(LogFrom("Connect<OnStartupComplete> ==> "), expected);
}

TEST_F(AddinTest, SwitchedOnWhileOutlookRunsWatchesOnlyLaterWindowsAndActsOnQuit)
{
    // Off at the start, on while Outlook runs: the window open since the start gets no watcher,
    // so closing it as the last one starts nothing; a window opened after the switch is watched,
    // and Outlook's Quit starts the shutdown.
    SetStringSetting(HKEY_CURRENT_USER, "Enabled", "0");
    StartAddin(1);
    SetStringSetting(HKEY_CURRENT_USER, "Enabled", "1");
    fake::ComPtr<fake::FakeExplorer> first(ExplorerAt(0));
    fake::ComPtr<fake::FakeExplorer> later = m_app->OpenExplorer();
    EXPECT_EQ(m_connect->WatcherCount(), 1);
    EXPECT_EQ(later->CloseSinks(), 1u);

    m_app->CloseExplorer(later.Get());
    m_app->CloseExplorer(first.Get());
    EXPECT_EQ(AppSinks(), 1u) << "no shutdown began";
    EXPECT_EQ(m_connect->WorkerThread(), nullptr);

    m_app->FireQuit();
    EXPECT_TRUE(m_connect->IsRunning());
    EXPECT_NE(m_connect->WorkerThread(), nullptr);
}

TEST_F(AddinTest, NoActiveExplorerMeansNoWatcherUntilTheFirstNewOne)
{
    StartAddin(0);
    EXPECT_EQ(m_connect->WatcherCount(), 0);
    fake::ComPtr<fake::FakeExplorer> explorer = m_app->OpenExplorer();
    ASSERT_EQ(m_connect->WatcherCount(), 1);
    EXPECT_EQ(explorer->CloseSinks(), 1u);
    m_app->OpenExplorer();
    EXPECT_EQ(m_connect->WatcherCount(), 2);
    const Lines log = AddinLogMessages();
    EXPECT_EQ(std::count(log.begin(), log.end(), "Connect<Event_Explorers_New>"), 4);
}

TEST_F(AddinTest, QuitThenOutlooksOwnCallStartOneWorker)
{
    SetStringSetting(HKEY_CURRENT_USER, "Delay", "0");
    StartAddin(1);
    m_app->FireQuit();
    EXPECT_TRUE(m_connect->IsRunning());
    HANDLE worker = m_connect->WorkerThread();
    EXPECT_NE(worker, nullptr);
    EXPECT_EQ(m_ext->OnBeginShutdown(nullptr), S_OK);
    EXPECT_EQ(m_connect->WorkerThread(), worker);

    const Lines expected = {
        "Connect<Event_Appliance_Quit>",
        "Connect<OnBeginShutdown> ==> ",
        "Connect<Addin_Enabled> ==> [ENABLED] ",
        "Connect<OnBeginShutdown> ==> ",
    };
    EXPECT_EQ(LogFrom("Connect<Event_Appliance_Quit>"), expected);
    ReleaseAddin();
    EXPECT_EQ(m_app->RefCount(), 1);
}

TEST_F(AddinTest, NullExplorerGivesADeafWatcher)
{
    StartAddin(0);
    VARIANT arg;
    arg.vt = VT_DISPATCH;
    arg.pdispVal = nullptr;
    m_app->ExplorersObject().Fire(IID_Outlook_ExplorersEvents, kDispidNewExplorer, {arg});
    ASSERT_EQ(m_connect->WatcherCount(), 1);
    EXPECT_EQ(m_connect->Watcher(0)->Cookie(), kNoCookie);
    EXPECT_EQ(m_connect->Watcher(0)->Explorer(), nullptr);
}

TEST_F(AddinTest, FailedSubscriptionsAreShownAndReturned)
{
    MessageBoxDismisser boxes;
    m_app->FailCall("Advise", CONNECT_E_ADVISELIMIT);
    CreateAddin();
    EXPECT_EQ(m_ext->OnConnection(m_app.Get(), ext_cm_Startup, nullptr, nullptr), CONNECT_E_ADVISELIMIT);

    m_app->ExplorersObject().FailCall("Advise", E_ACCESSDENIED);
    EXPECT_EQ(m_ext->OnStartupComplete(nullptr), E_ACCESSDENIED);
    EXPECT_EQ(boxes.Texts(), (Lines{"Unable to establish Application connection point",
                                    "Failed to establish Explorers connection point"}));
    const Lines log = AddinLogMessages();
    EXPECT_NE(std::find(log.begin(), log.end(), "Connect<OnConnection> ==> [HRES 80040201]"), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "Connect<OnStartupComplete> ==> [HRES 80070005]"), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(),
                        "Global<InfoDialog> ==> Unable to establish Application connection point"),
              log.end());
}

TEST_F(AddinTest, FailedUnsubscriptionsAreShownAndShutdownGoesOn)
{
    SetStringSetting(HKEY_CURRENT_USER, "Enabled", "0");
    StartAddin(1);
    MessageBoxDismisser boxes;
    m_app->FailCall("Unadvise", E_UNEXPECTED);
    m_app->ExplorersObject().FailCall("Unadvise", E_UNEXPECTED);
    EXPECT_EQ(m_ext->OnBeginShutdown(nullptr), S_OK);
    EXPECT_EQ(boxes.Texts(),
              (Lines{"Failed to remove Explorers connection point", "Error removing Application connection"}));
    EXPECT_EQ(m_connect->ApplicationCookie(), kNoCookie);
    EXPECT_EQ(m_connect->ExplorersCookie(), kNoCookie);
}

TEST_F(AddinTest, OutlookErrorsNeverEscapeTheConnectionMethods)
{
    m_app->FailCall("Explorers", E_FAIL);
    m_app->AddExplorerQuietly();
    CreateAddin();
    EXPECT_EQ(m_ext->OnConnection(m_app.Get(), ext_cm_Startup, nullptr, nullptr), S_OK);
    EXPECT_EQ(m_ext->OnStartupComplete(nullptr), E_FAIL);
    EXPECT_EQ(AddinLogMessages().back(), "Connect<OnStartupComplete> ==> [HRES 80004005]");

    // A second subscription while the first is live is refused.
    MessageBoxDismisser boxes;
    EXPECT_EQ(m_ext->OnConnection(m_app.Get(), ext_cm_Startup, nullptr, nullptr), E_FAIL);
    EXPECT_EQ(m_ext->OnBeginShutdown(nullptr), S_OK);
    ReleaseAddin();

    // A null application: the subscription fails with E_INVALIDARG, Explorers with E_POINTER.
    CreateAddin();
    EXPECT_EQ(m_ext->OnConnection(nullptr, ext_cm_Startup, nullptr, nullptr), E_INVALIDARG);
    EXPECT_EQ(m_ext->OnStartupComplete(nullptr), E_POINTER);
    EXPECT_EQ(boxes.Texts().size(), 2u);
}

} // namespace
