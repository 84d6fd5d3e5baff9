#include "apps_entry.h"

#include <qor/platform/files.h>
#include <qor/platform/registry.h>

namespace qor::install {

namespace {

using platform::Hive;

std::string InHome(const std::string& home, const char* name) {
    return home + platform::kSeparator + name;
}

}  // namespace

bool WriteAppsEntry(const std::string& home) {
    const auto text = [](const char* name, const std::string& value) {
        return platform::RegistryWriteString(Hive::kLocalMachine, kAppsEntryKey, name, value);
    };
    const auto number = [](const char* name, uint32_t value) {
        return platform::RegistryWriteDword(Hive::kLocalMachine, kAppsEntryKey, name, value);
    };
    return text("DisplayName", "QOR Vaultis") && text("DisplayVersion", "1.1") &&
           text("Publisher", "QOR Data Security") && text("InstallLocation", home) &&
           text("DisplayIcon", InHome(home, "shutdwn.exe") + ",0") &&
           text("UninstallString", "\"" + InHome(home, "uninstall.exe") + "\"") &&
           // The product is removed whole or not at all: no change or repair to offer.
           number("NoModify", 1) && number("NoRepair", 1);
}

void RemoveAppsEntry(const std::string& home) {
    std::string location;
    if (platform::RegistryReadString(Hive::kLocalMachine, kAppsEntryKey, "InstallLocation",
                                     &location) &&
        location == home) {
        platform::RegistryDeleteKey(Hive::kLocalMachine, kAppsEntryKey);
    }
}

}  // namespace qor::install
