// Runs one installer action in a process of its own, as the installer would: the actions post
// to other processes' windows and show a prompt, which must not land in the test's own queue.
//
//   action_runner <result-file> quit <prompt 0|1> <wait-ms> <pause-ms> [<events>]
//       QuitProcessByName("OUTLOOK.EXE", ...) asking the installer's question (1) or nothing (0),
//       with that wait and pause after each window; with a name, the action sets the event
//       "<events>.waiting" as it begins each wait for a process, and the result's last line says
//       whether the test had set the event "<events>.ending" when the action returned ("event
//       set" or "event unset").
//   action_runner <result-file> export <name> <package.msi|-> <UILevel|-> <ProductCode|-> <none|mta>
//       The export Install, PostInstall or Uninstall of Vantrel.dll (next to this program),
//       given an installation handle from MsiOpenPackage on the package with the two
//       properties set when not "-" ("-" for the package: handle 0, whose reads fail). "mta"
//       joins the multithreaded apartment first.
//
// The result file gets "returned <code>", one line "queue <message>" for each thread message
// the action left in this thread's own queue, and for an export with a package the lines
// "property <name> <value>" of the CustomActionData that the action set for the package's two
// rollback actions. Exit code 0, or 3 for a bad call.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>
#include <objbase.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "win32/raii.h"
#include "setup/quit_process.h"

namespace {

constexpr int kBadCall = 3;

struct MsiHandleTraits {
    static MSIHANDLE Invalid() { return 0; }
    static void Close(MSIHANDLE h) { (void)MsiCloseHandle(h); }
};
using UniqueMsiHandle = UniqueResource<MSIHANDLE, MsiHandleTraits>;

std::string TakeThreadMessages()
{
    std::string lines;
    MSG msg;
    while (PeekMessageA(&msg, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE))
        lines += std::string("queue ") +
                 (msg.message == WM_CLOSE ? "WM_CLOSE" : msg.message == WM_QUIT ? "WM_QUIT" : "other") + "\n";
    return lines;
}

std::string RollbackProperties(MSIHANDLE install)
{
    std::string lines;
    if (!install)
        return lines;
    for (const char* name : {"VantrelInstallRollback", "VantrelUninstallRollback"}) {
        char value[256] = {};
        DWORD capacity = sizeof(value);
        if (MsiGetPropertyA(install, name, value, &capacity) == ERROR_SUCCESS)
            lines += std::string("property ") + name + " " + value + "\n";
    }
    return lines;
}

bool WriteResult(const char* path, UINT returned, MSIHANDLE install = 0, const std::string& more = std::string())
{
    const std::string text =
        "returned " + std::to_string(returned) + "\n" + TakeThreadMessages() + RollbackProperties(install) + more;
    FILE* file = std::fopen(path, "wb");
    if (!file)
        return false;
    std::fwrite(text.data(), 1, text.size(), file);
    return std::fclose(file) == 0;
}

HANDLE g_waiting = nullptr;

DWORD WINAPI MarkedWait(HANDLE process, DWORD milliseconds)
{
    SetEvent(g_waiting);
    return WaitForSingleObject(process, milliseconds);
}

std::string OwnFolder()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    return folder.substr(0, folder.find_last_of('\\'));
}

int RunExport(const char* resultPath, char** args)
{
    const char* name = args[0];
    const char* package = args[1];
    const char* uiLevel = args[2];
    const char* productCode = args[3];
    const bool mta = std::strcmp(args[4], "mta") == 0;

    UniqueModule dll(LoadLibraryA((OwnFolder() + "\\Vantrel.dll").c_str()));
    using Action = UINT(WINAPI*)(MSIHANDLE);
    const auto action =
        dll ? reinterpret_cast<Action>(reinterpret_cast<void (*)()>(GetProcAddress(dll.get(), name))) : nullptr;
    if (!action)
        return kBadCall;

    UniqueMsiHandle install;
    if (std::strcmp(package, "-") != 0) {
        if (MsiOpenPackageA(package, install.put()) != ERROR_SUCCESS)
            return kBadCall;
        if (std::strcmp(uiLevel, "-") != 0 && MsiSetPropertyA(install.get(), "UILevel", uiLevel) != ERROR_SUCCESS)
            return kBadCall;
        if (std::strcmp(productCode, "-") != 0 &&
            MsiSetPropertyA(install.get(), "ProductCode", productCode) != ERROR_SUCCESS)
            return kBadCall;
    }

    if (mta && FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)))
        return kBadCall;
    const UINT returned = action(install.get());
    return WriteResult(resultPath, returned, install.get()) ? 0 : kBadCall;
}

} // namespace

int main(int argc, char** argv)
{
    if ((argc == 6 || argc == 7) && std::strcmp(argv[2], "quit") == 0) {
        QuitTiming timing;
        timing.processWaitMs = std::strtoul(argv[4], nullptr, 10);
        timing.pauseMs = std::strtoul(argv[5], nullptr, 10);
        const std::string events = argc == 7 ? argv[6] : "";
        const UniqueHandle event(argc == 7 ? OpenEventA(SYNCHRONIZE, FALSE, (events + ".ending").c_str()) : nullptr);
        const UniqueHandle waiting(argc == 7 ? OpenEventA(EVENT_MODIFY_STATE, FALSE, (events + ".waiting").c_str())
                                             : nullptr);
        if (argc == 7 && (!event || !waiting))
            return kBadCall;
        if (waiting) {
            g_waiting = waiting.get();
            timing.waitForProcess = MarkedWait;
        }
        const std::wstring prompt = std::strcmp(argv[3], "1") == 0 ? QuitPromptText() : std::wstring();
        QuitProcessByName("OUTLOOK.EXE", prompt.empty() ? nullptr : prompt.c_str(), timing);
        const std::string mark =
            !event ? "" : WaitForSingleObject(event.get(), 0) == WAIT_OBJECT_0 ? "event set\n" : "event unset\n";
        return WriteResult(argv[1], 0, 0, mark) ? 0 : kBadCall;
    }
    if (argc == 8 && std::strcmp(argv[2], "export") == 0)
        return RunExport(argv[1], argv + 3);
    return kBadCall;
}
