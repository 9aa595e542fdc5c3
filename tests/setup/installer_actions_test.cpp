// The exports Install, PostInstall and Uninstall of Vantrel.dll, each run by the action runner in
// a process of its own with an installation handle from a real package (helpers/test_package.wxs),
// inside a real installation's script (helpers/script_package.wxs), or called here with
// stand-ins for what Wine cannot be: a deferred action, LocalSystem, session 0.
#include <gtest/gtest.h>

#include <windows.h>
#include <msiquery.h>
#include <shlobj.h>

#include <cstring>
#include <sstream>
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

void WriteFile(const std::string& path)
{
    UniqueFileHandle file(
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file.valid()) << path;
}

// Starts from a Start-menu entry with or without its folder and shortcut (an empty file stands in
// for the link).
void PrepareMenu(bool folder, bool link)
{
    DeleteTree(MenuFolder());
    if (folder) {
        ASSERT_TRUE(CreateDirectoryA(MenuFolder().c_str(), nullptr));
    }
    if (link)
        WriteFile(LinkPath());
}

// "export <name> <package> <UILevel> <ProductCode> <com>" for the action runner.
std::string Export(const char* name, const std::string& package = "-", const std::string& uiLevel = "-",
                   const std::string& productCode = "-", const char* com = "none")
{
    return std::string("export ") + name + " \"" + package + "\" " + uiLevel + " " + productCode + " " + com;
}

// The "property <name> <value>" lines of a run's result, as "<name>=<value>".
Lines RollbackData(const ActionRun& run)
{
    Lines data;
    std::istringstream in(run.Result());
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("property ", 0) != 0)
            continue;
        line = line.substr(9);
        const size_t blank = line.find(' ');
        data.push_back(line.substr(0, blank) + "=" + (blank == std::string::npos ? "" : line.substr(blank + 1)));
    }
    return data;
}

class InstallerActionsTest : public ::testing::Test {
protected:
    void SetUp() override { DeleteTree(MenuFolder()); }
    void TearDown() override
    {
        Setup::UseActionCalls(nullptr);
        DeleteTree(MenuFolder());
    }
};

struct InstallCase {
    const char* name;
    bool package; // a handle from the test package, else handle 0 (every read fails)
    const char* uiLevel;
    int prompts;
};

void PrintTo(const InstallCase& c, std::ostream* out)
{
    *out << c.name;
}

class InstallTest : public InstallerActionsTest, public ::testing::WithParamInterface<InstallCase> {};

TEST_P(InstallTest, ImmediateInstallAsksOnlyWithDialogsAndChangesNothingElse)
{
    // Anything the immediate action made would stay behind an installation that fails before
    // its script runs: only the script's actions, each with its rollback, change the machine.
    const InstallCase& c = GetParam();
    ScopedTempDir dir;
    FakeApp outlook(FakeImage::Outlook, "A", "pump", dir);
    ASSERT_TRUE(outlook.ready());
    // Cancel: the installation goes on with Outlook left running.
    ActionRun run(dir, Export("Install", c.package ? Package() : "-", c.uiLevel));
    PromptAnswerer answerer(run, {IDCANCEL});

    ASSERT_TRUE(run.Finish()) << run.Result();
    EXPECT_EQ(answerer.Count(), c.prompts);
    EXPECT_TRUE(outlook.Running());
    const Lines taken = outlook.Record();
    EXPECT_TRUE(taken.empty()) << ::testing::PrintToString(taken);
    EXPECT_EQ(run.OwnQueue(), Lines{});
    EXPECT_FALSE(FileExists(MenuFolder()));
}

INSTANTIATE_TEST_SUITE_P(UiLevels, InstallTest,
                         ::testing::Values(InstallCase{"FullUi", true, "5", 1}, InstallCase{"ReducedUi", true, "4", 1},
                                           InstallCase{"BasicUi", true, "3", 0}, InstallCase{"Silent", true, "2", 0},
                                           // The UI level cannot be read.
                                           InstallCase{"HandleThatFailsEveryRead", false, "-", 0}),
                         [](const ::testing::TestParamInfo<InstallCase>& info) { return std::string(info.param.name); });

