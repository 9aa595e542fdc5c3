// Paths in the user's profile for the log, the previous log and the crash record: the roaming
// application-data folder as UTF-16, names joined onto it with checks, and the long-path form
// for the wide file calls. Runs on any thread; throws std::bad_alloc only where it says so.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <string_view>

// The form of SHGetKnownFolderPath, through which the roaming application-data folder is found.
using KnownFolderQuery = HRESULT(WINAPI*)(REFKNOWNFOLDERID folder, DWORD flags, HANDLE token, PWSTR* path);

// The query that RoamingFolder and KnownFolder make from now on (tests stand in for the shell's);
// null puts SHGetKnownFolderPath back.
void UseKnownFolderQuery(KnownFolderQuery query) noexcept;

// The roaming application-data folder (FOLDERID_RoamingAppData) of the user Outlook runs as, or
// empty when the query fails or answers anything but a full path (a drive's folder or a share).
// Throws std::bad_alloc.
std::wstring RoamingFolder();
// Any known folder, as RoamingFolder reads the roaming one: empty when it cannot be read or is
// not a full path. Throws std::bad_alloc.
std::wstring KnownFolder(REFKNOWNFOLDERID folder);

// True for a full path: "X:\..." or "\\server\share\...", or either in the "\\?\" form.
bool IsFullPath(std::wstring_view path) noexcept;

// folder + "\" + name, for a full folder and a plain name (no separator, not "." or ".."); empty
// when either is not so, so that a failed join can never name a relative path or a drive's root.
// Throws std::bad_alloc.
std::wstring JoinPath(std::wstring_view folder, std::wstring_view name);

// The path as the wide file calls take it: unchanged while it is short enough for every call
// (a folder's name must leave room for a file of 8.3 characters), otherwise in the "\\?\" form
// ("\\?\UNC\server\share\..." for a share), which lifts MAX_PATH. Throws std::bad_alloc.
std::wstring LongPathForm(const std::wstring& path);

// The folder that holds a path joined by JoinPath (everything before the last "\").
std::wstring ParentFolder(const std::wstring& path);
