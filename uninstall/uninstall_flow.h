// Prepares the removal of the product: asks first, disables the AutoCrypt start-up entry,
// deletes the encrypted AutoCrypt list, has the remover run once at the next start and ends the
// session. When the session cannot be ended (and the user does not want the restart tried, or
// it fails too), the registry is put back as it was; the deleted list stays deleted.
#pragma once

#include <qor/ui/dialog_host.h>

namespace qor::uninstall {

inline constexpr const char* kCaption = "QOR Vaultis Uninstall";
inline constexpr const char* kAskText =
    "Are you sure you want to uninstall QOR Vaultis? Please decrypt all encrypted files before "
    "uninstalling QOR Vaultis.";
inline constexpr const char* kWaitText = "Please wait while Windows restarts.";
inline constexpr const char* kFailedText =
    "Windows could not be restarted. Please wait while your system is rebooted";

inline constexpr const char* kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const char* kRunOnceKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
inline constexpr const char* kProductKey = "SOFTWARE\\QOR Data Security\\QOR Vaultis\\1.1";
inline constexpr const char* kStartupValue = "QOR Autocrypt";
inline constexpr const char* kUninstallValue = "UninstallString";
inline constexpr const char* kRunOnceValue = "QOR_UNINSTALL";

// The whole run, its messages shown by `host`. 0 in every case.
int RunUninstall(ui::DialogHost& host);

}  // namespace qor::uninstall
