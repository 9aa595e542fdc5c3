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

// Creates the folder at `path` when it is missing. A folder that exists is fine; false when it
// cannot be made. Under the guard, a link in its place counts as not made.
bool CreateProfileFolder(const std::wstring& path) noexcept;