TEST_F(InstallerActionsTest, ImmediateInstallHandsWhatItFoundToTheRollbacks)
{
    // The rollback before the elevated Install deletes what is missing now (what that Install
    // is about to create); the one before the elevated Uninstall puts back what is there now.
    const struct {
        const char* name;
        bool folder, link;
        Lines data;
    } cases[] = {
        {"nothing there", false, false,
         {"VantrelInstallRollback=folder;link", "VantrelUninstallRollback="}},
        {"an empty folder", true, false, {"VantrelInstallRollback=link", "VantrelUninstallRollback=folder"}},
        {"folder and shortcut", true, true, {"VantrelInstallRollback=", "VantrelUninstallRollback=folder;link"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PrepareMenu(c.folder, c.link);
        ASSERT_FALSE(HasFatalFailure());
        ScopedTempDir dir;
        ActionRun run(dir, Export("Install", Package(), "2"));
        ASSERT_TRUE(run.Finish()) << run.Result();
        EXPECT_EQ(RollbackData(run), c.data);
    }
}


// Stand-ins for what the actions ask of the system record each call. Function pointers carry no
// state, so the record is the test program's own.
struct CallRecord {
    bool inScript = false;
    bool rollback = false;
    bool localSystem = false;
    DWORD session = 1;
    int quits = 0;
    int closes = 0;
};
CallRecord g_calls;

const Setup::ActionCalls kStandIns{
    [](MSIHANDLE) noexcept { return g_calls.inScript; },
    [](MSIHANDLE) noexcept { return g_calls.rollback; },
    SessionFacts{[]() noexcept { return g_calls.localSystem; }, []() noexcept { return g_calls.session; }},
    []() noexcept { ++g_calls.quits; },
    []() noexcept { ++g_calls.closes; },
};

// The actions from here to the test's end ask the stand-ins (the fixture puts the system's back).
void UseStandIns()
{
    Setup::UseActionCalls(&kStandIns);
}

TEST_F(InstallerActionsTest, OutlookIsAskedAboutOnlyByAnImmediateActionForAnInteractiveUser)
{
    UseStandIns();
    // A deployment tool's msiexec runs as LocalSystem in session 0 even with a full UI: a prompt
    // there waits for ever. Inside the script (deferred) nobody can answer either, whatever
    // UILevel reads (Windows gives a deferred action no UILevel, Wine does).
    const struct {
        const char* name;
        const char* uiLevel; // null: handle 0, whose reads fail
        const char* remove;
        bool inScript, localSystem;
        DWORD session;
        int asked; // Install's quits and Uninstall's closes
    } cases[] = {
        {"full UI, a user", "5", "", false, false, 1, 1},
        {"reduced UI, a user", "4", "", false, false, 2, 1},
        {"basic UI", "3", "", false, false, 1, 0},
        {"silent", "2", "", false, false, 1, 0},
        {"unreadable UI level", nullptr, "", false, false, 1, 0},
        {"full UI as LocalSystem", "5", "", false, true, 1, 0},
        {"full UI in session 0", "5", "", false, false, 0, 0},
        {"full UI inside the script", "5", "", true, false, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestInstallation install(c.uiLevel);
        ASSERT_TRUE(install.ready());
        g_calls = CallRecord{c.inScript, false, c.localSystem, c.session};
        EXPECT_EQ(Setup::Install(install.get()), static_cast<UINT>(ERROR_SUCCESS));
        EXPECT_EQ(g_calls.quits, c.asked);
        EXPECT_EQ(Setup::Uninstall(install.get()), static_cast<UINT>(ERROR_SUCCESS));
        EXPECT_EQ(g_calls.closes, c.asked);
    }
    // A complete removal that runs Install to look at the Start menu leaves Outlook to Uninstall.
    TestInstallation removal("5");
    ASSERT_TRUE(removal.ready());
    ASSERT_EQ(MsiSetPropertyA(removal.get(), "REMOVE", "ALL"), static_cast<UINT>(ERROR_SUCCESS));
    g_calls = CallRecord{};
    (void)Setup::Install(removal.get());
    EXPECT_EQ(g_calls.quits, 0);
}

TEST_F(InstallerActionsTest, InstallInsideTheScriptCreatesTheUninstallShortcut)
{
    UseStandIns();
    // Handle 0: the product code cannot be read. "/x " and the code fill the 260-byte buffer
    // exactly at 256 characters; a longer code gives no shortcut rather than a cut-off one.
    const std::string fits(256, 'C');
    const struct {
        std::string code; // empty: handle 0
    } cases[] = {{kProductCode}, {""}, {fits}, {std::string(257, 'C')}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code.substr(0, 40) + " (" + std::to_string(c.code.size()) + " characters)");
        DeleteTree(MenuFolder());
        TestInstallation install(c.code.empty() ? nullptr : "2");
        ASSERT_TRUE(install.ready());
        if (!c.code.empty()) {
            ASSERT_EQ(MsiSetPropertyA(install.get(), "ProductCode", c.code.c_str()), static_cast<UINT>(ERROR_SUCCESS));
        }
        g_calls = CallRecord{};
        g_calls.inScript = true;
        EXPECT_EQ(Setup::Install(install.get()), static_cast<UINT>(ERROR_SUCCESS));

        EXPECT_TRUE(FolderExists(MenuFolder()));
        const std::string expected = c.code.empty() ? "/x " : c.code.size() <= 256 ? "/x " + c.code : "";
        const Link link = ReadLink(LinkPath());
        EXPECT_EQ(link.loaded, !expected.empty());
        if (!link.loaded)
            continue;
        EXPECT_EQ(link.path, Msiexec());
        EXPECT_EQ(link.arguments, expected);
        EXPECT_EQ(link.description, "Uninstall");
        EXPECT_EQ(link.iconPath, Msiexec());
        EXPECT_EQ(link.iconIndex, 0);
    }
}

TEST_F(InstallerActionsTest, UninstallInsideTheScriptDeletesTheShortcutAndOnlyAnEmptyFolder)
{
    UseStandIns();
    for (const bool other : {false, true}) {
        SCOPED_TRACE(other ? "another file beside the shortcut" : "the shortcut alone");
        PrepareMenu(true, true);
        ASSERT_FALSE(HasFatalFailure());
        if (other)
            WriteFile(MenuFolder() + "\\Notes.txt");
        TestInstallation install("5");
        ASSERT_TRUE(install.ready());
        g_calls = CallRecord{};
        g_calls.inScript = true;
        EXPECT_EQ(Setup::Uninstall(install.get()), static_cast<UINT>(ERROR_SUCCESS));
        EXPECT_FALSE(FileExists(LinkPath()));
        EXPECT_EQ(FolderExists(MenuFolder()), other);
        EXPECT_EQ(FileExists(MenuFolder() + "\\Notes.txt"), other);
    }
}

// Reads a property of the handle, "" when it cannot be read.
std::string Property(MSIHANDLE install, const char* name)
{
    char value[256] = {};
    DWORD capacity = sizeof(value);
    return MsiGetPropertyA(install, name, value, &capacity) == ERROR_SUCCESS ? value : "";
}

TEST_F(InstallerActionsTest, InAnUpgradeTheRollbackPointsTheShortcutBackAtTheOlderProduct)
{
    UseStandIns();
    // The shortcut there removes the older product (the first one the upgrade found); the
    // elevated Install points it at this one, so a rolled back upgrade would leave a shortcut to
    // the removal of a product that is not installed.
    PrepareMenu(true, true);
    ASSERT_FALSE(HasFatalFailure());
    TestInstallation install("2");
    ASSERT_TRUE(install.ready());
    ASSERT_EQ(MsiSetPropertyA(install.get(), "WIX_UPGRADE_DETECTED", "{OLD-1};{OLD-2}"),
              static_cast<UINT>(ERROR_SUCCESS));
    g_calls = CallRecord{};
    (void)Setup::Install(install.get());
    EXPECT_EQ(Property(install.get(), "VantrelInstallRollback"), "relink={OLD-1}");

    // That rollback, run with its data: the shortcut removes the older product again.
    ASSERT_EQ(MsiSetPropertyA(install.get(), "CustomActionData", "relink={OLD-1}"), static_cast<UINT>(ERROR_SUCCESS));
    g_calls.inScript = true;
    g_calls.rollback = true;
    (void)Setup::Uninstall(install.get());
    EXPECT_EQ(ReadLink(LinkPath()).arguments, "/x {OLD-1}");
}

TEST_F(InstallerActionsTest, RollbackActionsUndoOnlyWhatTheirDataNames)
{
    UseStandIns();
    // Wine's msiexec never rolls a removal back and rolls a failed installation back by running
    // a removal, so the rollback modes are shown here with a stand-in for MsiGetMode and the
    // CustomActionData that the immediate Install would have set.
    const struct {
        const char* name;
        bool install; // Install as the rollback of a removal, else Uninstall as that of an installation
        const char* data;
        bool folderBefore, linkBefore, folderAfter, linkAfter;
    } cases[] = {
        {"removal of folder and shortcut undone", true, "folder;link", false, false, true, true},
        {"removal of the shortcut alone undone", true, "link", true, false, true, true},
        {"removal that found nothing: nothing put back", true, "", false, false, false, false},
        {"installation that made both undone", false, "folder;link", true, true, false, false},
        {"installation into a folder that was there: folder kept", false, "link", true, true, true, false},
        {"installation that found both: nothing deleted", false, "", true, true, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PrepareMenu(c.folderBefore, c.linkBefore);
        ASSERT_FALSE(HasFatalFailure());
        TestInstallation install("2");
        ASSERT_TRUE(install.ready());
        ASSERT_EQ(MsiSetPropertyA(install.get(), "CustomActionData", c.data), static_cast<UINT>(ERROR_SUCCESS));
        ASSERT_EQ(MsiSetPropertyA(install.get(), "ProductCode", kProductCode), static_cast<UINT>(ERROR_SUCCESS));
        g_calls = CallRecord{};
        g_calls.inScript = true;
        g_calls.rollback = true;
        if (c.install)
            (void)Setup::Install(install.get());
        else
            (void)Setup::Uninstall(install.get());
        EXPECT_EQ(FolderExists(MenuFolder()), c.folderAfter);
        EXPECT_EQ(FileExists(LinkPath()), c.linkAfter);
        if (c.install && c.linkAfter) {
            EXPECT_EQ(ReadLink(LinkPath()).arguments, std::string("/x ") + kProductCode);
        }
    }
}

TEST_F(InstallerActionsTest, ImmediateUninstallClosesOutlookWithoutAskingOnlyWithDialogsAndDeletesNothing)
{
    // Window 0 is an app window without a child: nothing for it, and nothing into the
    // runner's own queue either.
    const Lines closed = {"child1 WM_CLOSE", "child1 WM_QUIT"};
    const struct {
        const char* uiLevel; // "-": handle 0, whose reads fail
        Lines taken;
    } cases[] = {{"5", closed}, {"4", closed}, {"3", {}}, {"2", {}}, {"-", {}}};
    ASSERT_TRUE(CreateDirectoryA(MenuFolder().c_str(), nullptr));
    WriteFile(LinkPath());
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("UILevel ") + c.uiLevel);
        ScopedTempDir dir;
        FakeApp outlook(FakeImage::Outlook, "aA", "pump", dir);
        ASSERT_TRUE(outlook.ready());
        const bool handle = std::string(c.uiLevel) != "-";
        ActionRun uninstall(dir, Export("Uninstall", handle ? Package() : "-", c.uiLevel));
        PromptAnswerer answerer(uninstall, {IDOK});
        ASSERT_TRUE(uninstall.Finish()) << uninstall.Result();

        EXPECT_TRUE(FileExists(LinkPath())) << "only the script deletes";
        EXPECT_EQ(answerer.Count(), 0);
        EXPECT_EQ(outlook.Record(), c.taken);
        EXPECT_TRUE(outlook.Running());
        EXPECT_EQ(uninstall.OwnQueue(), Lines{});
    }
}

TEST_F(InstallerActionsTest, ActionsInsideARealScriptWithFullUiOpenNoProcessAndAskNothing)
{
    // Full UI, at which Wine lets a deferred action read UILevel 5 and runs it for the user in
    // session 1: only the actions' own rule about the script keeps Outlook untouched and the
    // prompt away (on Windows the elevated actions run as LocalSystem in session 0, where a walk
    // of every process opens lsass and the like and reaches no user's window anyway).
    const std::string package = BinPath("setup\\vantrel_script_test.msi");
    for (const char* action : {"Install", "Uninstall"}) {
        SCOPED_TRACE(action);
        const bool uninstall = std::string(action) == "Uninstall";
        PrepareMenu(uninstall, uninstall);
        ASSERT_FALSE(HasFatalFailure());
        ScopedTempDir dir;
        FakeApp outlook(FakeImage::Outlook, "aA", "pump", dir);
        ASSERT_TRUE(outlook.ready());

        // A prompt nobody answers keeps msiexec from ending.
        EXPECT_EQ(RunAndWait(Msiexec() + " /i \"" + package + "\" /qf SCRIPT_ACTION=" + action, 90000), 0u);
        EXPECT_EQ(outlook.Record(), Lines{});
        EXPECT_TRUE(outlook.Running());
        EXPECT_EQ(FileExists(LinkPath()), std::string(action) == "Install") << "the action ran";
        // The package has no feature, so nothing stays installed.
    }
}

TEST_F(InstallerActionsTest, UninstallWithoutTheFolderStillSucceeds)
{
    UseStandIns();
    ScopedTempDir dir;
    ASSERT_FALSE(FolderExists(MenuFolder()));
    TestInstallation install("2");
    ASSERT_TRUE(install.ready());
    g_calls = CallRecord{};
    g_calls.inScript = true;
    EXPECT_EQ(Setup::Uninstall(install.get()), static_cast<UINT>(ERROR_SUCCESS));
    EXPECT_FALSE(FolderExists(MenuFolder()));
}

// Sets the default value of App Paths\OUTLOOK.EXE (64-bit view) while it lives, or deletes the
// key when given null; the key is deleted at the end.
class AppPathsEntry {
public:
    explicit AppPathsEntry(const char* value)
    {
        (void)RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kKey, KEY_WOW64_64KEY, 0);
        if (!value) {
            m_set = true;
            return;
        }
        UniqueHKey key;
        m_set = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr,
                                key.put(), nullptr) == ERROR_SUCCESS &&
                RegSetValueExA(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                               static_cast<DWORD>(std::strlen(value) + 1)) == ERROR_SUCCESS;
    }
    ~AppPathsEntry() { (void)RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kKey, KEY_WOW64_64KEY, 0); }
    AppPathsEntry(const AppPathsEntry&) = delete;
    AppPathsEntry& operator=(const AppPathsEntry&) = delete;
    bool set() const { return m_set; }

