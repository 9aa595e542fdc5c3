#include "setup/start_menu.h"

#include <cstring>

#include "com/raii.h"
#include "win32/text_convert.h"
#include "log/profile_path.h"
#include "setup/install_inputs.h"
#include "setup/shortcut.h"

namespace {

constexpr char kFolderWord[] = "folder";
constexpr char kLinkWord[] = "link";
constexpr char kRelinkPrefix[] = "relink=";

// The shortcut's full path in the folder; empty when the folder is not a full path.
std::wstring LinkPath(const std::wstring& folder) noexcept
{
    try {
        return JoinPath(folder, L"Uninstall.lnk");
    } catch (...) {
        return std::wstring();
    }
}

FolderKind KindAt(const std::wstring& folder) noexcept
{
    return FolderKindFromAttributes(GetFileAttributesW(folder.c_str()));
}

} // namespace

std::string StartMenuItemsText(const StartMenuItems& items)
{
    std::string text = items.folder ? kFolderWord : "";
    const auto add = [&text](const std::string& word) { text += text.empty() ? word : ";" + word; };
    if (items.link)
        add(kLinkWord);
    if (!items.relinkCode.empty())
        add(kRelinkPrefix + items.relinkCode);
    return text;
}

StartMenuItems ParseStartMenuItems(const char* text) noexcept
{
    StartMenuItems items;
    try {
        for (const char* word = text; word && *word;) {
            const char* end = std::strchr(word, ';');
            const std::string token(word, end ? static_cast<size_t>(end - word) : std::strlen(word));
            items.folder |= token == kFolderWord;
            items.link |= token == kLinkWord;
            if (token.rfind(kRelinkPrefix, 0) == 0)
                items.relinkCode = token.substr(sizeof(kRelinkPrefix) - 1);
            word = end ? end + 1 : nullptr;
        }
    } catch (...) {
        return StartMenuItems{};
    }
    return items;
}

FolderKind FolderKindFromAttributes(DWORD attributes) noexcept
{
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return FolderKind::Missing;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return FolderKind::Other;
    return FolderKind::Plain;
}

StartMenuItems PresentStartMenuItems(const std::wstring& folder) noexcept
{
    StartMenuItems present;
    const FolderKind kind = KindAt(folder);
    present.folder = kind != FolderKind::Missing;
    const std::wstring link = kind == FolderKind::Plain ? LinkPath(folder) : std::wstring();
    present.link = !link.empty() && GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES;
    return present;
}

void CreateStartMenuItems(const std::wstring& folder, const char* productCode, const StartMenuItems& items) noexcept
{
    if (items.folder && KindAt(folder) == FolderKind::Missing)
        (void)CreateDirectoryW(folder.c_str(), nullptr); // a failure shows when the link is saved
    if (!items.link || KindAt(folder) != FolderKind::Plain)
        return;
    char arguments[MAX_PATH] = {};
    const std::wstring target = SystemFolderFile(L"msiexec.exe");
    const std::wstring link = LinkPath(folder);
    if (target.empty() || link.empty() || !UninstallArguments(productCode, arguments))
        return;
    try {
        // A product code is a GUID in braces: plain ASCII in any code page.
        const std::wstring wideArguments = ToWide(arguments, CP_ACP);
        // The installer initialises COM on its action thread for some installations only; one
        // already set up in either model is used as it is.
        CoInitializeGuard com(COINIT_APARTMENTTHREADED);
        (void)CreateShortcut(target.c_str(), wideArguments.c_str(), link.c_str(),
                             L"Uninstall"); // no failure is passed on
    } catch (...) {
    }
}

void RemoveStartMenuItems(const std::wstring& folder, const StartMenuItems& items) noexcept
{
    if (KindAt(folder) != FolderKind::Plain)
        return;
    if (!items.relinkCode.empty()) {
        CreateStartMenuItems(folder, items.relinkCode.c_str(), StartMenuItems{false, true, {}});
        return;
    }
    const std::wstring link = LinkPath(folder);
    if (items.link && !link.empty())
        (void)DeleteFileW(link.c_str());
    // Only an empty folder goes: whatever else lies in it stays, and so does the folder.
    if (items.folder)
        (void)RemoveDirectoryW(folder.c_str());
}
