// qor-shutdown (shutdwn.exe on Windows): the Start menu's "Encrypt and Shut Down...". Asks how
// the session is to end, has the AutoCrypt list's files encrypted, then ends the session that
// way. The end is asked for even when the encryption was cancelled: the core library has told the
// user about that. Exit status 0, or 1 when the session end was refused.
#include <qor/platform/desktop.h>
#include <qor/platform/session.h>
#include <qor/shell/shell_exports.h>
#include <qor/ui/dialog_host.h>

#include <cstdio>

#include "shell_host.h"
#include "shutdown_dialog.h"
#include "shutdown_help.h"

int main() {
    using namespace qor;
    // The password prompt and progress of the encryption appear where this dialog did.
    const shutdown::ShellHostAdoption adoption(ui::CurrentHost());
    shutdown::ShutdownDialog dialog(
        platform::NetworkPresent(), [] { SH_AutoEncrypt(nullptr); }, shutdown::ShowShutdownHelp);
    if (ui::CurrentHost().RunModal(dialog) != ui::kIdOk || dialog.choice() == 0) return 0;
    if (!platform::EndSession(shutdown::SessionEndFor(dialog.choice()))) {
        std::fprintf(stderr, "qor-shutdown: the session could not be ended\n");
        return 1;
    }
    return 0;
}
