// The core library bound for one command, as every command of the shell binds it: on Windows the
// one beside this library, elsewhere loaded by name (or taken from the process, where it is
// loaded already) with a reference of its own, so that releasing it never unloads a library that
// another binding in the process still uses. A library or an export that cannot be found makes
// the command do nothing, silently.
#pragma once

#include <qor/platform/system.h>

namespace qor::shell {

class CoreLibrary {
  public:
    CoreLibrary();
    ~CoreLibrary();
    CoreLibrary(const CoreLibrary&) = delete;
    CoreLibrary& operator=(const CoreLibrary&) = delete;

    bool loaded() const { return library_ != nullptr; }
    // The export of that name, or nullptr.
    template <typename Function>
    Function Export(const char* name) const {
        if (library_ == nullptr) return nullptr;
        return reinterpret_cast<Function>(platform::LibrarySymbol(library_, name));
    }

  private:
    platform::LibraryHandle library_;
};

}  // namespace qor::shell
