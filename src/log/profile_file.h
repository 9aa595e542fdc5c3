// Opening, renaming and deleting the add-in's files in the user's profile (the log, the previous
// log, the crash record) so that an elevated Outlook cannot be steered elsewhere by a process of
// the same user: while the token is elevated, the folder and the file are opened as themselves,
// a junction or symbolic link is refused, and the folder is held open (not shareable for
// deletion, so it cannot be swapped for a link) while its file is opened, renamed or deleted.
// Renames and deletes go through the file's handle, never through its name a second time.
// Without elevation the same calls follow links, as the user's own files may. Paths are full
// wide paths (profile_path.h). Runs on any thread; nothing here throws.
#pragma once

#include <windows.h>

#include <string>

#include "win32/raii.h"

// The two checks behind the guard; tests stand in for them (Wine makes no link and reports
// every token as elevated).
struct LinkGuard {
    bool (*refuseLinks)() noexcept;         // true while this process runs elevated
    bool (*isLink)(HANDLE opened) noexcept; // a junction or symbolic link, opened as itself
};

// The checks used from now on; null puts the real ones back.
void UseLinkGuard(const LinkGuard* guard) noexcept;

// Opens the file at `path` with CreateFileW's access, share mode and disposition, under the guard.
// An invalid handle, with the last error set, when it cannot be opened or is refused.
UniqueFileHandle OpenProfileFile(const std::wstring& path, DWORD access, DWORD share, DWORD disposition) noexcept;

// Renames the file at `from` to `to` in the same folder, replacing what `to` names. False when
// it cannot, with the last error set.
bool RenameProfileFile(const std::wstring& from, const std::wstring& to) noexcept;

// Deletes the file at `path`. False when it cannot (a missing file too), with the last error set.
bool DeleteProfileFile(const std::wstring& path) noexcept;

// One file of the profile that is opened again and again (the log: once for every line), with
// its folder checked once and then held. While links are refused, the first open checks the
// folder as itself and keeps its handle: a handle that shares no deletion keeps the folder from
// being renamed, deleted or replaced by a link for as long as this object lives, so no later
// open needs to open or check it again. The file is still opened as itself and checked at every
// open: a link may take a file's place between two opens. A folder that cannot be held (missing,
// a link) is tried again at the next open; without the guard nothing is held. Any thread: opens
// run side by side, the first hold is made by one of them. Nothing here throws but the
// constructor (std::bad_alloc).
class HeldFolderFile {
public:
    // The file at `path`, a full wide path (profile_path.h).
    explicit HeldFolderFile(const std::wstring& path);
    HeldFolderFile(const HeldFolderFile&) = delete;
    HeldFolderFile& operator=(const HeldFolderFile&) = delete;

    // Opens the file as OpenProfileFile does. An invalid handle, with the last error set, when it
    // cannot be opened or is refused.
    UniqueFileHandle Open(DWORD access, DWORD share, DWORD disposition) noexcept;

private:
    // Unchecked until the first open that finds the folder usable; Held with the folder's handle
    // while links are refused, Followed (nothing held) while they are not.
    enum class FolderState { Unchecked, Held, Followed };

    // Under the exclusive lock: checks and holds the folder unless that is done.
    void HoldFolder() noexcept;

    const std::wstring m_path;   // in the long-path form
    const std::wstring m_folder; // in the long-path form
    SRWLOCK m_lock = SRWLOCK_INIT;
    FolderState m_state = FolderState::Unchecked;
    UniqueFileHandle m_folderHandle;
};

// Creates the folder at `path` when it is missing. A folder that exists is fine; false when it
// cannot be made. Under the guard, a link in its place counts as not made.
bool CreateProfileFolder(const std::wstring& path) noexcept;
