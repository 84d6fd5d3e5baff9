// The exports the small programs call: each binds the core library for the call, marks the
// user's processes busy while it runs, and hands it the shared password block.
#include <qor/shell/shell_exports.h>
#include <qor/ui/dialog_host.h>

#include "core_library.h"
#include "shared_state.h"

namespace {

using qor::shell::BusyScope;
using qor::shell::CoreLibrary;
using qor::shell::HandOverLease;

using AssociateCall = int (*)(void*, const char*, char*, void*);
using RunCall = int (*)(void*, void*);

int Run(const char* name, QorShellWindow owner) {
    const CoreLibrary core;
    if (!core.loaded()) return 0;
    const BusyScope busy;
    if (const auto call = core.Export<RunCall>(name)) {
        HandOverLease lease;
        call(owner, lease.get());
    }
    return 0;
}

}  // namespace

extern "C" {

QOR_SHELL_EXPORT int SH_AssociateDecrypt(QorShellWindow owner, const char* path,
                                         char* decryptedPath) {
    try {
        const CoreLibrary core;
        if (!core.loaded()) return 0;
        const BusyScope busy;
        if (const auto call = core.Export<AssociateCall>("AssociateDecrypt")) {
            HandOverLease lease;
            call(owner, path, decryptedPath, lease.get());
        }
    } catch (...) {
    }
    return 0;
}

QOR_SHELL_EXPORT int SH_AutoEncrypt(QorShellWindow owner) {
    try {
        return Run("AutoEncrypt", owner);
    } catch (...) {
        return 0;
    }
}

QOR_SHELL_EXPORT int SH_AutoDecrypt(QorShellWindow owner) {
    try {
        return Run("AutoDecrypt", owner);
    } catch (...) {
        return 0;
    }
}

QOR_SHELL_EXPORT int QorShellInspect(const char* path, char* text, unsigned size) {
    const CoreLibrary core;
    const auto inspect = core.Export<int (*)(const char*, char*, unsigned)>("InspectFile");
    return inspect != nullptr ? inspect(path, text, size) : -2;
}

QOR_SHELL_EXPORT void QorShellAdoptHost(void* host) {
    qor::ui::AdoptHost(static_cast<qor::ui::DialogHost*>(host));
}

QOR_SHELL_EXPORT int SH_CheckPassword(void) {
    qor::shell::ExpireKeptPassword();
    return 0;
}

}  // extern "C"