private:
    static constexpr const char* kKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\OUTLOOK.EXE";
    bool m_set = false;
};

// Copies of the Outlook stand-in named outlook.exe where a start by name would find one first:
// beside the program that runs the action, in the current folder and in a PATH folder. The
// current folder and PATH are this process's, which the action runner inherits; all three are
// put back at the end.
class OutlookLookAlikes {
public:
    OutlookLookAlikes()
    {
        m_paths = {BinPath("outlook.exe"), m_current.file("outlook.exe"), m_onPath.file("outlook.exe")};
        for (const std::string& path : m_paths)
            (void)DeleteFileA((path + ".ran").c_str()); // a mark that an earlier run left
        for (const std::string& path : m_paths)
            m_placed += CopyFileA(BinPath("setup\\setup_outlook_standin.exe").c_str(), path.c_str(), FALSE) ? 1 : 0;
        char folder[MAX_PATH] = {};
        GetCurrentDirectoryA(MAX_PATH, folder);
        m_oldCurrent = folder;
        SetCurrentDirectoryA(m_current.path().c_str());
        const DWORD size = GetEnvironmentVariableA("PATH", nullptr, 0);
        m_oldPath.resize(size);
        GetEnvironmentVariableA("PATH", &m_oldPath[0], size);
        m_oldPath.resize(size ? size - 1 : 0);
        SetEnvironmentVariableA("PATH", (m_onPath.path() + ";" + m_oldPath).c_str());
    }
    ~OutlookLookAlikes()
    {
        SetEnvironmentVariableA("PATH", m_oldPath.c_str());
        SetCurrentDirectoryA(m_oldCurrent.c_str());
        for (const std::string& path : m_paths) {
            DeleteFileA(path.c_str());
            DeleteFileA((path + ".ran").c_str());
        }
    }
    OutlookLookAlikes(const OutlookLookAlikes&) = delete;
    OutlookLookAlikes& operator=(const OutlookLookAlikes&) = delete;
    bool placed() const { return m_placed == 3; }
    // The look-alikes that were started.
    Lines Started() const
    {
        Lines started;
        for (const std::string& path : m_paths)
            if (FileExists(path + ".ran"))
                started.push_back(path);
        return started;
    }

private:
    ScopedTempDir m_current, m_onPath;
    Lines m_paths;
    int m_placed = 0;
    std::string m_oldCurrent, m_oldPath;
};

