#include "autostart_settings.h"

#include <qor/platform/files.h>
#include <qor/platform/registry.h>
#include <qor/platform/system.h>

#include <cstdio>
#include <string>

namespace qor::autostart {

namespace {

constexpr uint32_t kLongestPeriodMs = 3600000;

}  // namespace

bool StartupDisabled() {
    std::string command;
    return platform::RegistryReadString(platform::Hive::kLocalMachine,
                                        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
                                        "QOR Autocrypt", &command) &&
           command.empty();
}

bool UserIsSetUp() {
    std::string home;
    // Without a known home folder the shell library decides (its calls then do nothing).
    if (!platform::RegistryReadString(platform::Hive::kClassesRoot,
                                      "CLSID\\{8e3e0f0a-0fcc-11ce-bcb0-b3fd0e253819}\\QOR",
                                      "UserHomeDir", &home) ||
        home.empty()) {
        return true;
    }
    return platform::Exists(home + platform::kSeparator + "userpref.!!!");
}

uint32_t Period() {
    const std::string setting = platform::EnvironmentVariable("QOR_AUTOSTART_PERIOD_MS");
    if (setting.empty()) return kDefaultPeriodMs;
    uint64_t value = 0;
    bool valid = setting.size() <= 7;
    for (char c : setting) {
        valid = valid && c >= '0' && c <= '9';
        if (valid) value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    if (!valid || value == 0 || value > kLongestPeriodMs) {
        std::fprintf(stderr, "qor-autostart: QOR_AUTOSTART_PERIOD_MS=%s is not 1 to %u; using %u\n",
                     setting.c_str(), kLongestPeriodMs, kDefaultPeriodMs);
        return kDefaultPeriodMs;
    }
    return static_cast<uint32_t>(value);
}

}  // namespace qor::autostart
