// Vantrel.dll loaded into this process: its class objects, its lock count, its exports, and
// what its module object holds while the DLL is loaded.
#include <gtest/gtest.h>

#include <windows.h>
#include <msi.h>
#include <wrl/client.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "addin/addin_interfaces.h"
#include "com/raii.h"
#include "fake_outlook/fake_outlook.h"
#include "server/server_test_support.h"
#include "support/child_process.h"
#include "support/test_support.h"

using Microsoft::WRL::ComPtr;

namespace {

const CLSID kUnknownClsid = {0x0BADC0DE, 0x1234, 0x4321, {0x80, 0x00, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55}};
void* const kSentinel = reinterpret_cast<void*>(static_cast<std::uintptr_t>(0x1234));

struct ServerClass {
    const char* name;
    const CLSID* clsid;
};
const ServerClass kClasses[] = {{"AddinPropertyPage", &CLSID_AddinPropertyPage}, {"Connect", &CLSID_Connect}};

class ServerModuleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(m_server.module(), nullptr);
        ASSERT_EQ(m_server.CanUnloadNow(), S_OK) << "nothing holds the server right after loading";
    }

    ComPtr<IClassFactory> ClassObject(const CLSID& clsid)
    {
        ComPtr<IClassFactory> factory;
        EXPECT_EQ(m_server.GetClassObject(clsid, IID_IClassFactory, &factory), S_OK);
        return factory;
    }

    CoInitializeGuard m_com;
    LoadedServer m_server;
};

TEST_F(ServerModuleTest, RefusesClassObjectRequestsItCannotServe)
{
    const struct {
        const char* what;
        const CLSID* clsid;
        const IID* iid;
        bool nullOut;
        HRESULT expected;
    } cases[] = {
        {"unknown CLSID", &kUnknownClsid, &IID_IClassFactory, false, CLASS_E_CLASSNOTAVAILABLE},
        {"no out pointer", &CLSID_Connect, &IID_IClassFactory, true, E_POINTER},
        {"interface a class object lacks", &CLSID_Connect, &IID_IDispatch, false, E_NOINTERFACE},
    };
    for (const auto& c : cases) {
        void* out = kSentinel;
        EXPECT_EQ(m_server.GetClassObject(*c.clsid, *c.iid, c.nullOut ? nullptr : &out), c.expected) << c.what;
        if (!c.nullOut) {
            EXPECT_EQ(out, nullptr) << c.what;
        }
        EXPECT_EQ(m_server.CanUnloadNow(), S_OK) << c.what;
    }
}

TEST_F(ServerModuleTest, ClassObjectIsCachedAndHoldsTheServerWhileAClientHasIt)
{
    IUnknown* identities[2] = {};
    for (std::size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(kClasses[i].name);
        ComPtr<IClassFactory> first = ClassObject(*kClasses[i].clsid);
        ASSERT_TRUE(first);
        EXPECT_EQ(m_server.CanUnloadNow(), S_FALSE);
        ComPtr<IUnknown> second;
        ASSERT_EQ(m_server.GetClassObject(*kClasses[i].clsid, IID_IUnknown, &second), S_OK);
        EXPECT_EQ(second.Get(), static_cast<IUnknown*>(first.Get()));
        first.Reset();
        EXPECT_EQ(m_server.CanUnloadNow(), S_FALSE) << "one client reference is left";
        identities[i] = second.Get();
        second.Reset();
        EXPECT_EQ(m_server.CanUnloadNow(), S_OK) << "the cached class object alone keeps nothing loaded";
        // Still the cached one: the server kept its own reference.
        ComPtr<IUnknown> again;
        ASSERT_EQ(m_server.GetClassObject(*kClasses[i].clsid, IID_IUnknown, &again), S_OK);
        EXPECT_EQ(again.Get(), identities[i]);
    }
    EXPECT_NE(identities[0], identities[1]);
    EXPECT_EQ(m_server.CanUnloadNow(), S_OK);
}

