// The desktop around the product's programs: opening a file with the application the user
// chose for its type, and whether the machine is on a network at all.
#pragma once

#include <string>

namespace qor::platform {

// ShellExecute's default action on `path`, started and not waited for, shown normally; `owner`
// (an HWND, or nullptr) owns whatever the shell itself has to say. Linux: the command the
// registry names as "Open" under kSessionCommandsKey (session.h) of HKEY_LOCAL_MACHINE, else
// `xdg-open`, run by /bin/sh with the path as its last argument (never part of the command
// text); no owner. False when it could not be started.
bool OpenWithDefaultApplication(const std::string& path, void* owner = nullptr);

// Whether any network can be reached. Linux: an interface other than loopback is up. Windows:
// the network providers' enumeration (WNetOpenEnumA over the whole network's disks) does not
// answer ERROR_NO_NETWORK. $QOR_NETWORK set to
// "none" or "up" decides instead (tests, and machines whose interfaces mislead).
bool NetworkPresent();

}  // namespace qor::platform
