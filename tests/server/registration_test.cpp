// Registration of Vantrel.dll with the real regsvr32 and through its own exports: the registry
// afterwards holds exactly the entries of the registry scripts and the type library.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

#include "win32/raii.h"
#include "win32/text_convert.h"
#include "server/server_test_support.h"
#include "support/test_support.h"

namespace {

using Lines = std::vector<std::string>;

const LCID kGerman = MAKELCID(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), SORT_DEFAULT);

std::string Quoted(const std::string& path)
{
    return "\"" + path + "\"";
}

// Every test starts and ends without any of the server's entries.
class RegsvrTest : public ::testing::Test {
protected:
    void SetUp() override { DeleteRegistration(); }
    void TearDown() override { DeleteRegistration(); }
};

TEST_F(RegsvrTest, RegistrationWritesTheScriptsAndTheTypeLibrary)
{
    ASSERT_EQ(RunRegsvr32("/s " + Quoted(ServerDllPath())), 0u);
    EXPECT_TRUE(RegistryHolds(FullRegistration(ServerDllPath())));
}

TEST_F(RegsvrTest, RegisteringAgainGivesTheSameAndRewritesTheClassKeys)
{
    ASSERT_EQ(RunRegsvr32("/s " + Quoted(ServerDllPath())), 0u);
    AddStaleClassEntries();
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_EQ(RunRegsvr32("/s " + Quoted(ServerDllPath())), 0u);
    EXPECT_TRUE(RegistryHolds(FullRegistration(ServerDllPath())));
}

TEST_F(RegsvrTest, UnregistrationLeavesOnlyTheKeptAddinKey)
{
    ASSERT_EQ(RunRegsvr32("/s " + Quoted(ServerDllPath())), 0u);
    ASSERT_EQ(RunRegsvr32("/u /s " + Quoted(ServerDllPath())), 0u);
    EXPECT_TRUE(RegistryHolds(KeptAfterUnregistration()));
}

TEST_F(RegsvrTest, PathWithASingleQuoteReachesTheRegistryUnchanged)
{
    ScopedTempDir temp;
    const std::string folder = temp.file("Vantrel's server");
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    const std::string dll = folder + "\\Vantrel.dll";
    ASSERT_TRUE(CopyFileA(ServerDllPath().c_str(), dll.c_str(), FALSE));

    ASSERT_EQ(RunRegsvr32("/s " + Quoted(dll)), 0u);
    EXPECT_TRUE(RegistryHolds(FullRegistration(dll)));
    ASSERT_EQ(RunRegsvr32("/u /s " + Quoted(dll)), 0u);
    EXPECT_TRUE(RegistryHolds(KeptAfterUnregistration()));
}

// A folder name that the ANSI code page cannot carry (Cyrillic on a Western machine) reaches
// the registry and the type library's registration unchanged.
TEST_F(RegsvrTest, PathOutsideTheAnsiCodePageReachesTheRegistryUnchanged)
{
    const std::wstring name = L"\x041F\x0440\x043E\x0433\x0440\x0430\x043C\x043C\x044B"; // "Programmy", in Cyrillic
    BOOL lossy = FALSE;
    (void)WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name.c_str(), -1, nullptr, 0, nullptr, &lossy);
    if (!lossy)
        GTEST_SKIP() << "the ANSI code page " << GetACP() << " carries the folder's name";

    ScopedTempDir temp;
    const std::wstring folder = ToWide(temp.path(), CP_ACP) + L"\\" + name;
    const std::wstring dll = folder + L"\\Vantrel.dll";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    // ScopedTempDir deletes through the ANSI API, which cannot name this folder.
    struct RemoveFolder {
        std::wstring folder, dll;
        ~RemoveFolder()
        {
            DeleteFileW(dll.c_str());
            RemoveDirectoryW(folder.c_str());
        }
    } remove{folder, dll};
    ASSERT_TRUE(CopyFileW(ToWide(ServerDllPath(), CP_ACP).c_str(), dll.c_str(), FALSE));

    ASSERT_EQ(RunRegsvr32(L"/s \"" + dll + L"\""), 0u);
    EXPECT_TRUE(RegistryHolds(FullRegistration(ToNarrow(dll, CP_UTF8))));
    ASSERT_EQ(RunRegsvr32(L"/u /s \"" + dll + L"\""), 0u);
    EXPECT_TRUE(RegistryHolds(KeptAfterUnregistration()));
}

TEST_F(RegsvrTest, RegistersWhileAnotherProcessHasTheDllLoaded)
{
    LoadedServer loaded; // holds "VantrelMutex" in this process
    ASSERT_NE(loaded.module(), nullptr);
    ASSERT_EQ(RunRegsvr32("/s " + Quoted(ServerDllPath())), 0u);
    EXPECT_TRUE(RegistryHolds(FullRegistration(ServerDllPath())));
}

