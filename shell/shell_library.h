// What every qor command shares: its exit statuses, the one-line failure report, and the shell
// library loaded by name for one command, with its exports bound by name. qor reaches the core
// only through the shell library, as a file manager does.
#pragma once

#include <qor/platform/system.h>

#include <cstdio>
#include <string>

namespace qor::shell {

#ifdef _WIN32
inline constexpr char kShellLibraryName[] = "qorshell.dll";
inline constexpr char kCoreLibraryName[] = "qorsec95.dll";
#else
inline constexpr char kShellLibraryName[] = "libqorshell.so";
inline constexpr char kCoreLibraryName[] = "libqorsec95.so";
#endif

// Exit statuses.
inline constexpr int kOk = 0;
// Files refused during a run and cancelled dialogs are the core's to report, in its dialogs; a
// command that ran exits 0, so kFailed means that setup or open did not complete, or that no one
// could answer the dialogs.
inline constexpr int kFailed = 1;
inline constexpr int kBadArgs = 2;  // bad arguments or a selection the file manager could not make
inline constexpr int kNoLibrary =
    4;  // the shell or core library, or one of its exports, is missing

inline int Fail(int status, const std::string& reason) {
    std::fprintf(stderr, "qor: %s\n", reason.c_str());
    return status;
}

// The shell library, loaded for one command.
class ShellLibrary {
  public:
    ShellLibrary() : library_(platform::LoadLibrary(kShellLibraryName)) {}
    ~ShellLibrary() {
        if (library_ != nullptr) platform::FreeLibrary(library_);
    }
    ShellLibrary(const ShellLibrary&) = delete;
    ShellLibrary& operator=(const ShellLibrary&) = delete;

    bool loaded() const { return library_ != nullptr; }
    // The export of that name; on failure *status holds the exit status and the reason has
    // been printed.
    template <typename Function>
    Function Bind(const char* name, int* status) const {
        if (library_ == nullptr) {
            *status = Fail(kNoLibrary, std::string("cannot load ") + kShellLibraryName);
            return nullptr;
        }
        void* symbol = platform::LibrarySymbol(library_, name);
        if (symbol == nullptr) {
            *status = Fail(kNoLibrary, std::string(kShellLibraryName) + " has no export " + name);
            return nullptr;
        }
        return reinterpret_cast<Function>(symbol);
    }

  private:
    platform::LibraryHandle library_;
};

// False when no one could answer the core's dialogs: no desktop with the GTK host, no terminal
// and no scenario.
bool CanShowDialogs();
inline constexpr char kNoTerminal[] =
    "no terminal to show the dialogs in (run qor in a terminal, or answer them from a scenario "
    "with QOR_UI=script:FILE)";
// The shell library does nothing, silently, without the core beside it; qor says so instead.
bool CoreLibraryPresent();
// The installed home folder holds the user's preference file (the user may be set up).
bool PreferenceFilePresent();
inline constexpr char kNotSetUp[] =
    "QOR Vaultis is not set up for this user yet: run qor setup first";

}  // namespace qor::shell
