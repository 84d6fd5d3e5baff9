#include "core_library.h"

#include <qor/ui/dialog_host.h>

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
}  // namespace

CoreLibrary::CoreLibrary() : library_(platform::LoadLibrary(kCoreLibrary)) {
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
