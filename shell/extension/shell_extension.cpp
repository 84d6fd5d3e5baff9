#include "shell_extension.h"

#include <qor/entry/string_array.h>
#include <qor/platform/files.h>
#include <qor/platform/registry.h>

#include "autocrypt_edit.h"
#include "core_library.h"
#include "shared_state.h"

namespace qor::shell {

namespace {

using WindowCall = int (*)(void*);
using PlainCall = int (*)();
using SelectionCall = int (*)(void*, const QorStringArray*, void*);

// Calls one selection export with the shared hand-over.
void RunSelectionExport(const CoreLibrary& core, const char* name, QorShellWindow owner,
                        const std::vector<std::string>& selection) {
    const auto call = core.Export<SelectionCall>(name);
    if (call == nullptr) return;
    const entry::StringArray array(selection);
    HandOverLease lease;
    call(owner, array.get(), lease.get());
}

void RunWindowExport(const CoreLibrary& core, const char* name, QorShellWindow owner) {
    if (const auto call = core.Export<WindowCall>(name)) call(owner);
}

// The core answers "set up" when there is no preference file at all (an installation normally
// places one); a menu offering Encrypt to a user who was never set up would only lead to the
// request for a backup diskette, so no file means that setup is needed.
bool PreferenceFileExists() {
    std::string home;
    if (!platform::RegistryReadString(platform::Hive::kClassesRoot,
                                      "CLSID\\{8e3e0f0a-0fcc-11ce-bcb0-b3fd0e253819}\\QOR",
                                      "UserHomeDir", &home)) {
        home = std::string(1, platform::kSeparator) + "qorsecure" + platform::kSeparator + "user";
    }
    return platform::Exists(home + platform::kSeparator + "userpref.!!!");
}

}  // namespace

std::atomic<int> LiveObject::count_{0};

SelectionEnvironment PlatformSelectionEnvironment() {
    SelectionEnvironment env;
    env.separator = platform::kSeparator;
    env.isSystemPath = [](const std::string& path) { return platform::IsInsideSystemFolder(path); };
    env.isFolder = [](const std::string& path) {
        const uint32_t attributes = platform::GetAttributes(path);
        return attributes != platform::kInvalidAttributes &&
               (attributes & platform::kAttrDirectory) != 0;
    };
    return env;
}

bool ShellExtension::Initialize(const std::vector<std::string>& paths) {
    return BuildShellSelection(paths, PlatformSelectionEnvironment(), &selection_);
}

int ShellExtension::QueryContextMenu(std::vector<MenuItem>* menu, size_t position, int firstId) {
    MenuConditions conditions;
    conditions.busy = platform::SharedBusyFlag() != 0;
    if (!conditions.busy) {
        // Without the core library every item shows as if the user were set up.
        const CoreLibrary core;
        if (const auto setupCompleted = core.Export<PlainCall>("SetupCompleted"))
            conditions.setupNeeded = setupCompleted() != 0 || !PreferenceFileExists();
    }
    conditions.passwordKept = PasswordKept();
    conditions.state = selection_.state;
    return shell::QueryContextMenu(menu, position, firstId, conditions);
}

int ShellExtension::InvokeCommand(QorShellWindow owner, int offset) {
    const MenuAction action = ActionForOffset(offset);
    if (action == MenuAction::kInvalid) return -2;
    const CoreLibrary core;
    if (!core.loaded()) return 0;
    const BusyScope busy;
    switch (action) {
        case MenuAction::kLocalEncrypt:
            RunSelectionExport(core, "LocalEncrypt", owner, selection_.list);
            break;
        case MenuAction::kLocalDecrypt:
            RunSelectionExport(core, "LocalDecrypt", owner, selection_.list);
            break;
        case MenuAction::kShareEncrypt:
            RunSelectionExport(core, "FileShareEncrypt", owner, selection_.list);
            break;
        case MenuAction::kShareDecrypt:
            RunSelectionExport(core, "FileShareDecrypt", owner, selection_.list);
            break;
        case MenuAction::kAutoCryptList:
            RunAutoCryptEditDialog(owner, core);
            break;
        case MenuAction::kChangePassword:
            if (const auto change = core.Export<WindowCall>("ChangePassword")) {
                // The old password must not be handed on once a new one is in force.
                if (change(owner) == 0) ClearKeptPassword();
            }
            break;
        case MenuAction::kClearPassword:
            ClearKeptPassword();
            break;
        case MenuAction::kHelp:
            RunWindowExport(core, "ShowHelp", owner);
            break;
        case MenuAction::kAbout:
            RunWindowExport(core, "AboutBox", owner);
            break;
        case MenuAction::kSetup:
            RunWindowExport(core, "SetupQORSecure", owner);
            break;
        case MenuAction::kNothing:
        case MenuAction::kInvalid:
            break;
    }
    return 0;
}

}  // namespace qor::shell
