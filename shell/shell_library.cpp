#include "shell_library.h"

#include <qor/platform/files.h>
#include <qor/platform/registry.h>
#include <qor/platform/terminal.h>

namespace qor::shell {

// Every command but status shows dialogs. Without a terminal (and no scenario to answer them)
// each would end as cancelled and the command would look done; say so before starting instead.
bool CanShowDialogs() {
#ifdef _WIN32
    return true;
#else
    const std::string setting = platform::EnvironmentVariable("QOR_UI");
    if (!setting.empty() && setting != "tty" && setting != "gtk") return true;
    // A desktop's dialogs, when the GTK host is installed beside the programs.
    const bool display = !platform::EnvironmentVariable("DISPLAY").empty() ||
                         !platform::EnvironmentVariable("WAYLAND_DISPLAY").empty();
    if (setting != "tty" && display &&
        platform::Exists(platform::ProgramFolder() + platform::kSeparator + "libqor-ui-gtk.so"))
        return true;
    platform::Terminal terminal;
    return terminal.Open();
#endif
}

bool PreferenceFilePresent() {
    std::string home;
    if (!platform::RegistryReadString(platform::Hive::kClassesRoot,
                                      "CLSID\\{8e3e0f0a-0fcc-11ce-bcb0-b3fd0e253819}\\QOR",
                                      "UserHomeDir", &home) ||
        home.empty()) {
        return false;
    }
    return platform::Exists(home + platform::kSeparator + "userpref.!!!");
}

bool CoreLibraryPresent() {
    // Beside the program, where the installation puts it and where the shell library looks.
    return platform::Exists(platform::ProgramFolder() + platform::kSeparator + kCoreLibraryName);
}

}  // namespace qor::shell