TEST_F(InstallerActionsTest, PostInstallStartsExactlyTheProgramThatAppPathsNames)
{
    ScopedTempDir office;
    const std::string outlook = office.file("OUTLOOK.EXE");
    ASSERT_TRUE(CopyFileA(BinPath("setup\\setup_outlook_standin.exe").c_str(), outlook.c_str(), FALSE));
    OutlookLookAlikes lookAlikes;
    ASSERT_TRUE(lookAlikes.placed());
    UniqueHandle started(CreateEventA(nullptr, TRUE, FALSE, "Local\\VantrelOutlookStandInStarted"));

    const struct {
        const char* name;
        std::string entry; // "(missing)": no App Paths key
        bool startsOutlook;
    } cases[] = {
        {"full path", outlook, true},
        {"quoted full path", "\"" + outlook + "\"", true},
        {"missing", "(missing)", false},
        {"relative", "outlook.exe", false},
        {"rooted on the current drive", outlook.substr(2), false},
        {"dangling", office.file("gone\\OUTLOOK.EXE"), false},
        {"a folder", office.path(), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        (void)ResetEvent(started.get());
        (void)DeleteFileA((outlook + ".ran").c_str());
        AppPathsEntry entry(c.entry == "(missing)" ? nullptr : c.entry.c_str());
        ASSERT_TRUE(entry.set());
        ScopedTempDir dir;
        ActionRun run(dir, Export("PostInstall", Package(), "5"));
        ASSERT_TRUE(run.Finish()) << run.Result();
        // The stand-in marks its own file before it sets the event.
        if (c.startsOutlook) {
            ASSERT_EQ(WaitForSingleObject(started.get(), kRunnerWaitMs), static_cast<DWORD>(WAIT_OBJECT_0));
            EXPECT_TRUE(FileExists(outlook + ".ran"));
        }
        EXPECT_EQ(lookAlikes.Started(), Lines{});
    }
}

} // namespace
