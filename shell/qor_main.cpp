// qor: the Linux front end in place of the file manager's context menu. Each command loads the
// core library by name, calls one export with the selection built as the file manager hands it
// over, and unloads the library again.
#include <qor/entry/string_array.h>
#include <qor/platform/files.h>
#include <qor/platform/registry.h>
#include <qor/platform/system.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "autocrypt_command.h"
#include "core_binding.h"
#include "selection.h"

namespace {

using namespace qor::shell;

using WindowCall = int (*)(void*);
using PlainCall = int (*)();
using SelectionCall = int (*)(void*, const QorStringArray*, void*);
using AssociateCall = int (*)(void*, const char*, char*, void*);

const char kUsage[] =
    "usage: qor COMMAND [ARGS]\n"
    "\n"
    "  setup                  set up QOR Vaultis for this user (name, password, key)\n"
    "  status                 say whether this user is set up (exit 0 when set up, else 1)\n"
    "  encrypt PATH...        encrypt files and folders under your own key\n"
    "  decrypt PATH...        decrypt files and folders encrypted under your key\n"
    "  share-encrypt PATH...  encrypt files to share, under a one-time password\n"
    "  share-decrypt PATH...  decrypt shared files with their one-time password\n"
    "  open FILE              decrypt one encrypted file and print the decrypted file's path\n";

const char kUsageTail[] =
    "  --help                 show this text\n"
    "\n"
    "The PATHs of one command must lie in the same folder. Dialogs appear in the terminal\n"
    "(QOR_UI=tty, the default) or are answered from a scenario (QOR_UI=script:FILE).\n"
    "Exit status: 0 the command ran (files refused on the way, and a cancelled dialog, are\n"
    "reported in the dialogs), 1 setup or open not completed, no terminal for the dialogs, or\n"
    "the core failed, 2 bad arguments, 4 core library or export missing.\n";

void PrintUsage(FILE* out) {
    std::fputs(kUsage, out);
    std::fputs(kAutoCryptUsage, out);
    std::fputs(kUsageTail, out);
}

// The user is set up when the installed home folder holds the preference file and the core
// reads a wrapped key from it.
bool IsSetUp(const Core& core, int* status) {
    auto setupCompleted = Bind<PlainCall>(core, "SetupCompleted", status);
    if (setupCompleted == nullptr) return false;
    *status = kOk;
    std::string home;
    if (!qor::platform::RegistryReadString(qor::platform::Hive::kClassesRoot,
                                           "CLSID\\{8e3e0f0a-0fcc-11ce-bcb0-b3fd0e253819}\\QOR",
                                           "UserHomeDir", &home) ||
        home.empty()) {
        return false;
    }
    if (!qor::platform::Exists(home + qor::platform::kSeparator + "userpref.!!!")) return false;
    return setupCompleted() == 0;
}

int RunStatus() {
    Core core;
    int status = kOk;
    const bool setUp = IsSetUp(core, &status);
    if (status != kOk) return status;
    std::printf("%s\n", setUp ? "set up" : "not set up");
    return setUp ? kOk : kFailed;
}

int RunSetup() {
    if (!CanShowDialogs()) return Fail(kFailed, kNoTerminal);
    Core core;
    int status = kOk;
    auto setup = Bind<WindowCall>(core, "SetupQORSecure", &status);
    if (setup == nullptr) return status;
    if (setup(nullptr) == 0) return Fail(kFailed, "setup failed");
    const bool setUp = IsSetUp(core, &status);
    if (status != kOk) return status;
    if (!setUp) return Fail(kFailed, "setup was not completed");
    return kOk;
}

// The file operations: the export is called once with the whole selection.
int RunSelection(const char* exportName, bool takesHandOver,
                 const std::vector<std::string>& paths) {
    std::vector<std::string> selection;
    std::string error;
    if (!qor::shell::BuildSelection(paths, qor::platform::CurrentFolder(),
                                    qor::platform::GetAttributes, &selection, &error)) {
        return Fail(kBadArgs, error);
    }
    std::vector<const char*> items;
    for (const std::string& item : selection)
        items.push_back(item.c_str());
    const QorStringArray array{items.data(), static_cast<unsigned int>(items.size())};

    if (!CanShowDialogs()) return Fail(kFailed, kNoTerminal);
    Core core;
    int status = kOk;
    auto operation = Bind<SelectionCall>(core, exportName, &status);
    if (operation == nullptr) return status;
    HandOverBlock handOver;
    // The export's frame returns 0 only when something escaped the operation; refusals and
    // cancellations are reported to the user by the core's own dialogs.
    const int result = operation(nullptr, &array, takesHandOver ? handOver.get() : nullptr);
    if (result == 0) return Fail(kFailed, std::string(exportName) + " failed");
    return kOk;
}

int RunOpen(const std::string& path) {
    const std::string full = qor::shell::MakeAbsolute(path, qor::platform::CurrentFolder());
    const uint32_t attributes = qor::platform::GetAttributes(full);
    if (attributes == qor::platform::kInvalidAttributes)
        return Fail(kBadArgs, "no such file: " + path);
    if ((attributes & qor::platform::kAttrDirectory) != 0)
        return Fail(kBadArgs, "open takes a file, not a folder: " + path);
    if (full.size() >= qor::platform::kMaxPath) return Fail(kBadArgs, "path too long: " + path);

    if (!CanShowDialogs()) return Fail(kFailed, kNoTerminal);
    Core core;
    int status = kOk;
    auto associate = Bind<AssociateCall>(core, "AssociateDecrypt", &status);
    if (associate == nullptr) return status;
    HandOverBlock handOver;
    char decrypted[qor::platform::kMaxPath] = {};
    if (associate(nullptr, full.c_str(), decrypted, handOver.get()) != 0)
        return Fail(kFailed, "not an encrypted file: " + path);
    // The export leaves the path untouched when nothing was decrypted (cancelled or refused).
    decrypted[sizeof decrypted - 1] = '\0';
    if (decrypted[0] == '\0') return Fail(kFailed, "nothing was decrypted: " + path);
    std::printf("%s\n", decrypted);
    return kOk;
}

struct SelectionCommand {
    const char* name;
    const char* exportName;
    bool takesHandOver;
};

const SelectionCommand kSelectionCommands[] = {
    {"encrypt", "LocalEncrypt", true},
    {"decrypt", "LocalDecrypt", true},
    {"share-encrypt", "FileShareEncrypt", false},
    {"share-decrypt", "FileShareDecrypt", false},
};

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments = qor::platform::ProgramArguments(argc, argv);
    if (arguments.size() < 2) {
        PrintUsage(stderr);
        return kBadArgs;
    }
    const std::string command = arguments[1];
    const std::vector<std::string> args(arguments.begin() + 2, arguments.end());
    if (command == "--help" || command == "-h" || command == "help") {
        PrintUsage(stdout);
        return kOk;
    }
    if (command == "autocrypt") return RunAutoCrypt(args);
    if (command == "setup" || command == "status") {
        if (!args.empty()) return Fail(kBadArgs, command + " takes no arguments");
        return command == "setup" ? RunSetup() : RunStatus();
    }
    if (command == "open") {
        if (args.size() != 1) return Fail(kBadArgs, "open takes exactly one file");
        return RunOpen(args[0]);
    }
    for (const SelectionCommand& c : kSelectionCommands) {
        if (command == c.name) {
            if (args.empty()) return Fail(kBadArgs, command + " needs at least one path");
            return RunSelection(c.exportName, c.takesHandOver, args);
        }
    }
    return Fail(kBadArgs, "unknown command " + command + " (try qor --help)");
}
