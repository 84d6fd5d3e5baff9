// The desktop's side of an install on Linux: the file association that opens encrypted files
// with the product, the log-on entry of the AutoCrypt start-up program, and the file managers'
// context menus (file_managers.h). Each entry carries
// the home folder it was written for, so an uninstall removes only entries that name its own
// home. On Windows these are registry matters: the default folders are empty there and nothing
// is written.
#pragma once

#include <string>
#include <vector>

namespace qor::install {

struct DesktopFolders {
    std::string data;    // $XDG_DATA_HOME, else ~/.local/share
    std::string config;  // $XDG_CONFIG_HOME, else ~/.config
    // $XDG_CONFIG_DIRS, else /etc/xdg: where a file manager finds its defaults (Thunar's actions).
    std::vector<std::string> systemConfig = {};
    // Whether Nautilus's Python extensions are installed (their library found on the system).
    bool nautilusPython = false;
};

// From the environment and the system; empty members when neither the XDG variable nor HOME is
// set, and always on Windows.
DesktopFolders DefaultDesktopFolders();

// The files written for `home`, in the order they are written.
std::vector<std::string> DesktopEntryPaths(const DesktopFolders& folders);

// Writes the entries (the log-on entry only when the start-up program is in the home folder),
// then has the desktop's caches of file types and their programs rebuilt where the programs
// for that are installed. 0 on success; otherwise a one-line reason in *error.
int WriteDesktopEntries(const DesktopFolders& folders, const std::string& home, std::string* error);
// Removes the entries that were written for `home` (and rebuilds the caches); others (another
// install's) stay.
void RemoveDesktopEntries(const DesktopFolders& folders, const std::string& home);

// A command-line argument quoted for a desktop entry's Exec key (the quoting rules of the
// desktop entry format, then its string escapes).
std::string QuoteExecArgument(const std::string& argument);

}  // namespace qor::install