TEST_F(ServerModuleTest, LockServerHoldsTheServerUntilUnlocked)
{
    ComPtr<IClassFactory> factory = ClassObject(CLSID_Connect);
    ASSERT_TRUE(factory);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory.Reset();
    EXPECT_EQ(m_server.CanUnloadNow(), S_FALSE);

    factory = ClassObject(CLSID_Connect);
    ASSERT_TRUE(factory);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    factory.Reset();
    EXPECT_EQ(m_server.CanUnloadNow(), S_OK);
}

TEST_F(ServerModuleTest, RefusesAggregationForEveryClass)
{
    ComPtr<IUnknown> outer;
    ASSERT_EQ(ClassObject(CLSID_Connect)->QueryInterface(IID_PPV_ARGS(&outer)), S_OK); // any object will do
    for (const ServerClass& serverClass : kClasses) {
        ComPtr<IClassFactory> factory = ClassObject(*serverClass.clsid);
        ASSERT_TRUE(factory) << serverClass.name;
        for (const IID* iid : {&IID_IUnknown, &IID_IDispatch}) {
            void* out = kSentinel;
            EXPECT_EQ(factory->CreateInstance(outer.Get(), *iid, &out), CLASS_E_NOAGGREGATION) << serverClass.name;
            EXPECT_EQ(out, nullptr) << serverClass.name;
        }
        EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER) << serverClass.name;
    }
    outer.Reset();
    EXPECT_EQ(m_server.CanUnloadNow(), S_OK);
}

TEST_F(ServerModuleTest, ConnectObjectHoldsTheServerAndAnswersIDispatchFromItsLibrary)
{
    ComPtr<IConnect> connect;
    ASSERT_EQ(ClassObject(CLSID_Connect)->CreateInstance(nullptr, IID_IConnect, &connect), S_OK);
    EXPECT_EQ(m_server.CanUnloadNow(), S_FALSE);

    // The library is not registered here: the object finds it in its own DLL.
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(connect->GetTypeInfo(0, 0, &info), S_OK);
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->guid, IID_IConnect);
    info->ReleaseTypeAttr(attributes);
    info.Reset();

    connect.Reset();
    EXPECT_EQ(m_server.CanUnloadNow(), S_OK);
}

// Only the installer actions use msi.dll, and they load it themselves: an Outlook that loads,
// connects and starts the add-in must not load it (a dozen DLLs and megabytes come with it).
TEST(ServerFootprintTest, OutlookStartingTheAddinLoadsNoMsi)
{
    ASSERT_EQ(GetModuleHandleA("msi.dll"), nullptr) << "this test program has loaded msi.dll itself";
    DeleteSettingsKeys();
    {
        CoInitializeGuard com;
        LoadedServer server;
        ASSERT_NE(server.module(), nullptr);
        ComPtr<fake::FakeApplication> app = fake::FakeApplication::Create();
        app->AddExplorerQuietly();
        ComPtr<IClassFactory> factory;
        ComPtr<_IDTExtensibility2> addin;
        ASSERT_EQ(server.GetClassObject(CLSID_Connect, IID_IClassFactory, &factory), S_OK);
        ASSERT_EQ(factory->CreateInstance(nullptr, IID__IDTExtensibility2, &addin), S_OK);
        EXPECT_EQ(addin->OnConnection(app.Get(), ext_cm_Startup, nullptr, nullptr), S_OK);
        EXPECT_EQ(addin->OnStartupComplete(nullptr), S_OK);
        EXPECT_EQ(GetModuleHandleA("msi.dll"), nullptr);
        addin->OnDisconnection(ext_dm_HostShutdown, nullptr);
    }
    DeleteSettingsKeys();
}

