#include "autocrypt_command.h"

#include <qor/entry/string_array.h>
#include <qor/platform/files.h>

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "classify_extension.h"
#include "core_binding.h"
#include "selection.h"

namespace qor::shell {

const char kAutoCryptUsage[] =
    "  autocrypt list         show the files and folders of your AutoCrypt list\n"
    "  autocrypt add PATH...  add files and folders to the list\n"
    "  autocrypt remove PATH...  take them off the list again\n"
    "  autocrypt startup on|off  decrypt the listed files when you log on, or not;\n"
    "                         without on or off, say which it is\n"
    "  autocrypt encrypt-now  encrypt the listed files now\n"
    "  autocrypt decrypt-now  decrypt the listed files now\n"
    "  autocrypt run-shutdown the shut-down run: encrypt every listed file\n"
    "  autocrypt run-startup  the log-on run: decrypt them when the start-up setting is on\n";

namespace {

using GetFirstCall = int (*)(void*, char*, void*);
using PlainCall = int (*)();
using UpdateCall = int (*)(void*, const QorStringArray*, int, int, void*);
using ArrayCall = int (*)(void*, const QorStringArray*, void*);
using RunCall = int (*)(void*, void*);

// The strings the edit dialog shows when it refuses an entry.
constexpr char kRefusedSystemFolder[] =
    "Sorry, you cannot add the Windows directory or a file or subdirectory in your Windows "
    "directory to the AutoCrypt list.";
constexpr char kRefusedExtension[] =
    "Sorry, you cannot add a file with %s extension to your "
    "AutoCrypt list.";
constexpr char kFolderSuffix[] = "*.*";
constexpr size_t kEntryBuffer = 260;

std::string FolderEntry(const std::string& folder) {
    return folder + platform::kSeparator + kFolderSuffix;
}

// Entries name the same thing when they are equal; on Windows, whose names ignore case, also
// when they differ in case only.
bool SameEntry(std::string_view a, std::string_view b) {
#ifdef _WIN32
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) {
                   return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
               };
               return lower(x) == lower(y);
           });
#else
    return a == b;
#endif
}

// The list box of the edit dialog keeps its entries sorted without regard to case.
void SortAsListBox(std::vector<std::string>& entries) {
    auto lower = [](std::string text) {
        for (char& c : text)
            c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        return text;
    };
    std::stable_sort(
        entries.begin(), entries.end(),
        [&](const std::string& a, const std::string& b) { return lower(a) < lower(b); });
}

// One use of the core for an autocrypt command: the library, the process's kept-password block.
class AutoCryptSession {
  public:
    int status = kOk;

    // Reads the whole list as the edit dialog does (the user is asked for the password, and
    // about entries that cannot be found). False when the password or preference file was not
    // had, with the status set.
    bool ReadList(std::vector<std::string>* entries) {
        auto first = Bind<GetFirstCall>(core_, "AutoCryptGetFirst", &status);
        auto next = Bind<GetFirstCall>(core_, "AutoCryptGetNext", &status);
        if (first == nullptr || next == nullptr) return false;
        char buffer[kEntryBuffer] = {};
        if (first(nullptr, buffer, handOver_.get()) != 0) {
            status = Fail(kFailed, "the AutoCrypt list was not read");
            return false;
        }
        for (;;) {
            buffer[kEntryBuffer - 1] = '\0';
            if (buffer[0] != '\0') entries->push_back(buffer);
            buffer[0] = '\0';
            if (next(nullptr, buffer, handOver_.get()) != 0) break;
        }
        return true;
    }

    int Flag(const char* name) {
        auto flag = Bind<PlainCall>(core_, name, &status);
        return flag != nullptr ? flag() : 0;
    }

    // Writes the list with the password the read left in the block.
    int Update(std::vector<std::string> entries, int startUp, int shutDown) {
        auto update = Bind<UpdateCall>(core_, "UpdateAutocryptList", &status);
        if (update == nullptr) return status;
        SortAsListBox(entries);
        entry::StringArray array(entries);
        if (update(nullptr, array.get(), startUp, shutDown, handOver_.get()) == 0)
            return Fail(kFailed, "UpdateAutocryptList failed");
        return status;
    }

    // Acts on the entries just read, with the password given for reading them.
    int Now(const char* exportName, const std::vector<std::string>& entries) {
        auto now = Bind<ArrayCall>(core_, exportName, &status);
        if (now == nullptr) return status;
        handOver_.get()->valid = 1;
        entry::StringArray array(entries);
        if (now(nullptr, array.get(), handOver_.get()) == 0)
            return Fail(kFailed, std::string(exportName) + " failed");
        return status;
    }

