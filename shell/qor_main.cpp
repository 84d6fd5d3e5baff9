// qor: the Linux front end in place of the file manager's context menu. Each command loads the
// core library by name, calls one export with the selection built as the file manager hands it
// over, and unloads the library again.
#include <qor/platform/files.h>
#include <qor/platform/registry.h>
#include <qor/platform/system.h>
#include <qor/platform/terminal.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "selection.h"

#if __has_include(<qor/entry/string_array.h>)
#include <qor/entry/string_array.h>
#else
// The core's string-array type, declared here with the same C layout until the core's own
// header is available to include.
extern "C" {
struct QorStringArray {
    const char* const* items;
    unsigned int count;
};
}
#endif

namespace {

#ifdef _WIN32
const char kLibrary[] = "qorsec95.dll";
#else
const char kLibrary[] = "libqorsec95.so";
#endif

// Exit statuses.
constexpr int kOk = 0;
// Files refused during a run and cancelled dialogs are the core's to report, in its dialogs; its
// selection exports return success for them, so kFailed means the core itself failed, or setup
// or open did not complete.
constexpr int kFailed = 1;
constexpr int kBadArgs = 2;    // bad arguments or a selection the file manager could not make
constexpr int kNoLibrary = 4;  // the core library or one of its exports is missing

// The kept-password block the exports read and fill. It lives in this process only and is wiped
// before the process ends, so a kept password never outlives the command.
struct HandOver {
    int32_t valid;
    uint32_t cacheTime;
    uint32_t keepMinutes;
    char password[36];
};
static_assert(sizeof(HandOver) == 48);

class HandOverBlock {
  public:
    HandOverBlock() { std::memset(&block_, 0, sizeof block_); }
    ~HandOverBlock() {
        // Volatile stores, so the compiler cannot drop the wipe of a block about to die.
        volatile unsigned char* bytes = reinterpret_cast<volatile unsigned char*>(&block_);
        for (size_t k = 0; k < sizeof block_; ++k)
            bytes[k] = 0;
    }
    HandOverBlock(const HandOverBlock&) = delete;
    HandOverBlock& operator=(const HandOverBlock&) = delete;
    HandOver* get() { return &block_; }

  private:
    HandOver block_;
};

using WindowCall = int (*)(void*);
using PlainCall = int (*)();
using SelectionCall = int (*)(void*, const QorStringArray*, void*);
using AssociateCall = int (*)(void*, const char*, char*, void*);

int Fail(int status, const std::string& reason) {
    std::fprintf(stderr, "qor: %s\n", reason.c_str());
    return status;
}

// The core library, loaded for one command.
class Core {
  public:
    Core() : library_(qor::platform::LoadLibrary(kLibrary)) {}
    ~Core() {
        if (library_ != nullptr) qor::platform::FreeLibrary(library_);
    }
    Core(const Core&) = delete;
    Core& operator=(const Core&) = delete;

    bool loaded() const { return library_ != nullptr; }
    void* Symbol(const char* name) const { return qor::platform::LibrarySymbol(library_, name); }

  private:
    qor::platform::LibraryHandle library_;
};

// Loads the library and binds one export; on failure *status holds the exit status and the
// reason has been printed.
template <typename Function>
Function Bind(const Core& core, const char* name, int* status) {
    if (!core.loaded()) {
        *status = Fail(kNoLibrary, std::string("cannot load ") + kLibrary);
        return nullptr;
    }
    void* symbol = core.Symbol(name);
    if (symbol == nullptr) {
        *status = Fail(kNoLibrary, std::string(kLibrary) + " has no export " + name);
        return nullptr;
    }
    return reinterpret_cast<Function>(symbol);
}

const char kUsage[] =
    "usage: qor COMMAND [ARGS]\n"
    "\n"
    "  setup                  set up QOR Vaultis for this user (name, password, key)\n"
    "  status                 say whether this user is set up (exit 0 when set up, else 1)\n"
    "  encrypt PATH...        encrypt files and folders under your own key\n"
    "  decrypt PATH...        decrypt files and folders encrypted under your key\n"
    "  share-encrypt PATH...  encrypt files to share, under a one-time password\n"
    "  share-decrypt PATH...  decrypt shared files with their one-time password\n"
    "  open FILE              decrypt one encrypted file and print the decrypted file's path\n"
    "  --help                 show this text\n"
    "\n"
    "The PATHs of one command must lie in the same folder. Dialogs appear in the terminal\n"
    "(QOR_UI=tty, the default) or are answered from a scenario (QOR_UI=script:FILE).\n"
    "Exit status: 0 the command ran (files refused on the way, and a cancelled dialog, are\n"
    "reported in the dialogs), 1 setup or open not completed, no terminal for the dialogs, or\n"
    "the core failed, 2 bad arguments, 4 core library or export missing.\n";

// Every command but status shows dialogs. Without a terminal (and no scenario to answer them)
// each would end as cancelled and the command would look done; say so before starting instead.
bool CanShowDialogs() {
#ifdef _WIN32
    return true;
#else
    const std::string setting = qor::platform::EnvironmentVariable("QOR_UI");
    if (!setting.empty() && setting != "tty") return true;
    qor::platform::Terminal terminal;
    return terminal.Open();
#endif
}

const char kNoTerminal[] =
    "no terminal to show the dialogs in (run qor in a terminal, or answer them from a scenario "
    "with QOR_UI=script:FILE)";

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
        std::fputs(kUsage, stderr);
        return kBadArgs;
    }
    const std::string command = arguments[1];
    const std::vector<std::string> args(arguments.begin() + 2, arguments.end());
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsage, stdout);
        return kOk;
    }
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
