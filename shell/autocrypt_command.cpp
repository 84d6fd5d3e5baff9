#include "autocrypt_command.h"

#include <qor/platform/files.h>
#include <qor/shell/list_editor.h>

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "selection.h"
#include "shell_library.h"

namespace qor::shell {

const char kAutoCryptUsage[] =
    "  autocrypt              edit the AutoCrypt list in its dialog\n"
    "  autocrypt list         show the files and folders of your AutoCrypt list\n"
    "  autocrypt add PATH...  add files and folders to the list\n"
    "  autocrypt remove PATH...\n"
    "                         take them off the list again\n"
    "  autocrypt startup [on|off]\n"
    "                         decrypt the listed files when you log on, or not; without\n"
    "                         on or off, say which it is\n"
    "  autocrypt encrypt-now  encrypt the listed files now\n"
    "  autocrypt decrypt-now  decrypt the listed files now\n"
    "  autocrypt run-shutdown the shut-down run: encrypt every listed file\n"
    "  autocrypt run-startup  the log-on run: decrypt them when the start-up setting is on\n";

namespace {

using OpenCall = QorShellListEditor* (*)(QorShellWindow);
using CloseCall = void (*)(QorShellListEditor*);
using CountCall = unsigned (*)(const QorShellListEditor*);
using EntryCall = const char* (*)(const QorShellListEditor*, unsigned);
using AddCall = int (*)(QorShellListEditor*, const char*, char*, unsigned);
using RemoveCall = int (*)(QorShellListEditor*, const char*);
using SetStartUpCall = void (*)(QorShellListEditor*, int);
using ActCall = void (*)(QorShellListEditor*);
using DoneCall = int (*)(QorShellListEditor*);
using RunCall = int (*)(QorShellWindow);

constexpr char kFolderSuffix[] = "*.*";

// The list's editor for one command: opened (the password asked), used, and written by Done
// when the command changed something.
class Editor {
  public:
    Editor(const ShellLibrary& shell, int* status) : status_(status) {
        open_ = shell.Bind<OpenCall>("QorShellOpenListEditor", status);
        close_ = shell.Bind<CloseCall>("QorShellCloseListEditor", status);
        count_ = shell.Bind<CountCall>("QorShellListCount", status);
        entry_ = shell.Bind<EntryCall>("QorShellListEntry", status);
        add_ = shell.Bind<AddCall>("QorShellListAdd", status);
        remove_ = shell.Bind<RemoveCall>("QorShellListRemove", status);
        setStartUp_ = shell.Bind<SetStartUpCall>("QorShellListSetStartUp", status);
        encryptNow_ = shell.Bind<ActCall>("QorShellListEncryptNow", status);
        decryptNow_ = shell.Bind<ActCall>("QorShellListDecryptNow", status);
        done_ = shell.Bind<DoneCall>("QorShellListDone", status);
    }
    ~Editor() {
        if (editor_ != nullptr) close_(editor_);
    }
    Editor(const Editor&) = delete;
    Editor& operator=(const Editor&) = delete;

    bool Open() {
        if (*status_ != kOk) return false;
        editor_ = open_(nullptr);
        if (editor_ == nullptr) *status_ = Fail(kFailed, "the AutoCrypt list was not read");
        return editor_ != nullptr;
    }
    std::vector<std::string> Entries() const {
        std::vector<std::string> entries;
        for (unsigned i = 0; i < count_(editor_); ++i)
            entries.emplace_back(entry_(editor_, i));
        return entries;
    }
    int Add(const std::string& path, std::string* message) {
        char text[520] = {};
        const int result = add_(editor_, path.c_str(), text, sizeof text);
        *message = text;
        return result;
    }
    bool Remove(const std::string& entry) { return remove_(editor_, entry.c_str()) == 0; }
    void SetStartUp(bool on) { setStartUp_(editor_, on ? 1 : 0); }
    void EncryptNow() { encryptNow_(editor_); }
    void DecryptNow() { decryptNow_(editor_); }
    bool Done() { return done_(editor_) == 0; }

