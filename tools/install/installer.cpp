#include "installer.h"

#include <qor/platform/files.h>
#include <qor/platform/registry.h>
#include <qor/platform/shortcut.h>
#include <qor/platform/system.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "apps_entry.h"
#include "file_managers.h"
#include "windows_shell.h"

namespace qor::install {

namespace fs = std::filesystem;

namespace {

const char kProductKey[] = "CLSID\\{8e3e0f0a-0fcc-11ce-bcb0-b3fd0e253819}\\QOR";
const char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kVersionKey[] = "SOFTWARE\\QOR Data Security\\QOR Vaultis\\1.1";
const char kShellFoldersKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

#ifdef _WIN32
const char kProgramSuffix[] = ".exe";
const char kCoreLibrary[] = "qorsec95.dll";
const char kInstaller[] = "qor-install.exe";
// The small programs, built under the names the product knows them by.
const std::pair<const char*, const char*> kCompanions[] = {
    {"qorshell.dll", "qorshell.dll"},   {"associat.exe", "associat.exe"},
    {"vodorura.rar", "vodorura.rar"},   {"shutdwn.exe", "shutdwn.exe"},
    {"uninstall.exe", "uninstall.exe"},
};
#else
const char kProgramSuffix[] = "";
const char kCoreLibrary[] = "libqorsec95.so";
const char kInstaller[] = "qor-install";
// The start-up program goes in under its own name and as "vodorura.rar", the name the Run value
// and the end of the setup start it by.
const std::pair<const char*, const char*> kCompanions[] = {
    {"libqorshell.so", "libqorshell.so"},
    {"qor-associate", "qor-associate"},
    {"qor-autostart", "qor-autostart"},
    {"qor-autostart", "vodorura.rar"},
    {"qor-shutdown", "qor-shutdown"},
    {"qor-uninstall", "qor-uninstall"},
    // The desktop's dialogs, where GTK was there to build them.
    {"libqor-ui-gtk.so", "libqor-ui-gtk.so"},
};
#endif

std::string Join(const std::string& folder, const std::string& name) {
    return folder + platform::kSeparator + name;
}

// Where the shell library makes the Start-menu link on Linux: the desktop's own applications
// folder. Empty on Windows, whose Start menu the system names itself.
std::string StartMenuFolder(const DesktopFolders& desktop) {
    return desktop.data.empty() ? std::string() : desktop.data + "/applications";
}

// The Run value: the start-up program's full path. Windows reads it as a command line, so there
// it is quoted: a home folder with blanks would otherwise start another program.
std::string StartupCommand(const std::string& home) {
#ifdef _WIN32
    return "\"" + Join(home, "vodorura.rar") + "\"";
#else
    return Join(home, "vodorura.rar");
#endif
}

// The Start-menu link that the start-up program makes at every log-on to this home's
// Encrypt-and-Shut-Down program.
void RemoveStartMenuLink() {
    std::string folder;
    if (!platform::RegistryReadString(platform::Hive::kCurrentUser, kShellFoldersKey, "Start Menu",
                                      &folder) ||
        folder.empty()) {
        return;
    }
    platform::DeleteFile(platform::ShortcutFile(Join(folder, "QOR Encrypt and Shut Down....lnk")));
}

std::vector<std::string> ReadManifest(const std::string& home) {
    std::vector<std::string> names;
    std::ifstream in(fs::u8path(Join(home, kManifestName)));
    for (std::string line; std::getline(in, line);) {
        if (!line.empty()) names.push_back(line);
    }
    return names;
}

}  // namespace

std::string UninstallCommand(const std::string& home) {
    // The home folder named, so that the remover takes away this installation whatever the
    // default would be when it runs.
    return "\"" + Join(home, kInstaller) + "\" --uninstall --home \"" + home + "\"";
}

std::string DefaultHome() {
#ifdef _WIN32
    std::string base = platform::EnvironmentVariable("LOCALAPPDATA");
    return base.empty() ? std::string() : Join(base, "QOR Vaultis");
#else
    std::string data = platform::EnvironmentVariable("XDG_DATA_HOME");
    if (data.empty()) {
        const std::string userHome = platform::EnvironmentVariable("HOME");
        if (userHome.empty()) return {};
        data = userHome + "/.local/share";
    }
    return data + "/qor";
#endif
}

InstallPlan DefaultPlan(const std::string& home, const std::string& sourceFolder) {
    InstallPlan plan;
    plan.home = home;
    plan.sourceFolder = sourceFolder;
    plan.files = {{kCoreLibrary, kCoreLibrary}, {"decexe", "decexe"}, {kInstaller, kInstaller}};
    // Companion programs join the list as they are built; a missing one is skipped.
    for (const char* optional : {"qor", "qor-call"}) {
        const std::string name = std::string(optional) + kProgramSuffix;
        plan.files.emplace_back(name, name);
    }
    for (const auto& [built, installed] : kCompanions)
        plan.files.emplace_back(built, installed);
    plan.desktop = DefaultDesktopFolders();
    return plan;
}

int Install(const InstallPlan& plan, std::string* error, std::string* warning) {
    if (plan.home.empty() || plan.home.size() >= platform::kMaxPath) {
        *error = "no usable home folder (give one with --home)";
        return 1;
    }
    std::error_code ec;
    fs::create_directories(fs::u8path(plan.home), ec);
    if (ec) {
        *error = "cannot create " + plan.home + ": " + ec.message();
        return 1;
    }
    std::vector<std::string> placed = ReadManifest(plan.home);
    for (const auto& [from, to] : plan.files) {
        const fs::path source = fs::u8path(Join(plan.sourceFolder, from));
        if (!fs::exists(source)) continue;
        const fs::path target = fs::u8path(Join(plan.home, to));
        if (fs::exists(target) && fs::equivalent(source, target, ec)) continue;
        // Replace by remove-then-copy: MinGW's runtime refuses overwrite_existing.
        fs::remove(target, ec);
        fs::copy_file(source, target, ec);
        if (ec) {
            *error = "cannot copy " + from + ": " + ec.message();
            return 1;
        }
        if (std::find(placed.begin(), placed.end(), to) == placed.end()) placed.push_back(to);
    }
    // The file managers' menus run qor through the launcher, which finds the dialogs a place.
    if (!plan.desktop.data.empty()) {
        if (!WriteLauncher(plan.home, error)) return 1;
        if (std::find(placed.begin(), placed.end(), kLauncherName) == placed.end())
            placed.push_back(kLauncherName);
    }
    {
        std::ofstream manifest(fs::u8path(Join(plan.home, kManifestName)), std::ios::trunc);
        for (const std::string& name : placed)
            manifest << name << '\n';
        if (!manifest) {
            *error = "cannot write the manifest in " + plan.home;
            return 1;
        }
    }
    using platform::Hive;
    const bool ok =
        platform::RegistryWriteString(Hive::kClassesRoot, kProductKey, "UserHomeDir", plan.home) &&
        platform::RegistryWriteString(Hive::kLocalMachine, kRunKey, "QOR Autocrypt",
                                      StartupCommand(plan.home)) &&
        platform::RegistryWriteString(Hive::kLocalMachine, kVersionKey, "UninstallString",
                                      UninstallCommand(plan.home));
    const std::string startMenu = StartMenuFolder(plan.desktop);
    if (!ok ||
        (!startMenu.empty() && !platform::RegistryWriteString(Hive::kCurrentUser, kShellFoldersKey,
                                                              "Start Menu", startMenu))) {
        *error = "cannot write the registry";
        return 1;
    }
#ifdef _WIN32
    std::string note;
    if (RegisterWindowsShell(plan.home, &note, error) != 0) return 1;
    if (!WriteAppsEntry(plan.home)) {
        *error = "cannot write the entry in the list of installed apps";
        return 1;
    }
    if (warning != nullptr) *warning = note;
#else
    (void)warning;
#endif
    return WriteDesktopEntries(plan.desktop, plan.home, error);
}

int Uninstall(const std::string& home, const DesktopFolders& desktop, std::string* error) {
    using platform::Hive;
    std::string registered;
    // Only the values that name this home folder are ours to remove.
    if (platform::RegistryReadString(Hive::kClassesRoot, kProductKey, "UserHomeDir", &registered) &&
        registered == home) {
#ifdef _WIN32
        // While the shell library is still there to unregister itself.
        UnregisterWindowsShell(home);
        RemoveAppsEntry(home);
#endif
        RemoveStartMenuLink();
        platform::RegistryDeleteValue(Hive::kClassesRoot, kProductKey, "UserHomeDir");
        platform::RegistryDeleteValue(Hive::kLocalMachine, kRunKey, "QOR Autocrypt");
        platform::RegistryDeleteValue(Hive::kLocalMachine, kVersionKey, "UninstallString");
        std::string startMenu;
        if (!StartMenuFolder(desktop).empty() &&
            platform::RegistryReadString(Hive::kCurrentUser, kShellFoldersKey, "Start Menu",
                                         &startMenu) &&
            startMenu == StartMenuFolder(desktop)) {
            platform::RegistryDeleteValue(Hive::kCurrentUser, kShellFoldersKey, "Start Menu");
        }
    }
    RemoveDesktopEntries(desktop, home);
    std::error_code ec;
    bool held = false;
    for (const std::string& name : ReadManifest(home)) {
        // The manifest lists bare names; anything else is not ours to touch.
        if (name.find('/') != std::string::npos || name.find('\\') != std::string::npos ||
            name == "." || name == "..") {
            continue;
        }
        // Windows keeps a running program (this remover) and a loaded library (the shell's, in
        // Explorer) from being deleted: they go at the next start instead.
        if (!fs::remove(fs::u8path(Join(home, name)), ec) && ec &&
            platform::DeleteAtRestart(Join(home, name))) {
            held = true;
        }
    }
    fs::remove(fs::u8path(Join(home, kManifestName)), ec);
    // The folder goes only when nothing of the user's is left in it (a preference file, a
    // backup, the AutoCrypt list all stay), at once or after what is held.
    if (!fs::remove(fs::u8path(home), ec) && held) platform::DeleteAtRestart(home);
    (void)error;
    return 0;
}

}  // namespace qor::install
