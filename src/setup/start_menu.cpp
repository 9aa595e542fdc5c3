#include "setup/start_menu.h"

#include <cstring>

#include "com/raii.h"
#include "setup/install_inputs.h"
#include "setup/shortcut.h"

namespace {

constexpr char kFolderWord[] = "folder";
constexpr char kLinkWord[] = "link";
constexpr char kRelinkPrefix[] = "relink=";

bool LinkPath(const char* folder, char (&link)[MAX_PATH]) noexcept
{
    if (std::strlen(folder) >= MAX_PATH)
        return false;
    std::memset(link, 0, sizeof(link));
    std::memcpy(link, folder, std::strlen(folder));
    return AppendToFullPath(link, "\\Uninstall.lnk");
}

FolderKind KindAt(const char* folder) noexcept
{
    return FolderKindFromAttributes(GetFileAttributesA(folder));
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

StartMenuItems PresentStartMenuItems(const char* folder) noexcept
{
    StartMenuItems present;
    const FolderKind kind = KindAt(folder);
    present.folder = kind != FolderKind::Missing;
    char link[MAX_PATH];
    present.link = kind == FolderKind::Plain && LinkPath(folder, link) &&
                   GetFileAttributesA(link) != INVALID_FILE_ATTRIBUTES;
    return present;
}

void CreateStartMenuItems(const char* folder, const char* productCode, const StartMenuItems& items) noexcept
{
    if (items.folder && KindAt(folder) == FolderKind::Missing)
        (void)CreateDirectoryA(folder, nullptr); // a failure shows when the link is saved
    if (!items.link || KindAt(folder) != FolderKind::Plain)
        return;
    char target[MAX_PATH] = {};
    char arguments[MAX_PATH] = {};
    char link[MAX_PATH] = {};
    if (!SystemFolderFile("msiexec.exe", target) || !UninstallArguments(productCode, arguments) ||
        !LinkPath(folder, link))
        return;
    // The installer initialises COM on its action thread for some installations only; one
    // already set up in either model is used as it is.
    CoInitializeGuard com(COINIT_APARTMENTTHREADED);
    (void)CreateShortcut(target, arguments, link, "Uninstall"); // no failure is passed on
}

void RemoveStartMenuItems(const char* folder, const StartMenuItems& items) noexcept
{
    if (KindAt(folder) != FolderKind::Plain)
        return;
    if (!items.relinkCode.empty()) {
        CreateStartMenuItems(folder, items.relinkCode.c_str(), StartMenuItems{false, true, {}});
        return;
    }
    char link[MAX_PATH];
    if (items.link && LinkPath(folder, link))
        (void)DeleteFileA(link);
    // Only an empty folder goes: whatever else lies in it stays, and so does the folder.
    if (items.folder)
        (void)RemoveDirectoryA(folder);
}