    int Run(const char* exportName) {
        auto run = Bind<RunCall>(core_, exportName, &status);
        if (run == nullptr) return status;
        if (run(nullptr, handOver_.get()) == 0)
            return Fail(kFailed, std::string(exportName) + " failed");
        return status;
    }

  private:
    Core core_;
    HandOverBlock handOver_;
};

// The entry for a path the user names, or "" after the refusal was said (the reason for paths
// that do not exist, the edit dialog's own messages for the rest).
std::string EntryToAdd(const std::string& path, int* status) {
    const std::string full = MakeAbsolute(path, platform::CurrentFolder());
    const uint32_t attributes = platform::GetAttributes(full);
    if (attributes == platform::kInvalidAttributes) {
        *status = Fail(kBadArgs, "no such file or folder: " + path);
        return {};
    }
    if (platform::IsInsideSystemFolder(full)) {
        std::fprintf(stderr, "%s\n", kRefusedSystemFolder);
        return {};
    }
    const bool folder = (attributes & platform::kAttrDirectory) != 0;
    std::string entry = folder ? FolderEntry(full) : full;
    if (entry.size() >= kEntryBuffer) {
        *status = Fail(kBadArgs, "path too long for the AutoCrypt list: " + path);
        return {};
    }
    if (!folder) {
        const size_t separator = full.rfind(platform::kSeparator);
        const size_t dot = full.rfind('.');
        if (dot != std::string::npos && (separator == std::string::npos || dot > separator)) {
            const std::string extension = full.substr(dot);
            if (ClassifyExtension(extension) != kExtensionPlain) {
                std::string text = kRefusedExtension;
                text.replace(text.find("%s"), 2, extension);
                std::fprintf(stderr, "%s\n", text.c_str());
                return {};
            }
        }
    }
    return entry;
}

bool Listed(const std::vector<std::string>& entries, const std::string& entry) {
    return std::any_of(entries.begin(), entries.end(),
                       [&](const std::string& e) { return SameEntry(e, entry); });
}

int Add(AutoCryptSession& session, const std::vector<std::string>& paths) {
    std::vector<std::string> additions;
    int status = kOk;
    for (const std::string& path : paths) {
        const std::string entry = EntryToAdd(path, &status);
        if (!entry.empty()) additions.push_back(entry);
    }
    if (status != kOk) return status;
    std::vector<std::string> entries;
    if (!session.ReadList(&entries)) return session.status;
    for (const std::string& entry : additions) {
        if (!Listed(entries, entry)) entries.push_back(entry);
    }
    return session.Update(entries, session.Flag("GetStartUpFlag"), session.Flag("GetShutDownFlag"));
}

int Remove(AutoCryptSession& session, const std::vector<std::string>& paths) {
    std::vector<std::string> entries;
    if (!session.ReadList(&entries)) return session.status;
    int status = kOk;
    for (const std::string& path : paths) {
        // The path may be gone already: it matches a file's entry or a folder's.
        const std::string full = MakeAbsolute(path, platform::CurrentFolder());
        const auto matches = [&](const std::string& e) {
            return SameEntry(e, full) || SameEntry(e, FolderEntry(full)) || SameEntry(e, path);
        };
        const auto end = std::remove_if(entries.begin(), entries.end(), matches);
        if (end == entries.end()) status = Fail(kFailed, "not in the AutoCrypt list: " + path);
        entries.erase(end, entries.end());
    }
    const int written =
        session.Update(entries, session.Flag("GetStartUpFlag"), session.Flag("GetShutDownFlag"));
    return written != kOk ? written : status;
}

}  // namespace

int RunAutoCrypt(const std::vector<std::string>& args) {
    if (args.empty()) return Fail(kBadArgs, "autocrypt needs a command (try qor --help)");
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

    AutoCryptSession session;
    if (command == "startup" && rest.empty()) {
        const int on = session.Flag("GetStartUpFlag");
        if (session.status != kOk) return session.status;
        std::printf("%s\n", on != 0 ? "on" : "off");
        return kOk;
    }
    if (!CanShowDialogs()) return Fail(kFailed, kNoTerminal);
    if (command == "add") return Add(session, rest);
    if (command == "remove") return Remove(session, rest);
    if (command == "run-shutdown") return session.Run("AutoEncrypt");
    if (command == "run-startup") return session.Run("AutoDecrypt");

    std::vector<std::string> entries;
    if (!session.ReadList(&entries)) return session.status;
    if (command == "list") {
        for (const std::string& entry : entries)
            std::printf("%s\n", entry.c_str());
        return kOk;
    }
    if (command == "startup") {
        return session.Update(entries, rest[0] == "on" ? 1 : 0, session.Flag("GetShutDownFlag"));
    }
    return session.Now(command == "encrypt-now" ? "EncryptNow" : "DecryptNow", entries);
}

}  // namespace qor::shell
