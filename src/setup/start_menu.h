// The all-users Start-menu entry of the package: the folder "Vantrel" and its "Uninstall.lnk".
// The script's actions change only what an immediate action found (or did not find) before the
// script ran, so that each change has a rollback that undoes exactly it. A folder that is not a
// plain folder (a junction, a symbolic link, a file) is never entered. Installer's thread; never
// throws.
#pragma once

#include <windows.h>

#include <string>

// The entry's two parts, as found or as to be changed. relinkCode, for the rollback of an
// upgrade's installation: the shortcut was there, to the removal of that older product, before
// the installation pointed it at itself; the rollback points it back.
struct StartMenuItems {
    bool folder = false;
    bool link = false;
    std::string relinkCode;
};
// "folder;link", "folder", "link" or "", then ";relink=<code>" when there is a code (without a
// leading ";" when alone): the CustomActionData of a script action.
std::string StartMenuItemsText(const StartMenuItems& items);
// Reads that text back; unknown words are passed over.
StartMenuItems ParseStartMenuItems(const char* text) noexcept;

// What lies at the folder's path: nothing, a plain folder, or anything else (a file, a reparse
// point such as a junction or a symbolic link to a folder), taken from its attributes.
enum class FolderKind { Missing, Plain, Other };
FolderKind FolderKindFromAttributes(DWORD attributes) noexcept;

// What of the entry is there now; a path that holds anything else counts as a folder that is
// there (and has no link), so that nothing undoes or deletes it.
StartMenuItems PresentStartMenuItems(const std::wstring& folder) noexcept;

// Creates the folder when asked and missing, then, when asked and the folder is a plain one,
// saves "Uninstall.lnk" to the system folder's msiexec.exe "/x productCode" (over an older one).
// Uses the calling thread's COM, initialising it when it is not yet.
void CreateStartMenuItems(const std::wstring& folder, const char* productCode, const StartMenuItems& items) noexcept;

// When the folder is a plain one: deletes "Uninstall.lnk" when asked, then the folder when asked
// and empty. Nothing is deleted recursively. With a relinkCode, saves the shortcut to that
// product's removal instead of deleting it.
void RemoveStartMenuItems(const std::wstring& folder, const StartMenuItems& items) noexcept;
