#include "uninstall_flow.h"

#include <qor/platform/files.h>
#include <qor/platform/registry.h>
#include <qor/platform/session.h>

#include <string>
#include <vector>

#include "startup_list.h"

namespace qor::uninstall {

using platform::Hive;
using ui::MessageButtons;
using ui::MessageIcon;

namespace {

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t k = 0; k < a.size(); ++k) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[k]) != lower(b[k])) return false;
    }
    return true;
}

// The string value of that name (compared ignoring case), as the registry spells its name.
bool FindString(const char* key, const char* name, platform::RegistryValue* found) {
    std::vector<platform::RegistryValue> values;
    if (!platform::RegistryEnumValues(Hive::kLocalMachine, key, &values)) return false;
    for (platform::RegistryValue& value : values) {
        if (!SameName(value.name, name)) continue;
        if (value.type != platform::ValueType::kString) return false;
        *found = std::move(value);
        return true;
    }
    return false;
}

// What has been changed, so that a failed session end can put it back.
struct Changes {
    bool startupBlanked = false;
    platform::RegistryValue startup;  // its name and the command line it held
    bool runOnceSet = false;
};

void DisableStartup(Changes* changes) {
    if (!FindString(kRunKey, kStartupValue, &changes->startup)) return;
    changes->startupBlanked =
        platform::RegistryWriteString(Hive::kLocalMachine, kRunKey, changes->startup.name, "");
    const std::string list = AutoCryptListPath(changes->startup.text);
    if (!list.empty()) platform::DeleteFile(list);
}

void ScheduleRemover(Changes* changes) {
    platform::RegistryValue remover;
    if (!FindString(kProductKey, kUninstallValue, &remover)) return;
    changes->runOnceSet = platform::RegistryWriteString(Hive::kLocalMachine, kRunOnceKey,
                                                        kRunOnceValue, remover.text);
}

void Undo(const Changes& changes) {
    if (changes.runOnceSet)
        platform::RegistryDeleteValue(Hive::kLocalMachine, kRunOnceKey, kRunOnceValue);
    if (changes.startupBlanked) {
        platform::RegistryWriteString(Hive::kLocalMachine, kRunKey, changes.startup.name,
                                      changes.startup.text);
    }
}

}  // namespace

int RunUninstall(ui::DialogHost& host) {
    if (host.ShowMessage(nullptr, kAskText, kCaption, MessageButtons::kYesNo,
                         MessageIcon::kQuestion) != ui::kIdYes) {
        return 0;
    }
    Changes changes;
    DisableStartup(&changes);
    ScheduleRemover(&changes);
    host.ShowMessage(nullptr, kWaitText, kCaption, MessageButtons::kOk, MessageIcon::kInformation);
    if (platform::EndSession(platform::SessionEnd::kLogoff)) return 0;
    if (host.ShowMessage(nullptr, kFailedText, kCaption, MessageButtons::kOkCancel,
                         MessageIcon::kExclamation) != ui::kIdCancel &&
        platform::EndSession(platform::SessionEnd::kReboot)) {
        return 0;
    }
    Undo(changes);
    return 0;
}

}  // namespace qor::uninstall
