#include "setup/installer_actions.h"

#include <shellapi.h>

#include <cstring>

#include "com/raii.h"
#include "setup/install_inputs.h"
#include "setup/msi_library.h"
#include "setup/quit_process.h"
#include "setup/shortcut.h"
#include "shutdown/process_closer.h"

namespace Setup {

UINT Install(MSIHANDLE install) noexcept
{
    // Asking needs someone to answer: a basic or silent installation leaves Outlook running
    // rather than wait for ever on a prompt. Inside the script (the elevated Install) nobody
    // can answer and no process is opened.
    if (!ActionRunsInScript(install) && InstallationShowsDialogs(install))
        QuitProcessByName("OUTLOOK.EXE", true);

    char folder[MAX_PATH] = {};
    if (!VantrelStartMenuFolder(folder))
        return ERROR_SUCCESS;
    // That it exists already is no error; any other failure shows when the link is saved.
    (void)CreateDirectoryA(folder, nullptr);

    // A failed read (msi.dll missing included) leaves the code empty and the arguments "/x ".
    char productCode[1024] = {};
    DWORD capacity = sizeof(productCode);
    (void)MsiLibrary().GetProperty(install, "ProductCode", productCode, &capacity);

    char target[MAX_PATH] = {};
    char arguments[MAX_PATH] = {};
    char link[MAX_PATH] = {};
    std::memcpy(link, folder, sizeof(folder));
    if (!SystemFolderFile("msiexec.exe", target) || !UninstallArguments(productCode, arguments) ||
        !AppendToFullPath(link, "\\Uninstall.lnk"))
        return ERROR_SUCCESS;

    // The installer initialises COM on its action thread for some installations only; one
    // already set up in either model is used as it is.
    CoInitializeGuard com(COINIT_APARTMENTTHREADED);
    // No failure is passed to the installer.
    (void)CreateShortcut(target, arguments, link, "Uninstall");
    return ERROR_SUCCESS;
}

UINT PostInstall(MSIHANDLE /*install*/) noexcept
{
    // The shell may hand the start to its extensions, which need COM on this thread.
    CoInitializeGuard com(COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    // "outlook" is the name under which the platform knows Outlook (App Paths). A failed start
    // is not passed to the installer.
    (void)ShellExecuteA(nullptr, "open", "outlook", nullptr, nullptr, SW_SHOW);
    return ERROR_SUCCESS;
}

namespace {

void CloseOutlook() noexcept
{
    CloseProcessByName("OUTLOOK.EXE", true);
}

} // namespace

UninstallCalls SystemUninstallCalls() noexcept
{
    return UninstallCalls{ActionRunsInScript, CloseOutlook, SHFileOperationA};
}

UINT Uninstall(MSIHANDLE install) noexcept
{
    return Uninstall(install, SystemUninstallCalls());
}

UINT Uninstall(MSIHANDLE install, const UninstallCalls& calls) noexcept
{
    // Inside the script the action runs as LocalSystem in session 0: a walk of every process
    // (lsass included) with query and read rights is what security products flag, and no
    // user's Outlook window is within reach from there. A quiet removal leaves a running
    // Outlook alone, as a quiet installation does: the files it holds go at the next restart.
    const bool inScript = calls.runsInScript(install);
    const bool someoneAnswers = !inScript && InstallationShowsDialogs(install);
    // Posts only: no prompt and no waiting.
    if (someoneAnswers)
        calls.closeOutlook();

    char folder[MAX_PATH] = {};
    if (!VantrelStartMenuFolder(folder))
        return ERROR_SUCCESS;
    // Nothing to delete: the shell would report the missing source with a box of its own, which
    // nobody may be there to answer.
    const DWORD attributes = GetFileAttributesA(folder);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return ERROR_SUCCESS;

    // A list of one entry, ended by two zero bytes.
    char from[MAX_PATH + 1] = {};
    std::memcpy(from, folder, sizeof(folder));
    SHFILEOPSTRUCTA operation{};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from;
    // Deleted outright (no Recycle Bin), without a progress window or a confirmation. A failure
    // (a file held open, an entry denied) shows the shell's error box only to a user who can
    // answer it: an unanswered box would keep msiexec waiting for ever.
    operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION;
    if (!someoneAnswers)
        operation.fFlags |= FOF_NOERRORUI;
    (void)calls.deleteFolder(&operation);
    return ERROR_SUCCESS;
}

} // namespace Setup
