#include "log/profile_file.h"

#include <atomic>
#include <vector>

#include "log/profile_path.h"
#include "win32/scoped_lock.h"

namespace {

bool ReadTokenElevation() noexcept
{
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw))
        return true; // unknown: guarded is the safe side
    const UniqueHandle token(raw);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    if (!GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof(elevation), &size))
        return true;
    return elevation.TokenIsElevated != 0;
}

// A process's elevation does not change while it runs: read once, not at every log line.
bool TokenIsElevated() noexcept
{
    static const bool elevated = ReadTokenElevation();
    return elevated;
}

// Junctions and symbolic links are name surrogates; other reparse points (a cloud file's
// placeholder, deduplicated data) are the file itself.
bool IsNameSurrogate(HANDLE opened) noexcept
{
    FILE_ATTRIBUTE_TAG_INFO info{};
    if (!GetFileInformationByHandleEx(opened, FileAttributeTagInfo, &info, sizeof(info)))
        return true; // what cannot be checked is not trusted
    return (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && IsReparseTagNameSurrogate(info.ReparseTag);
}

const LinkGuard kRealGuard = {TokenIsElevated, IsNameSurrogate};
std::atomic<const LinkGuard*> g_guard{&kRealGuard};

// Runs a step that may run out of memory: its result, or `failed` with the last error set to
// ERROR_NOT_ENOUGH_MEMORY when it does.
template <typename Step, typename Result>
Result OrOutOfMemory(Step step, Result failed) noexcept
{
    try {
        return step();
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return failed;
    }
}

// Opens path under the guard: as itself and checked when links are refused.
UniqueFileHandle OpenGuarded(const std::wstring& path, DWORD access, DWORD share, DWORD disposition, DWORD flags,
                             const LinkGuard& guard, bool refuse) noexcept
{
    UniqueFileHandle file(CreateFileW(path.c_str(), access, share, nullptr, disposition,
                                      flags | (refuse ? FILE_FLAG_OPEN_REPARSE_POINT : 0), nullptr));
    if (file && refuse && guard.isLink(file.get())) {
        file.reset();
        SetLastError(ERROR_CANT_ACCESS_FILE);
    }
    return file;
}

// The folder at `folder` (long-path form), opened as itself and checked: a handle that reads it
// and shares no deletion, which keeps it from being renamed, deleted or replaced while it is open.
UniqueFileHandle OpenFolderToHold(const std::wstring& folder, const LinkGuard& guard) noexcept
{
    return OpenGuarded(folder, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, guard, true);
}

// The file in a profile folder opened as OpenProfileFile opens it, once its folder is held.
UniqueFileHandle OpenInHeldFolder(const std::wstring& path, DWORD access, DWORD share, DWORD disposition,
                                  const LinkGuard& guard, bool refuse) noexcept
{
    return OpenGuarded(path, access, share, disposition, FILE_ATTRIBUTE_NORMAL, guard, refuse);
}

// The folder of path held open for as long as the result lives, when links are refused.
// Without the guard, nothing is held and the result is a valid empty pin.
struct FolderPin {
    bool held = true;
    UniqueFileHandle folder;
};

FolderPin PinFolder(const std::wstring& path, const LinkGuard& guard, bool refuse) noexcept
{
    FolderPin pin;
    if (!refuse)
        return pin;
    pin.folder = OrOutOfMemory([&] { return OpenFolderToHold(LongPathForm(ParentFolder(path)), guard); },
                               UniqueFileHandle());
    pin.held = pin.folder.valid();
    return pin;
}

// The file's handle for renaming or deleting it, and its folder pinned for as long as both live.
struct DeletionHandle {
    FolderPin pin;
    UniqueFileHandle file;
};

DeletionHandle OpenForDeletion(const std::wstring& path) noexcept
{
    const LinkGuard& guard = *g_guard.load();
    const bool refuse = guard.refuseLinks();
    DeletionHandle opened{PinFolder(path, guard, refuse), UniqueFileHandle()};
    if (!opened.pin.held)
        return opened;
    opened.file = OrOutOfMemory(
        [&] {
            return OpenGuarded(LongPathForm(path), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               OPEN_EXISTING, 0, guard, refuse);
        },
        UniqueFileHandle());
    return opened;
}

} // namespace

