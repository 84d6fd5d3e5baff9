// The end of the user's session: asking for it (ExitWindowsEx), and waiting for it while doing a
// small job now and then (a program that lives as long as the session).
//
// Linux: each way of ending runs a command, the one the registry names under
// kSessionCommandsKey of HKEY_LOCAL_MACHINE ("Shutdown", "Reboot", "Logoff"), else the
// default (`systemctl poweroff`, `systemctl reboot`, `loginctl terminate-session
// "$XDG_SESSION_ID"`). The command is a line for /bin/sh; the request succeeded when it exits
// with status 0. Windows: ExitWindowsEx after enabling the shutdown privilege.
#pragma once

#include <cstdint>
#include <functional>

namespace qor::platform {

// Where the commands of the Linux build are named (and the opener of desktop.h).
inline constexpr const char* kSessionCommandsKey =
    "SOFTWARE\\QOR Data Security\\QOR Vaultis\\1.1\\Commands";

// ExitWindowsEx's flags.
enum class SessionEnd : uint32_t { kLogoff = 0, kShutdown = 1, kReboot = 2 };

// Asks for the end of the session; false when the request was refused or could not be made.
bool EndSession(SessionEnd how);

// From now on the signals that end a session (Linux: SIGTERM, SIGHUP, SIGINT) wait until
// WaitForSessionEnd takes them, so that an end requested during start-up work does not cut it
// short. Nothing on Windows, where the end arrives as a message.
void HoldSessionEnd();

// Calls `tick` every `periodMs` milliseconds until the session ends or `tick` answers false, then
// returns. Linux: one of the held signals ends it. Windows: a hidden window runs timer `timerId`;
// it agrees to the end of the session (stopping the timer), starts the timer again when the end
// is called off, and returns once the session ends or the window is closed.
void WaitForSessionEnd(int timerId, uint32_t periodMs, const std::function<bool()>& tick);

}  // namespace qor::platform
