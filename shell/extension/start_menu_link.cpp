// The Start-menu link "QOR Encrypt and Shut Down..." and the uninstaller's clean-up: the link's
// folder and the home folder come from the registry, as the installation left them.
#include <qor/platform/files.h>
#include <qor/platform/registry.h>
#include <qor/platform/shortcut.h>
#include <qor/shell/shell_exports.h>

#include <string>
#include <vector>

namespace {

using qor::platform::Hive;

constexpr char kProductKey[] = "CLSID\\{8e3e0f0a-0fcc-11ce-bcb0-b3fd0e253819}\\QOR";
constexpr char kShellFolders[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char kLinkName[] = "QOR Encrypt and Shut Down....lnk";
#ifdef _WIN32
constexpr char kShutdownProgram[] = "shutdwn.exe";
#else
constexpr char kShutdownProgram[] = "qor-shutdown";
#endif
// Registry errors as the system reports them: no such key, no more values.
constexpr int kErrorFileNotFound = 2;
constexpr int kErrorNoMoreItems = 259;

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// The text of the value `name` of `key`: 0, the key's absence, or the value's.
int FindValue(Hive hive, const char* key, const char* name, std::string* text) {
    std::vector<qor::platform::RegistryValue> values;
    if (!qor::platform::RegistryEnumValues(hive, key, &values)) return kErrorFileNotFound;
    for (const auto& value : values) {
        if (SameName(value.name, name) && value.type == qor::platform::ValueType::kString) {
            *text = value.text;
            return 0;
        }
    }
    return kErrorNoMoreItems;
}

std::string LinkPath() {
    std::string folder;
    if (FindValue(Hive::kCurrentUser, kShellFolders, "Start Menu", &folder) != 0) return {};
    return folder + qor::platform::kSeparator + kLinkName;
}

}  // namespace

extern "C" {

QOR_SHELL_EXPORT int SH_CreateShellLink(void*, void*, const char* target) {
    const std::string path = target != nullptr ? target : "";
    // Only a target that names a program in a folder is linked; anything else fails the save.
    // Programs on Linux have no extension, so there the folder alone counts.
    const bool inFolder = path.find(qor::platform::kSeparator) != std::string::npos;
#ifdef _WIN32
    const bool program = inFolder && path.rfind('.') != std::string::npos;
#else
    const bool program = inFolder;
#endif
    const std::string link = program ? LinkPath() : std::string();
    return qor::platform::WriteShortcut(link, path, "&Encrypt and Shut Down...");
}

QOR_SHELL_EXPORT int SH_AddToStartMenu(void) {
    std::string home;
    const int found = FindValue(Hive::kClassesRoot, kProductKey, "UserHomeDir", &home);
    if (found != 0) return found;
    const std::string target = home + qor::platform::kSeparator + kShutdownProgram;
    return SH_CreateShellLink(nullptr, nullptr, target.c_str());
}

QOR_SHELL_EXPORT int UninstInitialize(void*, void*, void*) {
    const std::string link = LinkPath();
    if (!link.empty()) qor::platform::DeleteFile(qor::platform::ShortcutFile(link));
    std::string home;
    if (!qor::platform::RegistryReadString(Hive::kClassesRoot, kProductKey, "UserHomeDir", &home))
        return 0;
    for (const char* name : {"QORSec95.gid", "userpref.!!!", "userpref.qor"})
        qor::platform::DeleteFile(home + qor::platform::kSeparator + name);
    return 0;
}

QOR_SHELL_EXPORT int UninstUnInitialize(void*, void*, void*) {
    return 0;
}

}  // extern "C"
