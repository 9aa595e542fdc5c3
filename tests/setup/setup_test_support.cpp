#include "setup_test_support.h"

#include <msiquery.h>
#include <objbase.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <sstream>
#include <thread>

#include "com/raii.h"

using Microsoft::WRL::ComPtr;

const char kQuitPrompt[] = "Microsoft Outlook is currently running. Click OK to close Outlook.";

namespace {

void ReadLinkHere(const std::string& path, Link* link)
{
    CoInitializeGuard com;
    ComPtr<IShellLinkA> shellLink;
    ComPtr<IPersistFile> file;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(shellLink.GetAddressOf()))) ||
        FAILED(shellLink.As(&file)))
        return;
    const std::wstring widePath(path.begin(), path.end());
    if (FAILED(file->Load(widePath.c_str(), STGM_READ)))
        return;
    char text[1024] = {};
    link->loaded = true;
    if (SUCCEEDED(shellLink->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH)))
        link->path = text;
    if (SUCCEEDED(shellLink->GetArguments(text, sizeof(text))))
        link->arguments = text;
    if (SUCCEEDED(shellLink->GetDescription(text, sizeof(text))))
        link->description = text;
    if (SUCCEEDED(shellLink->GetIconLocation(text, MAX_PATH, &link->iconIndex)))
        link->iconPath = text;
}

} // namespace

Link ReadLink(const std::string& path)
{
    // A thread of its own, so that the caller's COM state stays as it is.
    Link link;
    std::thread reader(ReadLinkHere, path, &link);
    reader.join();
    return link;
}

ActionRun::ActionRun(const ScopedTempDir& dir, const std::string& arguments) : m_resultPath(dir.file("result.txt"))
{
    std::string command = "\"" + BinPath("setup_action_runner.exe") + "\" \"" + m_resultPath + "\" " + arguments;
    m_process = StartDetachedProcess(command).process;
}

ActionRun::~ActionRun()
{
    if (m_process && WaitForSingleObject(m_process.get(), 0) == WAIT_TIMEOUT) {
        (void)TerminateProcess(m_process.get(), 1);
        (void)WaitForSingleObject(m_process.get(), kRunnerWaitMs);
    }
}

bool ActionRun::Finish(DWORD timeoutMs)
{
    if (!m_process)
        return false;
    if (WaitForSingleObject(m_process.get(), timeoutMs) != WAIT_OBJECT_0) {
        (void)TerminateProcess(m_process.get(), 1); // hung: it fails its test and goes
        (void)WaitForSingleObject(m_process.get(), kRunnerWaitMs);
        return false;
    }
    DWORD exitCode = 1;
    return GetExitCodeProcess(m_process.get(), &exitCode) && exitCode == 0 && Result().rfind("returned 0\n", 0) == 0;
}

std::vector<std::string> ActionRun::OwnQueue() const
{
    std::vector<std::string> lines;
    std::istringstream in(Result());
    for (std::string line; std::getline(in, line);)
        if (line.rfind("queue ", 0) == 0)
            lines.push_back(line);
    return lines;
}

int PromptAnswerer::Count()
{
    int count = 0;
    for (const ShownBox& box : m_boxes.Boxes())
        count += box.text == kQuitPrompt ? 1 : 0;
    return count;
}

std::string PromptAnswerer::Caption()
{
    const std::vector<ShownBox> boxes = m_boxes.Boxes();
    return boxes.empty() ? std::string() : boxes.back().caption;
}

TestInstallation::TestInstallation(const char* uiLevel)
{
    if (!uiLevel) {
        m_ready = true;
        return;
    }
    m_ready = MsiOpenPackageA(BinPath("setup\\vantrel_test.msi").c_str(), &m_handle) == ERROR_SUCCESS &&
              MsiSetPropertyA(m_handle, "UILevel", uiLevel) == ERROR_SUCCESS;
}

TestInstallation::~TestInstallation()
{
    if (m_handle)
        (void)MsiCloseHandle(m_handle);
}
