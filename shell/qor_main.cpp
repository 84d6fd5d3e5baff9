// qor: the Linux front end in place of the file manager's context menu. It loads the shell
// library by name and uses it as a file manager uses the shell extension: an object initialised
// with the selection, asked for its menu, told to carry out one command. The kept password lives
// in the block that all the user's processes share, so a password kept in one qor run serves the
// next one and the product's other programs.
#include <qor/platform/files.h>
#include <qor/platform/registry.h>
#include <qor/platform/system.h>
#include <qor/shell/shell_object.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "autocrypt_command.h"
#include "context_menu.h"
#include "selection.h"
#include "shell_library.h"

namespace {

using namespace qor::shell;

using CreateCall = QorShellObject* (*)();
using ReleaseCall = void (*)(QorShellObject*);
using InitializeCall = int (*)(QorShellObject*, const char* const*, unsigned);
using MenuCall = int (*)(QorShellObject*, int, char*, unsigned);
using InvokeCall = int (*)(QorShellObject*, QorShellWindow, unsigned);
using AssociateCall = int (*)(QorShellWindow, const char*, char*);

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
    "  menu PATH...           show the menu a file manager shows for these items\n"
    "  inspect FILE...        say what each file is, without any secret (exit 1: damaged)\n"
    "  change-password        change your password\n"
    "  clear-password         forget the password kept in memory\n"
    "  help                   show the help topics\n"
    "  about                  show the about box\n";

const char kUsageTail[] =
    "  --help                 show this text\n"
    "\n"
    "The PATHs of one command must lie in the same folder. Dialogs appear as windows on a\n"
    "desktop (QOR_UI=gtk, the default with a display), in the terminal (QOR_UI=tty, the default\n"
    "without one) or are answered from a scenario (QOR_UI=script:FILE).\n"
    "In the terminal a dialog is a numbered form: type into the field shown (Enter goes on to the\n"
    "next field, and after the last one presses the button named by \"Enter =\"), Tab leaves the\n"
    "field for the numbers, a number chooses a button, ticks a box or picks an item (so does the\n"
    "underlined letter of its text or label, in either case, with no Enter), and Esc cancels.\n"
    "A password kept in memory (\"Keep password in memory for\") serves every qor run and the\n"
    "product's other programs until its minutes are over or clear-password forgets it.\n"
    "Exit status: 0 the command ran (files refused on the way, and a cancelled dialog, are\n"
    "reported in the dialogs), 1 setup or open not completed, or no terminal for the dialogs,\n"
    "2 bad arguments, 4 shell or core library or export missing.\n";

void PrintUsage(FILE* out) {
    std::fputs(kUsage, out);
    std::fputs(kAutoCryptUsage, out);
    std::fputs(kUsageTail, out);
}

// The shell's object for one command, released at the end.
class ShellObject {
  public:
    ShellObject(const ShellLibrary& shell, int* status) {
        create_ = shell.Bind<CreateCall>("QorShellCreate", status);
        release_ = shell.Bind<ReleaseCall>("QorShellRelease", status);
        initialize_ = shell.Bind<InitializeCall>("QorShellInitialize", status);
        menu_ = shell.Bind<MenuCall>("QorShellQueryContextMenu", status);
        invoke_ = shell.Bind<InvokeCall>("QorShellInvokeCommand", status);
        if (create_ != nullptr && release_ != nullptr && initialize_ != nullptr &&
            menu_ != nullptr && invoke_ != nullptr) {
            object_ = create_();
        }
        if (object_ == nullptr && *status == kOk) *status = Fail(kFailed, "out of memory");
    }
    ~ShellObject() {
        if (object_ != nullptr) release_(object_);
    }
    ShellObject(const ShellObject&) = delete;
    ShellObject& operator=(const ShellObject&) = delete;

    bool ready() const { return object_ != nullptr; }
    bool Initialize(const std::vector<std::string>& paths) {
        std::vector<const char*> items;
        for (const std::string& path : paths)
            items.push_back(path.c_str());
        return initialize_(object_, items.data(), static_cast<unsigned>(items.size())) == 0;
    }
    std::string Menu() {
        std::vector<char> text(16384);
        menu_(object_, 0, text.data(), static_cast<unsigned>(text.size()));
        return text.data();
    }
    void Invoke(int offset) { invoke_(object_, nullptr, static_cast<unsigned>(offset)); }

