// The product's items in the file managers' context menus on Linux, where the file managers stand
// where Explorer stands on Windows: Nautilus (a menu provider that asks `qor menu`, or scripts
// where its Python extensions are not installed), Dolphin (a service menu), Thunar (custom actions
// in the user's uca.xml) and Nemo (actions). Each item runs one `qor` command with the selection
// through the launcher that the install places in the home folder.
//
// The launcher decides at each run, not at install time, whether the dialogs need a terminal: a
// dialog host installed later (or removed) then needs no new entries, and a file manager started
// without a display (or a user who sets QOR_UI) is served the same way as `qor` itself.
//
// Every file written names the home folder it was written for (an "X-QOR-Home=" line; Thunar's
// actions by their command), so an uninstall removes only its own.
#pragma once

#include <string>
#include <vector>

#include "desktop_entries.h"

namespace qor::install {

// The launcher's name in the home folder.
inline constexpr const char* kLauncherName = "qor-desktop";

// The launcher script for `home`.
std::string LauncherScript(const std::string& home);
// Writes it into `home`, executable. False with a one-line reason in *error.
bool WriteLauncher(const std::string& home, std::string* error);

// `text` as one word for a POSIX shell (single quotes; a quote inside as '\'').
std::string ShellQuote(const std::string& text);

// The files written for the file managers, whichever of them were written.
std::vector<std::string> FileManagerEntryPaths(const DesktopFolders& folders);

// Writes the entries of every file manager. 0 on success; otherwise a one-line reason in *error.
int WriteFileManagerEntries(const DesktopFolders& folders, const std::string& home,
                            std::string* error);
// Removes the entries written for `home`; the user's own Thunar actions and other installs'
// entries stay.
void RemoveFileManagerEntries(const DesktopFolders& folders, const std::string& home);

}  // namespace qor::install