void UseLinkGuard(const LinkGuard* guard) noexcept
{
    g_guard.store(guard ? guard : &kRealGuard);
}

UniqueFileHandle OpenProfileFile(const std::wstring& path, DWORD access, DWORD share, DWORD disposition) noexcept
{
    const LinkGuard& guard = *g_guard.load();
    const bool refuse = guard.refuseLinks();
    const FolderPin pin = PinFolder(path, guard, refuse);
    if (!pin.held)
        return UniqueFileHandle();
    return OrOutOfMemory(
        [&] { return OpenInHeldFolder(LongPathForm(path), access, share, disposition, guard, refuse); },
        UniqueFileHandle());
}

bool RenameProfileFile(const std::wstring& from, const std::wstring& to) noexcept
{
    const DeletionHandle opened = OpenForDeletion(from);
    if (!opened.file)
        return false;
    return OrOutOfMemory(
        [&] {
            const std::wstring target = LongPathForm(to);
            // The structure ends in the name, which runs past its declared one character.
            std::vector<BYTE> buffer(sizeof(FILE_RENAME_INFO) + (target.size() + 1) * sizeof(wchar_t));
            auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
            info->ReplaceIfExists = TRUE;
            info->RootDirectory = nullptr;
            info->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
            target.copy(info->FileName, target.size());
            return SetFileInformationByHandle(opened.file.get(), FileRenameInfo, info,
                                              static_cast<DWORD>(buffer.size())) != FALSE;
        },
        false);
}

bool DeleteProfileFile(const std::wstring& path) noexcept
{
    const DeletionHandle opened = OpenForDeletion(path);
    if (!opened.file)
        return false;
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    return SetFileInformationByHandle(opened.file.get(), FileDispositionInfo, &disposition, sizeof(disposition)) != FALSE;
}

bool CreateProfileFolder(const std::wstring& path) noexcept
{
    const LinkGuard& guard = *g_guard.load();
    const bool refuse = guard.refuseLinks();
    return OrOutOfMemory(
        [&] {
            const std::wstring longForm = LongPathForm(path);
            if (!CreateDirectoryW(longForm.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
                return false;
            if (!refuse)
                return true;
            // What is there now must be a folder in its own right, not a link to one elsewhere.
            const UniqueFileHandle folder = OpenGuarded(longForm, FILE_READ_ATTRIBUTES,
                                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, guard, true);
            return folder.valid();
        },
        false);
}

HeldFolderFile::HeldFolderFile(const std::wstring& path)
    : m_path(LongPathForm(path)), m_folder(LongPathForm(ParentFolder(path)))
{
}

void HeldFolderFile::HoldFolder() noexcept
{
    if (m_state != FolderState::Unchecked)
        return;
    const LinkGuard& guard = *g_guard.load();
    if (!guard.refuseLinks()) {
        m_state = FolderState::Followed;
        return;
    }
    m_folderHandle = OpenFolderToHold(m_folder, guard);
    if (m_folderHandle)
        m_state = FolderState::Held;
}

UniqueFileHandle HeldFolderFile::Open(DWORD access, DWORD share, DWORD disposition) noexcept
{
    const LinkGuard& guard = *g_guard.load();
    {
        const SharedLock lock(m_lock);
        if (m_state != FolderState::Unchecked)
            return OpenInHeldFolder(m_path, access, share, disposition, guard, m_state == FolderState::Held);
    }
    // The first open, or the folder could not be held before: one thread checks it.
    const ExclusiveLock lock(m_lock);
    HoldFolder();
    if (m_state == FolderState::Unchecked)
        return UniqueFileHandle(); // the last error is the folder's
    return OpenInHeldFolder(m_path, access, share, disposition, guard, m_state == FolderState::Held);
}
