#include "core_library.h"

#include <qor/platform/system.h>
#include <qor/ui/dialog_host.h>

#include <string>

namespace qor::shell {

namespace {
#ifdef _WIN32
constexpr char kCoreLibrary[] = "qorsec95.dll";
#else
constexpr char kCoreLibrary[] = "libqorsec95.so";
#endif

using AdoptCall = void (*)(void*);

// Bindings alive in this module: the core gives our host back when the last one ends.
int liveBindings = 0;

// On Windows the core is the one installed beside this library: Explorer's own folder and the
// search path are not ours, and a bare name would find no core there (every command doing
// nothing) or someone else's.
platform::LibraryHandle LoadCore() {
#ifdef _WIN32
    const std::string self = platform::LibraryPathOf(reinterpret_cast<const void*>(&liveBindings));
    const size_t slash = self.find_last_of("\\/");
    if (slash == std::string::npos) return nullptr;
    return platform::LoadLibrary(self.substr(0, slash + 1) + kCoreLibrary);
#else
    return platform::LoadLibrary(kCoreLibrary);
#endif
}
}  // namespace

CoreLibrary::CoreLibrary() : library_(LoadCore()) {
    if (library_ == nullptr) return;
    ++liveBindings;
    // The core's dialogs appear in this process's one host: the same terminal, scenario and
    // transcript as the shell's own dialogs and the calling program's.
    if (const auto adopt = Export<AdoptCall>("QorUiAdoptHost")) adopt(&ui::CurrentHost());
}

CoreLibrary::~CoreLibrary() {
    if (library_ == nullptr) return;
    if (--liveBindings == 0) {
        if (const auto adopt = Export<AdoptCall>("QorUiAdoptHost")) adopt(nullptr);
    }
    platform::FreeLibrary(library_);
}

}  // namespace qor::shell
