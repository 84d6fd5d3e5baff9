// qor-autostart (vodorura.rar on Windows, and installed as that name on Linux too): runs for the
// whole session from log-on. It decrypts the AutoCrypt list's files when the user asked for that
// at start-up, makes sure the "QOR Encrypt and Shut Down..." link stands in the Start menu, and
// then lets the shell library forget a kept password once its keep period is over, every 30
// seconds, until the session ends. Outside Windows it first starts what the RunOnce key holds
// (the uninstall's remover), as Windows does at log-on.
#include <qor/platform/files.h>
#include <qor/platform/session.h>
#include <qor/shell/shell_exports.h>

#include "autostart_settings.h"

int main() {
    using namespace qor;
    // From here an end of the session waits until the start-up work is done; on Windows the
    // watch's hidden window owns the log-on decryption's dialogs, and its timer runs from now.
    platform::SessionWatch watch(autostart::kTimerId, autostart::Period());
#ifndef _WIN32
    autostart::RunOnceCommands();
#endif
    if (autostart::StartupDisabled()) return 0;
    if (autostart::UserIsSetUp()) SH_AutoDecrypt(watch.window());
    SH_AddToStartMenu();
    const std::string folder = platform::ProgramFolder();
    watch.Wait([&folder] {
        SH_CheckPassword();
        // A removed installation has nothing left to look after.
        return folder.empty() || platform::Exists(folder);
    });
    return 0;
}
