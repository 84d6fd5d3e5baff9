#include "windows_shell.h"

#include <qor/platform/files.h>
#include <qor/platform/registry.h>
#include <qor/platform/system.h>

#include <cstdio>
#include <utility>
#include <vector>

namespace qor::install {

namespace {

using platform::Hive;

#ifdef _WIN32
constexpr char kShellLibrary[] = "qorshell.dll";
#else
constexpr char kShellLibrary[] = "libqorshell.so";
#endif

// The classes the product names its file types by.
constexpr char kProductClassPrefix[] = "QORVaultis.";

// HRESULT (*)(void): the self-registration entry points of an in-process server.
using RegistrationCall = long (*)();

// Calls `entry` of the home folder's shell library: 0 when it ran and succeeded, 1 when the
// library or the entry is missing, -1 when it failed (its result in *result).
int CallRegistration(const std::string& home, const char* entry, long* result) {
    const platform::LibraryHandle library =
        platform::LoadLibrary(home + platform::kSeparator + kShellLibrary);
    if (library == nullptr) return 1;
    auto call = reinterpret_cast<RegistrationCall>(platform::LibrarySymbol(library, entry));
    int status = 1;
    if (call != nullptr) {
        *result = call();
        status = *result < 0 ? -1 : 0;
    }
    platform::FreeLibrary(library);
    return status;
}

std::string OpenKey(const std::string& fileClass) {
    return fileClass + "\\shell\\open\\command";
}

// The class a suffix names (its default value), or "" when it names none.
std::string ClassOf(const char* suffix) {
    std::string fileClass;
    if (!platform::RegistryReadString(Hive::kClassesRoot, suffix, "", &fileClass)) return {};
    return fileClass;
}

}  // namespace

std::string OpenCommand(const std::string& home) {
    return "\"" + home + platform::kSeparator + "associat.exe\" \"%1\"";
}

int RegisterWindowsShell(const std::string& home, std::string* warning, std::string* error) {
    long result = 0;
    const int registered = CallRegistration(home, "DllRegisterServer", &result);
    if (registered < 0) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08lx",
                      static_cast<unsigned long>(result) & 0xffffffffUL);
        *error =
            std::string(kShellLibrary) + " could not register the Explorer menu (" + code + ")";
        return 1;
    }
    if (registered > 0)
        *warning =
            std::string(kShellLibrary) + " registers no Explorer menu (no DllRegisterServer)";
    for (const char* suffix : kEncryptedSuffixes) {
        // The shell library may have named the class already (with its icon handler).
        std::string fileClass = ClassOf(suffix);
        if (fileClass.empty()) {
            fileClass = kEncryptedFileClass;
            if (!platform::RegistryWriteString(Hive::kClassesRoot, suffix, "", fileClass)) {
                *error = std::string("cannot register the file type ") + suffix;
                return 1;
            }
        }
        if (!platform::RegistryWriteString(Hive::kClassesRoot, OpenKey(fileClass), "",
                                           OpenCommand(home))) {
            *error = "cannot register the program that opens " + std::string(suffix) + " files";
            return 1;
        }
    }
    return 0;
}

void UnregisterWindowsShell(const std::string& home) {
    // Which suffixes this home's install associated, all read before anything goes: both may
    // share one class.
    std::vector<std::pair<const char*, std::string>> owned;
    for (const char* suffix : kEncryptedSuffixes) {
        const std::string fileClass = ClassOf(suffix);
        std::string command;
        // Only the command this home's install wrote is its own to remove.
        if (!fileClass.empty() &&
            platform::RegistryReadString(Hive::kClassesRoot, OpenKey(fileClass), "", &command) &&
            command == OpenCommand(home)) {
            owned.emplace_back(suffix, fileClass);
        }
    }
    for (const auto& [suffix, fileClass] : owned) {
        if (fileClass == kEncryptedFileClass) {
            platform::RegistryDeleteKey(Hive::kClassesRoot, fileClass);
            platform::RegistryDeleteKey(Hive::kClassesRoot, suffix);
        } else if (fileClass.starts_with(kProductClassPrefix)) {
            // The shell library's class for the type: its own unregistration takes away the
            // rest once the verbs are gone.
            platform::RegistryDeleteKey(Hive::kClassesRoot, fileClass + "\\shell");
        } else {
            platform::RegistryDeleteKey(Hive::kClassesRoot, fileClass + "\\shell\\open");
        }
    }
    long result = 0;
    CallRegistration(home, "DllUnregisterServer", &result);
}

}  // namespace qor::install
