// The exports Install, PostInstall and Uninstall of Vantrel.dll, each run by the action runner in
// a process of its own with an installation handle from a real package (helpers/test_package.wxs).
#include <gtest/gtest.h>

#include <shlobj.h>

#include <string>
#include <vector>

#include "setup/installer_actions.h"
#include "setup_test_support.h"
#include "support/fake_app.h"

namespace {

using Lines = std::vector<std::string>;

const char kProductCode[] = "{5B7D0E2A-3C41-4F6B-9A8E-1D2C3B4A5F60}";

std::string SpecialFolder(int csidl)
{
    char path[MAX_PATH] = {};
    SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE);
    return path;
}

std::string MenuFolder()
{
    return SpecialFolder(CSIDL_COMMON_PROGRAMS) + "\\Vantrel";
}

std::string LinkPath()
{
    return MenuFolder() + "\\Uninstall.lnk";
}

std::string Package()
{
    return BinPath("setup\\vantrel_test.msi");
}

std::string Msiexec()
{
    return SpecialFolder(CSIDL_SYSTEM) + "\\msiexec.exe";
}

bool FolderExists(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// "export <name> <package> <UILevel> <ProductCode> <com>" for the action runner.
std::string Export(const char* name, const std::string& package = "-", const std::string& uiLevel = "-",
                   const std::string& productCode = "-", const char* com = "none")
{
    return std::string("export ") + name + " \"" + package + "\" " + uiLevel + " " + productCode + " " + com;
}

class InstallerActionsTest : public ::testing::Test {
protected:
    void SetUp() override { DeleteTree(MenuFolder()); }
    void TearDown() override { DeleteTree(MenuFolder()); }
};

struct InstallCase {
    const char* name;
    bool package;   // a handle from the test package, else handle 0 (every read fails)
    const char* uiLevel;
    const char* com; // "mta": the installer's thread is in the multithreaded apartment
    int prompts;
    const char* arguments;
};

void PrintTo(const InstallCase& c, std::ostream* out)
{
    *out << c.name;
}

class InstallTest : public InstallerActionsTest, public ::testing::WithParamInterface<InstallCase> {};

TEST_P(InstallTest, AsksOnlyWithDialogsAndCreatesTheUninstallShortcut)
{
    const InstallCase& c = GetParam();
    ScopedTempDir dir;
    FakeApp outlook(FakeImage::Outlook, "A", "pump", dir);
    ASSERT_TRUE(outlook.ready());
    // Cancel: the installation goes on with Outlook left running.
    ActionRun run(dir, Export("Install", c.package ? Package() : "-", c.uiLevel, "-", c.com));
    PromptAnswerer answerer(run, {IDCANCEL});

    ASSERT_TRUE(run.Finish()) << run.Result();
    EXPECT_EQ(answerer.Count(), c.prompts);
    EXPECT_TRUE(outlook.Running());
    const Lines taken = outlook.Record();
    EXPECT_TRUE(taken.empty()) << ::testing::PrintToString(taken);
    EXPECT_EQ(run.OwnQueue(), Lines{});

    const Link link = ReadLink(LinkPath());
    ASSERT_TRUE(link.loaded);
    EXPECT_EQ(link.path, Msiexec());
    EXPECT_EQ(link.arguments, c.arguments);
    EXPECT_EQ(link.description, "Uninstall");
    EXPECT_EQ(link.iconPath, Msiexec());
    EXPECT_EQ(link.iconIndex, 0);
}

const std::string kUninstallArguments = std::string("/x ") + kProductCode;

INSTANTIATE_TEST_SUITE_P(
    UiLevels, InstallTest,
    ::testing::Values(InstallCase{"FullUi", true, "5", "none", 1, kUninstallArguments.c_str()},
                      InstallCase{"ReducedUi", true, "4", "none", 1, kUninstallArguments.c_str()},
                      InstallCase{"BasicUi", true, "3", "none", 0, kUninstallArguments.c_str()},
                      InstallCase{"Silent", true, "2", "none", 0, kUninstallArguments.c_str()},
                      InstallCase{"SilentOnAMultithreadedThread", true, "2", "mta", 0, kUninstallArguments.c_str()},
                      // Neither the UI level nor the product code can be read.
                      InstallCase{"HandleThatFailsEveryRead", false, "-", "none", 0, "/x "}),
    [](const ::testing::TestParamInfo<InstallCase>& info) { return std::string(info.param.name); });

TEST_F(InstallerActionsTest, ProductCodeTooLongForTheArgumentsGivesNoShortcut)
{
    // "/x " and the code fill the 260-byte buffer exactly at 256 characters.
    for (const size_t length : {size_t{256}, size_t{257}, size_t{2000}}) {
        SCOPED_TRACE(length);
        DeleteTree(MenuFolder());
        const std::string code(length, 'C');
        ScopedTempDir dir;
        ActionRun run(dir, Export("Install", Package(), "2", code));
        ASSERT_TRUE(run.Finish()) << run.Result();

        EXPECT_TRUE(FolderExists(MenuFolder()));
        const Link link = ReadLink(LinkPath());
        if (length == 256) {
            ASSERT_TRUE(link.loaded);
            EXPECT_EQ(link.arguments, "/x " + code);
        } else {
            EXPECT_FALSE(FileExists(LinkPath()));
        }
    }
}

TEST_F(InstallerActionsTest, UninstallClosesOutlookWithoutAskingOnlyWithDialogsAndDeletesTheFolder)
{
    // Window 0 is an app window without a child: nothing for it, and nothing into the
    // runner's own queue either.
    const Lines closed = {"child1 WM_CLOSE", "child1 WM_QUIT"};
    const struct {
        const char* uiLevel; // "-": handle 0, whose reads fail
        Lines taken;
    } cases[] = {{"5", closed}, {"4", closed}, {"3", {}}, {"2", {}}, {"-", {}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("UILevel ") + c.uiLevel);
        ScopedTempDir dir;
        {
            ActionRun install(dir, Export("Install", Package(), "2"));
            ASSERT_TRUE(install.Finish()) << install.Result();
        }
        ASSERT_TRUE(FileExists(LinkPath()));

        FakeApp outlook(FakeImage::Outlook, "aA", "pump", dir);
        ASSERT_TRUE(outlook.ready());
        const bool handle = std::string(c.uiLevel) != "-";
        ActionRun uninstall(dir, Export("Uninstall", handle ? Package() : "-", c.uiLevel));
        PromptAnswerer answerer(uninstall, {IDOK});
        ASSERT_TRUE(uninstall.Finish()) << uninstall.Result();

        EXPECT_FALSE(FolderExists(MenuFolder()));
        EXPECT_EQ(answerer.Count(), 0);
        EXPECT_EQ(outlook.Record(), c.taken);
        EXPECT_TRUE(outlook.Running());
        EXPECT_EQ(uninstall.OwnQueue(), Lines{});
    }
}

// Stand-ins for what Uninstall asks of the system record each call. Function pointers carry no
// state, so the record is the test program's own.
struct UninstallRecord {
    bool inScript = false;
    int closes = 0;
    int deletes = 0;
    FILEOP_FLAGS flags = 0;
    std::string from;
};
UninstallRecord g_uninstall;

bool StandInRunsInScript(MSIHANDLE) noexcept
{
    return g_uninstall.inScript;
}
void StandInCloseOutlook() noexcept
{
    ++g_uninstall.closes;
}
int WINAPI StandInDeleteFolder(LPSHFILEOPSTRUCTA operation)
{
    ++g_uninstall.deletes;
    g_uninstall.flags = operation->fFlags;
    g_uninstall.from = operation->pFrom;
    return 0;
}

TEST_F(InstallerActionsTest, UninstallLetsOnlyAnsweringUsersSeeOutlookClosedOrAnErrorBox)
{
    // Inside the script (deferred, LocalSystem, session 0) nobody sees a box and no user's
    // Outlook is within reach, whatever UILevel reads (Windows gives a deferred action no
    // UILevel, Wine does).
    const struct {
        const char* uiLevel; // null: handle 0, whose reads fail
        bool inScript;
        int closes;
        bool noErrorUi;
    } cases[] = {
        {"5", false, 1, false}, {"4", false, 1, false}, {"3", false, 0, true},
        {"2", false, 0, true},  {nullptr, false, 0, true}, {"5", true, 0, true},
    };
    ASSERT_TRUE(CreateDirectoryA(MenuFolder().c_str(), nullptr));
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("UILevel ") + (c.uiLevel ? c.uiLevel : "unreadable") +
                     (c.inScript ? ", in the script" : ", immediate"));
        TestInstallation install(c.uiLevel);
        ASSERT_TRUE(install.ready());
        g_uninstall = UninstallRecord{};
        g_uninstall.inScript = c.inScript;
        const Setup::UninstallCalls standIns{StandInRunsInScript, StandInCloseOutlook, StandInDeleteFolder};

        EXPECT_EQ(Setup::Uninstall(install.get(), standIns), static_cast<UINT>(ERROR_SUCCESS));
        EXPECT_EQ(g_uninstall.closes, c.closes);
        ASSERT_EQ(g_uninstall.deletes, 1);
        EXPECT_EQ(g_uninstall.from, MenuFolder());
        EXPECT_EQ(g_uninstall.flags & (FOF_SILENT | FOF_NOCONFIRMATION), FOF_SILENT | FOF_NOCONFIRMATION);
        EXPECT_EQ((g_uninstall.flags & FOF_NOERRORUI) != 0, c.noErrorUi);
    }
}

