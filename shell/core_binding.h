// What every qor command shares: its exit statuses, the one-line failure report, the kept-password
// block of the process, and the core library loaded by name for one command with its exports
// bound by name.
#pragma once

#include <qor/platform/system.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace qor::shell {

#ifdef _WIN32
inline constexpr char kLibrary[] = "qorsec95.dll";
#else
inline constexpr char kLibrary[] = "libqorsec95.so";
#endif

// Exit statuses.
inline constexpr int kOk = 0;
// Files refused during a run and cancelled dialogs are the core's to report, in its dialogs; its
// selection exports return success for them, so kFailed means the core itself failed, or setup
// or open did not complete.
inline constexpr int kFailed = 1;
inline constexpr int kBadArgs = 2;  // bad arguments or a selection the file manager could not make
inline constexpr int kNoLibrary = 4;  // the core library or one of its exports is missing

inline int Fail(int status, const std::string& reason) {
    std::fprintf(stderr, "qor: %s\n", reason.c_str());
    return status;
}

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

// The core library, loaded for one command.
class Core {
  public:
    Core() : library_(platform::LoadLibrary(kLibrary)) {}
    ~Core() {
        if (library_ != nullptr) platform::FreeLibrary(library_);
    }
    Core(const Core&) = delete;
    Core& operator=(const Core&) = delete;

    bool loaded() const { return library_ != nullptr; }
    void* Symbol(const char* name) const { return platform::LibrarySymbol(library_, name); }

  private:
    platform::LibraryHandle library_;
};

// Binds one export; on failure *status holds the exit status and the reason has been printed.
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

// False when no one could answer the core's dialogs: no terminal and no scenario.
bool CanShowDialogs();
inline constexpr char kNoTerminal[] =
    "no terminal to show the dialogs in (run qor in a terminal, or answer them from a scenario "
    "with QOR_UI=script:FILE)";

}  // namespace qor::shell