  private:
    CreateCall create_ = nullptr;
    ReleaseCall release_ = nullptr;
    InitializeCall initialize_ = nullptr;
    MenuCall menu_ = nullptr;
    InvokeCall invoke_ = nullptr;
    QorShellObject* object_ = nullptr;
};

// The items as full paths in one folder, as a file manager hands them over; the reason on failure.
bool SelectedPaths(const std::vector<std::string>& paths, std::vector<std::string>* full,
                   std::string* error) {
    std::vector<std::string> selection;
    const std::string current = qor::platform::CurrentFolder();
    if (!BuildSelection(paths, current, qor::platform::GetAttributes, &selection, error))
        return false;
    for (const std::string& path : paths)
        full->push_back(MakeAbsolute(path, current));
    return true;
}

// The shell library and the core beside it; otherwise the status says what is missing.
bool LibrariesPresent(const ShellLibrary& shell, int* status) {
    if (!shell.loaded()) {
        *status = Fail(kNoLibrary, std::string("cannot load ") + kShellLibraryName);
        return false;
    }
    if (!CoreLibraryPresent()) {
        *status = Fail(kNoLibrary, std::string("cannot load ") + kCoreLibraryName);
        return false;
    }
    return true;
}

// The user is set up when the installed home folder holds the preference file and the menu
// offers no setup.
bool IsSetUp(ShellObject& object) {
    return PreferenceFilePresent() &&
           object.Menu().find("&Setup QOR Vaultis...") == std::string::npos;
}

// One menu command for a selection (or for none): the object, its selection, the command.
int RunMenuCommand(int offset, const std::vector<std::string>& paths, bool needsSelection) {
    std::vector<std::string> full;
    std::string error;
    if (needsSelection && !SelectedPaths(paths, &full, &error)) return Fail(kBadArgs, error);
    ShellLibrary shell;
    int status = kOk;
    if (!LibrariesPresent(shell, &status)) return status;
    if (!CanShowDialogs()) return Fail(kFailed, kNoTerminal);
    ShellObject object(shell, &status);
    if (!object.ready()) return status;
    // A file manager grays these before setup; a command line cannot, so it says what to do
    // instead of leading a new user into the preference file's recovery.
    if (offset != kOffsetHelp && offset != kOffsetAbout && offset != kOffsetClearPassword &&
        !IsSetUp(object)) {
        return Fail(kFailed, kNotSetUp);
    }
    if (needsSelection) object.Initialize(full);
    object.Invoke(offset);
    return kOk;
}

int RunStatus() {
    ShellLibrary shell;
    int status = kOk;
    if (!LibrariesPresent(shell, &status)) return status;
    ShellObject object(shell, &status);
    if (!object.ready()) return status;
    const bool setUp = IsSetUp(object);
    std::printf("%s\n", setUp ? "set up" : "not set up");
    return setUp ? kOk : kFailed;
}

int RunSetup() {
    ShellLibrary shell;
    int status = kOk;
    if (!LibrariesPresent(shell, &status)) return status;
    if (!CanShowDialogs()) return Fail(kFailed, kNoTerminal);
    ShellObject object(shell, &status);
    if (!object.ready()) return status;
    object.Invoke(kOffsetSetup);
    if (!IsSetUp(object)) return Fail(kFailed, "setup was not completed");
    return kOk;
}

int RunMenu(const std::vector<std::string>& paths) {
    std::vector<std::string> full;
    std::string error;
    if (!SelectedPaths(paths, &full, &error)) return Fail(kBadArgs, error);
    ShellLibrary shell;
    int status = kOk;
    if (!shell.loaded()) return Fail(kNoLibrary, std::string("cannot load ") + kShellLibraryName);
    ShellObject object(shell, &status);
    if (!object.ready()) return status;
    object.Initialize(full);
    std::fputs(object.Menu().c_str(), stdout);
    return kOk;
}

// What opening can decrypt: a name whose last extension begins with "!!" or "s!" (either case of
// s). The core refuses anything else without a dialog; saying why is the front end's job.
bool LooksEncrypted(const std::string& path) {
    const size_t dot = path.rfind('.');
    const size_t at = dot == std::string::npos ? 0 : dot;
    const char first = at + 1 < path.size() ? path[at + 1] : '\0';
    const char second = at + 2 < path.size() ? path[at + 2] : '\0';
    return second == '!' && (first == '!' || first == 's' || first == 'S');
}

int RunOpen(const std::string& path) {
    const std::string full = MakeAbsolute(path, qor::platform::CurrentFolder());
    const uint32_t attributes = qor::platform::GetAttributes(full);
    if (attributes == qor::platform::kInvalidAttributes)
        return Fail(kBadArgs, "no such file: " + path);
    if ((attributes & qor::platform::kAttrDirectory) != 0)
        return Fail(kBadArgs, "open takes a file, not a folder: " + path);
    if (full.size() >= qor::platform::kMaxPath) return Fail(kBadArgs, "path too long: " + path);

    ShellLibrary shell;
    int status = kOk;
    if (!LibrariesPresent(shell, &status)) return status;
    if (!CanShowDialogs()) return Fail(kFailed, kNoTerminal);
    auto associate = shell.Bind<AssociateCall>("SH_AssociateDecrypt", &status);
    if (associate == nullptr) return status;
    if (!LooksEncrypted(full)) return Fail(kFailed, "not an encrypted file: " + path);
    char decrypted[qor::platform::kMaxPath] = {};
    associate(nullptr, full.c_str(), decrypted);
    // The buffer is written only when a file was decrypted (not for a plain file, a cancelled
    // prompt, a wrong password or a damaged file, which the core has reported).
    decrypted[sizeof decrypted - 1] = '\0';
    if (decrypted[0] == '\0') return Fail(kFailed, "nothing was decrypted: " + path);
    std::printf("%s\n", decrypted);
    return kOk;
}

// Each file described in turn; status 1 when any was damaged or unreadable.
int RunInspect(const std::vector<std::string>& paths) {
    ShellLibrary shell;
    int status = kOk;
    if (!LibrariesPresent(shell, &status)) return status;
    auto inspect = shell.Bind<int (*)(const char*, char*, unsigned)>("QorShellInspect", &status);
    if (inspect == nullptr) return status;
    std::vector<char> text(1 << 16);
    for (const std::string& path : paths) {
        const std::string full = MakeAbsolute(path, qor::platform::CurrentFolder());
        text[0] = '\0';
        const int result = inspect(full.c_str(), text.data(), static_cast<unsigned>(text.size()));
        if (result == -2) return Fail(kNoLibrary, std::string("cannot load ") + kCoreLibraryName);
        if (result < 0) {
            status = Fail(kFailed, "cannot read " + path);
            continue;
        }
        std::fputs(text.data(), stdout);
        if (result == 1) status = kFailed;
    }
    return status;
}

struct MenuCommand {
    const char* name;
    int offset;
    bool takesPaths;
};

const MenuCommand kMenuCommands[] = {
    {"encrypt", kOffsetEncrypt, true},
    {"decrypt", kOffsetDecrypt, true},
    {"share-encrypt", kOffsetShareEncrypt, true},
    {"share-decrypt", kOffsetShareDecrypt, true},
    {"change-password", kOffsetChangePassword, false},
    {"clear-password", kOffsetClearPassword, false},
    {"help", kOffsetHelp, false},
    {"about", kOffsetAbout, false},
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
    if (command == "--help" || command == "-h") {
        PrintUsage(stdout);
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
    if (command == "menu") {
        if (args.empty()) return Fail(kBadArgs, "menu needs at least one path");
        return RunMenu(args);
    }
    if (command == "autocrypt") {
        // Alone it is the menu's "&AutoCrypt...": the list's edit dialog.
        if (args.empty()) return RunMenuCommand(kOffsetAutoCrypt, args, false);
        return RunAutoCrypt(args);
    }
    if (command == "inspect") {
        if (args.empty()) return Fail(kBadArgs, "inspect needs at least one file");
        return RunInspect(args);
    }
    for (const MenuCommand& c : kMenuCommands) {
        if (command != c.name) continue;
        if (c.takesPaths && args.empty())
            return Fail(kBadArgs, command + " needs at least one path");
        if (!c.takesPaths && !args.empty()) return Fail(kBadArgs, command + " takes no arguments");
        return RunMenuCommand(c.offset, args, c.takesPaths);
    }
    return Fail(kBadArgs, "unknown command " + command + " (try qor --help)");
}
