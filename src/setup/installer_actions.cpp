#include "setup/installer_actions.h"

#include <atomic>
#include <cstring>
#include <new>
#include <string>

#include "win32/raii.h"
#include "setup/install_inputs.h"
#include "setup/msi_library.h"
#include "setup/outlook_program.h"
#include "setup/quit_process.h"
#include "setup/start_menu.h"
#include "shutdown/process_closer.h"

namespace Setup {

namespace {

// Asks, in the user's UI language, before a running Outlook is closed. Without memory for the
// question nobody can be asked: Outlook then stays running, as after Cancel.
void QuitOutlook() noexcept
{
    try {
        const std::wstring prompt = QuitPromptText();
        QuitProcessByName("OUTLOOK.EXE", prompt.c_str());
    } catch (const std::bad_alloc&) {
    }
}

void CloseOutlook() noexcept
{
    CloseProcessByName("OUTLOOK.EXE", true);
}

// For an immediate action: someone can answer a box and reach Outlook's windows (full or reduced
// user interface, an interactive user). The actions ask it only outside the script: inside it
// (LocalSystem, session 0) no process is opened, since a walk of every process (lsass included)
// with query and read rights is what security products flag, and no user's window is within reach
// from there; nor can anybody answer (Windows gives a deferred action no UILevel, Wine does).
bool SomeoneAnswers(MSIHANDLE install, const ActionCalls& calls) noexcept
{
    return InstallationShowsDialogs(install) && RunsForInteractiveUser(calls.session);
}

// The property's text, or "" when it cannot be read (or does not fit the buffer).
template <size_t N>
void ReadProperty(MSIHANDLE install, const char* name, char (&value)[N]) noexcept
{
    DWORD capacity = N;
    if (MsiLibrary().GetProperty(install, name, value, &capacity) != ERROR_SUCCESS)
        value[0] = '\0';
}

bool RemovesTheProduct(MSIHANDLE install) noexcept
{
    char remove[16] = {};
    ReadProperty(install, "REMOVE", remove);
    return _stricmp(remove, "ALL") == 0;
}

StartMenuItems RollbackItems(MSIHANDLE install) noexcept
{
    char data[128] = {};
    ReadProperty(install, "CustomActionData", data);
    return ParseStartMenuItems(data);
}

bool InRollback(MSIHANDLE install) noexcept
{
    return MsiLibrary().GetMode(install, MSIRUNMODE_ROLLBACK) != FALSE;
}

// Hands what of the entry is there now to the rollback actions (a failed write leaves their
// data empty: they then undo nothing).
void HandStartMenuToScript(MSIHANDLE install, const std::wstring& folder) noexcept
{
    try {
        const StartMenuItems present = PresentStartMenuItems(folder);
        StartMenuItems created{!present.folder, !present.link, {}};
        // In an upgrade the shortcut that is there removes the older product, and the elevated
        // Install points it at this one: its rollback points it back.
        char upgraded[1024] = {};
        ReadProperty(install, kUpgradeDetectedProperty, upgraded);
        if (present.link && upgraded[0] != '\0')
            created.relinkCode.assign(upgraded, std::strcspn(upgraded, ";"));
        const MsiLibrary msi;
        (void)msi.SetProperty(install, kInstallRollbackAction, StartMenuItemsText(created).c_str());
        (void)msi.SetProperty(install, kUninstallRollbackAction, StartMenuItemsText(present).c_str());
    } catch (...) {
    }
}

std::atomic<const ActionCalls*> g_calls{nullptr};

// The stand-ins a test has set, or the system's.
const ActionCalls& CurrentCalls() noexcept
{
    static const ActionCalls system{ActionRunsInScript, InRollback, SystemSessionFacts(), QuitOutlook, CloseOutlook};
    const ActionCalls* calls = g_calls.load();
    return calls ? *calls : system;
}

} // namespace

void UseActionCalls(const ActionCalls* calls) noexcept
{
    g_calls.store(calls);
}

UINT Install(MSIHANDLE install) noexcept
{
    const ActionCalls& calls = CurrentCalls();
    const std::wstring folder = VantrelStartMenuFolder();
    const bool named = !folder.empty();
    if (calls.runsInScript(install)) {
        if (!named)
            return ERROR_SUCCESS;
        // A failed read (msi.dll missing included) leaves the code empty and the arguments "/x ".
        char productCode[1024] = {};
        ReadProperty(install, "ProductCode", productCode);
        CreateStartMenuItems(folder, productCode,
                             calls.runsAsRollback(install) ? RollbackItems(install) : StartMenuItems{true, true, {}});
        return ERROR_SUCCESS;
    }
    // Asking needs someone to answer: otherwise Outlook is left running rather than wait for ever
    // on a prompt; its files in use are replaced at the next restart.
    if (!RemovesTheProduct(install) && SomeoneAnswers(install, calls))
        calls.quitOutlook();
    if (named)
        HandStartMenuToScript(install, folder);
    return ERROR_SUCCESS;
}

UINT PostInstall(MSIHANDLE install) noexcept
{
    const std::wstring program = RegisteredOutlookProgram();
    if (program.empty()) {
        (void)MsiLibrary().LogLine(install, L"Vantrel: Outlook was not started: App Paths\\OUTLOOK.EXE names no "
                                            L"existing program file by a full path.");
        return ERROR_SUCCESS;
    }
    try {
        // Exactly that file (no search), with the token of the process that runs the action.
        std::wstring commandLine = L"\"" + program + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION started{};
        if (CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                           &started)) {
            const UniqueHandle thread(started.hThread);
            const UniqueHandle process(started.hProcess);
        } else {
            (void)MsiLibrary().LogLine(install, (L"Vantrel: Outlook could not be started from " + program + L".").c_str());
        }
    } catch (...) {
    }
    return ERROR_SUCCESS;
}

UINT Uninstall(MSIHANDLE install) noexcept
{
    const ActionCalls& calls = CurrentCalls();
    if (!calls.runsInScript(install)) {
        // Posts only: no prompt and no waiting. A quiet removal leaves a running Outlook alone,
        // as a quiet installation does: the files it holds go at the next restart.
        if (SomeoneAnswers(install, calls))
            calls.closeOutlook();
        return ERROR_SUCCESS;
    }
    const std::wstring folder = VantrelStartMenuFolder();
    if (!folder.empty())
        RemoveStartMenuItems(folder,
                             calls.runsAsRollback(install) ? RollbackItems(install) : StartMenuItems{true, true, {}});
    return ERROR_SUCCESS;
}

} // namespace Setup
