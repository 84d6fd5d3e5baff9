// The product's entry in Windows' list of installed apps (Settings > Apps, and the Control
// Panel's Programs and Features): its name, version, publisher and folder, and the program that
// removes it, uninstall.exe, which asks first, has the remover run at the next log-on and logs
// off. Portable code over the platform's registry; only the Windows installer calls it.
#pragma once

#include <string>

namespace qor::install {

inline constexpr const char* kAppsEntryKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QOR Vaultis";

// Writes the entry for `home`: false when the registry refuses it.
bool WriteAppsEntry(const std::string& home);
// Removes the entry while it names `home`; another install's stays.
void RemoveAppsEntry(const std::string& home);

}  // namespace qor::install