// The exports called in this process, from a thread whose locale is not the system's.
class ServerRegistrationTest : public RegsvrTest {
protected:
    void SetUp() override
    {
        RegsvrTest::SetUp();
        m_savedLocale = GetThreadLocale();
        ASSERT_TRUE(SetThreadLocale(kGerman));
        ASSERT_NE(m_server.module(), nullptr);
    }
    void TearDown() override
    {
        SetThreadLocale(m_savedLocale);
        RegsvrTest::TearDown();
    }

    LoadedServer m_server;
    LCID m_savedLocale = 0;
};

TEST_F(ServerRegistrationTest, RegisterAndUnregisterKeepTheThreadLocale)
{
    EXPECT_EQ(m_server.RegisterServer(), S_OK);
    EXPECT_EQ(GetThreadLocale(), kGerman);
    EXPECT_TRUE(RegistryHolds(FullRegistration(ServerDllPath())));

    EXPECT_EQ(m_server.UnregisterServer(), S_OK);
    EXPECT_EQ(GetThreadLocale(), kGerman);
    EXPECT_TRUE(RegistryHolds(KeptAfterUnregistration()));
}

// On 64-bit Windows each Office bitness reads its own registry view: registration (in-process,
// as regsvr32 of the DLL's bitness does it) fills the view of the DLL's bitness, and the other
// view gets neither the classes (CLSID, which WOW64 redirects) nor the add-in entry, so that
// Office of the other bitness never tries to load a DLL it cannot load. (Program IDs, AppID and
// TypeLib are shared by both views on Windows 7 and later.) Unregistration empties it again.
TEST_F(ServerRegistrationTest, RegistrationGoesToTheViewOfTheDllsBitnessOnly)
{
    if (!RegistryHasTwoViews())
        GTEST_SKIP() << "32-bit Windows has one registry view";
    const REGSAM other = RegistrationView() == KEY_WOW64_64KEY ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    ASSERT_EQ(m_server.RegisterServer(), S_OK);
    EXPECT_TRUE(RegistryHolds(FullRegistration(ServerDllPath())));
    for (const std::string& line : RegistrationSnapshot(other)) {
        EXPECT_NE(line.rfind("HKCR\\CLSID\\", 0), 0u) << line;
        EXPECT_EQ(line.find("\\Office\\Outlook\\Addins\\"), std::string::npos) << line;
    }

    EXPECT_EQ(m_server.UnregisterServer(), S_OK);
    EXPECT_TRUE(RegistryHolds(KeptAfterUnregistration()));
}

TEST_F(ServerRegistrationTest, FailingClassScriptStopsRegistrationAndKeepsWhatCameBefore)
{
    // The Connect script's ProgID key exists as a volatile key, under which the registry
    // refuses the script's lasting CLSID subkey.
    UniqueHKey progId;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Classes\\Vantrel.Connect", 0, nullptr,
                              REG_OPTION_VOLATILE, KEY_WRITE, nullptr, progId.put(), nullptr),
              ERROR_SUCCESS);
    progId.reset();

    EXPECT_EQ(m_server.RegisterServer(), HRESULT_FROM_WIN32(ERROR_CHILD_MUST_BE_VOLATILE));
    EXPECT_EQ(GetThreadLocale(), kGerman);
    // The module and page scripts stay; the failing script's block is undone; the type
    // library is not registered.
    Lines expected = ModuleScriptEntries(ServerDllPath());
    const Lines page = PageScriptEntries(ServerDllPath());
    expected.insert(expected.end(), page.begin(), page.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_TRUE(RegistryHolds(expected));
}

// A registration that failed after the add-in key was written can be undone: the type
// library, never registered, is no reason to stop before the add-in key. Unregistering again,
// with nothing left (the library gone too), succeeds the same way.
TEST_F(ServerRegistrationTest, FailedRegistrationIsUndoneByUnregistration)
{
    UniqueHKey progId; // refuses the Connect script's lasting CLSID subkey, as above
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Classes\\Vantrel.Connect", 0, nullptr,
                              REG_OPTION_VOLATILE, KEY_WRITE, nullptr, progId.put(), nullptr),
              ERROR_SUCCESS);
    progId.reset();
    ASSERT_EQ(m_server.RegisterServer(), HRESULT_FROM_WIN32(ERROR_CHILD_MUST_BE_VOLATILE));

    EXPECT_EQ(m_server.UnregisterServer(), S_OK);
    EXPECT_TRUE(RegistryHolds(KeptAfterUnregistration()));
    EXPECT_EQ(m_server.UnregisterServer(), S_OK);
    EXPECT_TRUE(RegistryHolds(KeptAfterUnregistration()));
}

} // namespace
