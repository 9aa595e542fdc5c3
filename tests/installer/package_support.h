// What the installer tests share: the packages built beside the test program, msiexec run as a
// child process, and the places where an installation leaves its traces. Runs on the test's
// thread; nothing throws.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "support/test_support.h"

// build/<name>, the folder above this test program's.
std::string BuildFilePath(const std::string& name);
std::string PackagePath();         // this version's package
std::string PreviousPackagePath(); // the older package of the upgrade test
std::string SameVersionPackagePath(); // another build of this version's package
std::string FailingPackagePath();     // this version's package with a failing deferred action
// This version's package that fails before the script (VANTREL_TEST_FAIL_EARLY=1) or at the
// script's end (VANTREL_TEST_FAIL_LATE=1, also at removal).
std::string TestFailuresPackagePath();

// Runs "msiexec.exe <arguments>" and waits up to 90 s for it (an installation takes a few
// seconds); its exit code, or ~0u when it could not be started or did not end in time (it is
// then terminated). With boxes, the message boxes of that msiexec process are answered with OK
// and recorded there (see ChildBoxAnswerer).
DWORD RunMsiexec(const std::string& arguments, std::vector<ShownBox>* boxes = nullptr);

// The product codes of the installed products of Vantrel's upgrade code, any version.
std::vector<std::string> InstalledProducts();
// Removes every one of them quietly.
void RemoveInstalledProducts();

// C:\Program Files\Vantrel\Vantrel.dll and its folder.
std::string InstalledFolder();
std::string InstalledDllPath();
// The all-users Start-menu folder that the Install action fills, and its shortcut.
std::string StartMenuFolder();
std::string UninstallShortcutPath();

// The file's version resource as "a.b.c.d", or "" when it has none.
std::string FileVersionText(const std::string& path);

// The machine default name under HKLM\SOFTWARE\Vantrel when it is a REG_SZ, "(missing)" when it
// is missing and "(type N)" for another type.
std::string MachineDefault(const char* name);

// The pairs of PendingFileRenameOperations (HKLM\SYSTEM\CurrentControlSet\Control\Session
// Manager), where a file in use is left to be replaced or deleted at the next restart: each
// "from" and "to" as written, "\??\" prefix included ("to" empty for a delete).
std::vector<std::pair<std::string, std::string>> PendingFileRenames();
// Drops the pairs that name a file in folder, so that no later restart of the test prefix
// (wineboot runs them) puts a file back into it.
void ForgetPendingFileRenamesIn(const std::string& folder);
