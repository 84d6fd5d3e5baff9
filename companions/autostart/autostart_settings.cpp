#include "autostart_settings.h"

#include <qor/platform/files.h>
#include <qor/platform/registry.h>
#include <qor/platform/system.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace qor::autostart {

namespace {

constexpr uint32_t kLongestPeriodMs = 3600000;
constexpr char kRunOnceKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

}  // namespace

void SplitCommandLine(const std::string& command, std::string* program, std::string* arguments) {
    const size_t start = command.find_first_not_of(' ');
    program->clear();
    arguments->clear();
    if (start == std::string::npos) return;
    size_t end;
    if (command[start] == '"') {
        end = command.find('"', start + 1);
        *program = command.substr(start + 1, end == std::string::npos ? end : end - start - 1);
        end = end == std::string::npos ? command.size() : end + 1;
    } else {
        end = std::min(command.find(' ', start), command.size());
        *program = command.substr(start, end - start);
    }
    const size_t rest = command.find_first_not_of(' ', end);
    if (rest != std::string::npos) *arguments = command.substr(rest);
}

void RunOnceCommands() {
    std::vector<platform::RegistryValue> values;
    if (!platform::RegistryEnumValues(platform::Hive::kLocalMachine, kRunOnceKey, &values)) return;
    for (const platform::RegistryValue& value : values) {
        if (value.type != platform::ValueType::kString) continue;
        platform::RegistryDeleteValue(platform::Hive::kLocalMachine, kRunOnceKey, value.name);
        std::string program;
        std::string arguments;
        SplitCommandLine(value.text, &program, &arguments);
        if (!program.empty() && !platform::StartProgram(program, arguments))
            std::fprintf(stderr, "qor-autostart: cannot start %s\n", program.c_str());
    }
}

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