TEST_F(ServerModuleTest, ExportsCommitAndRollbackAsOneFunctionUnderDecoratedNames)
{
    for (const char* name : {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer",
                             "Install", "PostInstall", "Uninstall"})
        EXPECT_NE(m_server.Export(name), nullptr) << name;

    FARPROC commit = m_server.Export("?Commit@@YAKK@Z");
    FARPROC rollback = m_server.Export("?Rollback@@YAKK@Z");
    ASSERT_NE(commit, nullptr);
    EXPECT_EQ(rollback, commit);
    using Action = UINT(WINAPI*)(MSIHANDLE);
    EXPECT_EQ(reinterpret_cast<Action>(reinterpret_cast<void*>(commit))(42), 0u);
    EXPECT_EQ(m_server.Export("Commit"), nullptr);
    EXPECT_EQ(m_server.Export("Rollback"), nullptr);
}

LONG WINAPI TestFilter(EXCEPTION_POINTERS*)
{
    return EXCEPTION_CONTINUE_SEARCH;
}

TEST(ServerModuleFilterTest, InstalledWhileLoadedAndPutBackAtUnload)
{
    const LPTOP_LEVEL_EXCEPTION_FILTER original = SetUnhandledExceptionFilter(&TestFilter);
    {
        LoadedServer server;
        ASSERT_NE(server.module(), nullptr);
        // Reading the installed filter means replacing it for a moment.
        const LPTOP_LEVEL_EXCEPTION_FILTER installed = SetUnhandledExceptionFilter(&TestFilter);
        SetUnhandledExceptionFilter(installed);
        ASSERT_NE(installed, &TestFilter);
        HMODULE owner = nullptr;
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCSTR>(installed), &owner);
        EXPECT_EQ(owner, server.module());
        EXCEPTION_RECORD record{};
        record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
        CONTEXT context{};
        EXCEPTION_POINTERS pointers{&record, &context};
        EXPECT_EQ(installed(&pointers), EXCEPTION_EXECUTE_HANDLER);
    }
    EXPECT_EQ(SetUnhandledExceptionFilter(original), &TestFilter);
}

LONG WINAPI LaterFilter(EXCEPTION_POINTERS*)
{
    return EXCEPTION_CONTINUE_SEARCH;
}

TEST(ServerModuleFilterTest, AFilterInstalledAfterItsOwnStaysAtUnload)
{
    // Another filter (Outlook's, or another add-in's) installed while the DLL was loaded is not
    // taken away by the unload.
    const LPTOP_LEVEL_EXCEPTION_FILTER original = SetUnhandledExceptionFilter(&TestFilter);
    {
        LoadedServer server;
        ASSERT_NE(server.module(), nullptr);
        SetUnhandledExceptionFilter(&LaterFilter);
    }
    EXPECT_EQ(SetUnhandledExceptionFilter(original), &LaterFilter);
}

// From another thread: whether "VantrelMutex" could be taken at once (and is given back).
bool OtherThreadCanTakeMutex()
{
    bool taken = false;
    std::thread([&taken] {
        UniqueHandle mutex(OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, "VantrelMutex"));
        if (!mutex)
            return;
        const DWORD wait = WaitForSingleObject(mutex.get(), 0);
        taken = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
        if (taken)
            ReleaseMutex(mutex.get());
    }).join();
    return taken;
}

bool MutexExists()
{
    return UniqueHandle(OpenMutexA(SYNCHRONIZE, FALSE, "VantrelMutex")).valid();
}

// In a process of its own: the mutex is created at the DLL's first load in a process.
void ReportMutexAcrossLoadAndUnload()
{
    const bool before = MutexExists();
    LoadedServer server;
    const bool whileLoaded = MutexExists();
    const bool heldWhileLoaded = !OtherThreadCanTakeMutex();
    server.Unload();
    const bool freeAfterUnload = OtherThreadCanTakeMutex();
    std::fprintf(stderr, "before=%d loaded=%d held=%d released=%d\n", before, whileLoaded, heldWhileLoaded,
                 freeAfterUnload);
    std::fflush(stderr);
    std::exit(0);
}

TEST(ServerModuleDeathTest, MutexIsHeldByTheLoadingThreadUntilUnload)
{
    EXPECT_EXIT((BoundThisChild(), ReportMutexAcrossLoadAndUnload()), ::testing::ExitedWithCode(0),
                "before=0 loaded=1 held=1 released=1");
}

} // namespace