TEST_F(InstallerActionsTest, QuietUninstallOfAFolderWithAFileHeldOpenReturns)
{
    // A file opened without share-delete cannot go: the delete fails, and a quiet removal must
    // not wait on an error box that nobody answers (Wine's shell shows none; the stand-in test
    // above checks the flags that keep Windows' shell from showing one).
    ASSERT_TRUE(CreateDirectoryA(MenuFolder().c_str(), nullptr));
    const std::string held = MenuFolder() + "\\Held.txt";
    {
        UniqueFileHandle file(CreateFileA(held.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file.valid());
        ScopedTempDir dir;
        ActionRun run(dir, Export("Uninstall", Package(), "2"));
        const bool finished = run.Finish();
        if (!finished && run.process())
            (void)TerminateProcess(run.process(), 1); // a box waits for ever; the test fails
        EXPECT_TRUE(finished) << run.Result();
    }
    EXPECT_TRUE(FileExists(held)) << "the held file could not have gone";
}

TEST_F(InstallerActionsTest, UninstallInsideTheScriptOpensNoProcessAndStillDeletesTheFolder)
{
    // The elevated removal runs as LocalSystem in session 0: a walk of every process there
    // opens lsass and the like, and reaches no user's window anyway. Full UI, at which Wine
    // lets a deferred action read UILevel 5, so only the script itself keeps Outlook untouched.
    const std::string package = BinPath("setup\\vantrel_script_test.msi");
    ASSERT_TRUE(CreateDirectoryA(MenuFolder().c_str(), nullptr));
    ScopedTempDir dir;
    FakeApp outlook(FakeImage::Outlook, "aA", "pump", dir);
    ASSERT_TRUE(outlook.ready());

    EXPECT_EQ(RunAndWait(Msiexec() + " /i \"" + package + "\" /qf", 90000), 0u);
    EXPECT_EQ(outlook.Record(), Lines{});
    EXPECT_TRUE(outlook.Running());
    EXPECT_FALSE(FolderExists(MenuFolder())) << "the action ran";
    // The package has no feature, so nothing stays installed.
}

TEST_F(InstallerActionsTest, UninstallWithoutTheFolderStillSucceeds)
{
    ScopedTempDir dir;
    ASSERT_FALSE(FolderExists(MenuFolder()));
    ActionRun run(dir, Export("Uninstall"));
    EXPECT_TRUE(run.Finish()) << run.Result();
    EXPECT_FALSE(FolderExists(MenuFolder()));
}

// Registers the stand-in under App Paths while it lives: as "outlook.exe", where Windows looks
// a name without extension up, and as "outlook", where Wine looks it up.
class AppPathStandIn {
public:
    AppPathStandIn()
    {
        const std::string target = BinPath("setup\\setup_outlook_standin.exe");
        m_registered = true;
        for (const char* key : kKeys) {
            HKEY handle = nullptr;
            m_registered = m_registered &&
                           RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle,
                                           nullptr) == ERROR_SUCCESS &&
                           RegSetValueExA(handle, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(target.c_str()),
                                          static_cast<DWORD>(target.size() + 1)) == ERROR_SUCCESS;
            if (handle)
                RegCloseKey(handle);
        }
    }
    ~AppPathStandIn()
    {
        for (const char* key : kKeys)
            (void)RegDeleteKeyA(HKEY_LOCAL_MACHINE, key);
    }
    bool registered() const { return m_registered; }

private:
    static constexpr const char* kKeys[] = {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\outlook.exe",
                                            "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\outlook"};
    bool m_registered = false;
};

TEST_F(InstallerActionsTest, PostInstallStartsOutlookByTheNameThePlatformKnows)
{
    UniqueHandle started(CreateEventA(nullptr, TRUE, FALSE, "Local\\VantrelOutlookStandInStarted"));
    AppPathStandIn standIn;
    ASSERT_TRUE(standIn.registered());
    ScopedTempDir dir;
    ActionRun run(dir, Export("PostInstall", Package(), "5"));

    ASSERT_TRUE(run.Finish()) << run.Result();
    EXPECT_EQ(WaitForSingleObject(started.get(), kRunnerWaitMs), static_cast<DWORD>(WAIT_OBJECT_0));
}

} // namespace
