// Lays out the installed environment the product relies on, and takes it away again: the home
// folder with the programs and the stub, the registry values that name them. Idempotent; the
// uninstall removes only what an install placed (listed in the home folder's manifest).
#pragma once

#include <string>
#include <vector>

#include "desktop_entries.h"

namespace qor::install {

struct InstallPlan {
    std::string home;          // the home folder, created when missing
    std::string sourceFolder;  // where the built programs are found
    // File names copied from sourceFolder into home, as (source name, installed name).
    std::vector<std::pair<std::string, std::string>> files;
    // Where the desktop entries go (Linux); empty members write none.
    DesktopFolders desktop;
};

// The home folder when none is given: $XDG_DATA_HOME/qor, else ~/.local/share/qor (Linux);
// %LOCALAPPDATA%\QOR Vaultis (Windows).
std::string DefaultHome();
// The remover the uninstall schedules: this installer, told which home folder to empty.
std::string UninstallCommand(const std::string& home);
// The programs an install places, found beside the installer.
InstallPlan DefaultPlan(const std::string& home, const std::string& sourceFolder);

// 0 on success; otherwise a one-line reason in *error. On Windows it registers the shell library
// and the file association too (windows_shell.h); what it could not register without failing
// (a shell library without its COM server) is said in *warning.
int Install(const InstallPlan& plan, std::string* error, std::string* warning = nullptr);
int Uninstall(const std::string& home, const DesktopFolders& desktop, std::string* error);

// The manifest's name inside the home folder.
inline constexpr const char* kManifestName = "installed.lst";

}  // namespace qor::install