  private:
    int* status_;
    QorShellListEditor* editor_ = nullptr;
    OpenCall open_ = nullptr;
    CloseCall close_ = nullptr;
    CountCall count_ = nullptr;
    EntryCall entry_ = nullptr;
    AddCall add_ = nullptr;
    RemoveCall remove_ = nullptr;
    SetStartUpCall setStartUp_ = nullptr;
    ActCall encryptNow_ = nullptr;
    ActCall decryptNow_ = nullptr;
    DoneCall done_ = nullptr;
};

// Adds each path (made absolute); a refused one says why, as the edit dialog does, and the rest
// are still added. A path that does not exist stops the command before anything is read.
int Add(Editor& editor, const std::vector<std::string>& paths) {
    std::vector<std::string> full;
    for (const std::string& path : paths) {
        full.push_back(MakeAbsolute(path, platform::CurrentFolder()));
        if (platform::GetAttributes(full.back()) == platform::kInvalidAttributes)
            return Fail(kBadArgs, "no such file or folder: " + path);
        if (full.back().size() + 4 >= platform::kMaxPath)
            return Fail(kBadArgs, "path too long for the AutoCrypt list: " + path);
    }
    if (!editor.Open()) return kFailed;
    for (const std::string& path : full) {
        std::string message;
        if (editor.Add(path, &message) == -1) std::fprintf(stderr, "%s\n", message.c_str());
    }
    return editor.Done() ? kOk : Fail(kFailed, "the AutoCrypt list was not written");
}

int Remove(Editor& editor, const std::vector<std::string>& paths) {
    if (!editor.Open()) return kFailed;
    int status = kOk;
    for (const std::string& path : paths) {
        // The path may be gone already: it matches a file's entry or a folder's.
        const std::string full = MakeAbsolute(path, platform::CurrentFolder());
        const std::string folder = full + platform::kSeparator + kFolderSuffix;
        bool removed = false;
        for (const std::string& entry : {full, folder, path})
            removed = editor.Remove(entry) || removed;
        if (!removed) status = Fail(kFailed, "not in the AutoCrypt list: " + path);
    }
    if (!editor.Done()) return Fail(kFailed, "the AutoCrypt list was not written");
    return status;
}

}  // namespace

int RunAutoCrypt(const std::vector<std::string>& args) {
    const std::string& command = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    const bool takesPaths = command == "add" || command == "remove";
    if (takesPaths && rest.empty())
        return Fail(kBadArgs, "autocrypt " + command + " needs at least one path");
    if (command == "startup") {
        if (rest.size() > 1 || (rest.size() == 1 && rest[0] != "on" && rest[0] != "off"))
            return Fail(kBadArgs, "autocrypt startup takes on or off");
    } else if (!takesPaths && !rest.empty()) {
        return Fail(kBadArgs, "autocrypt " + command + " takes no arguments");
    }
    static const char* const kCommands[] = {"list",         "add",         "remove",
                                            "startup",      "encrypt-now", "decrypt-now",
                                            "run-shutdown", "run-startup"};
    if (std::none_of(std::begin(kCommands), std::end(kCommands),
                     [&](const char* c) { return command == c; })) {
        return Fail(kBadArgs, "unknown autocrypt command " + command + " (try qor --help)");
    }

    ShellLibrary shell;
    int status = kOk;
    if (!shell.loaded()) return Fail(kNoLibrary, std::string("cannot load ") + kShellLibraryName);
    if (!CoreLibraryPresent())
        return Fail(kNoLibrary, std::string("cannot load ") + kCoreLibraryName);
    if (command == "startup" && rest.empty()) {
        const auto setting = shell.Bind<int (*)()>("QorShellStartUpSetting", &status);
        if (setting == nullptr) return status;
        std::printf("%s\n", setting() == 1 ? "on" : "off");
        return kOk;
    }

    if (!CanShowDialogs()) return Fail(kFailed, kNoTerminal);
    if (!PreferenceFilePresent()) return Fail(kFailed, kNotSetUp);
    if (command == "run-shutdown" || command == "run-startup") {
        const auto run = shell.Bind<RunCall>(
            command == "run-shutdown" ? "SH_AutoEncrypt" : "SH_AutoDecrypt", &status);
        if (run != nullptr) run(nullptr);
        return status;
    }

    Editor editor(shell, &status);
    if (status != kOk) return status;
    if (command == "add") return Add(editor, rest);
    if (command == "remove") return Remove(editor, rest);
    if (!editor.Open()) return status;
    if (command == "list") {
        for (const std::string& entry : editor.Entries())
            std::printf("%s\n", entry.c_str());
        return kOk;
    }
    if (command == "startup") {
        editor.SetStartUp(rest[0] == "on");
        return editor.Done() ? kOk : Fail(kFailed, "the AutoCrypt list was not written");
    }
    if (command == "encrypt-now") editor.EncryptNow();
    if (command == "decrypt-now") editor.DecryptNow();
    return kOk;
}

}  // namespace qor::shell
