// The end of the user's session: asking for it (ExitWindowsEx), and waiting for it while doing a
// small job now and then (a program that lives as long as the session).
//
// Linux: each way of ending runs a command, the one the registry names under
// kSessionCommandsKey of HKEY_LOCAL_MACHINE ("Shutdown", "Reboot", "Logoff"), else the
// default (`systemctl poweroff`, `systemctl reboot`, `loginctl terminate-session
// "$XDG_SESSION_ID"`). The command is a line for /bin/sh; the request succeeded when it exits
// with status 0. Windows: ExitWindowsEx after enabling the shutdown privilege; only a build with
// the test hooks (QOR_TEST_HOOKS) runs the command named there instead, a Windows command line
// waited for in the same way, so that tests under Wine record the end rather than end it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace qor::platform {

// Where the commands of the Linux build are named (and the opener of desktop.h).
inline constexpr const char* kSessionCommandsKey =
    "SOFTWARE\\QOR Data Security\\QOR Vaultis\\1.1\\Commands";

// ExitWindowsEx's flags.
enum class SessionEnd : uint32_t { kLogoff = 0, kShutdown = 1, kReboot = 2 };

// Asks for the end of the session; false when the request was refused or could not be made.
bool EndSession(SessionEnd how);

// The watch that a program living as long as the session keeps over it. From its making until
// Wait runs (the program's start-up work), an end of the session waits: Linux holds the signals
// that end it (SIGTERM, SIGHUP, SIGINT) until Wait takes them; Windows makes a hidden top-level
// window, starts timer `timerId` on it and refuses the end's query meanwhile, as the work may be
// decrypting files. Wait then calls `tick` every `periodMs` milliseconds (a tick that fell due
// during the start-up work runs first) until the session ends or `tick` answers false. On Windows
// the window agrees to the end once Wait runs (stopping the timer), starts the timer again when
// the end is called off, and Wait returns once the session ends or the window is closed; where
// no window can be made, it ticks until `tick` answers false.
class SessionWatch {
  public:
    SessionWatch(int timerId, uint32_t periodMs);
    ~SessionWatch();
    SessionWatch(const SessionWatch&) = delete;
    SessionWatch& operator=(const SessionWatch&) = delete;

    // The hidden window (an HWND), owner of the start-up work's dialogs; nullptr outside Windows.
    void* window() const;
    void Wait(const std::function<bool()>& tick);

    struct State;  // the platform's own

  private:
    std::unique_ptr<State> state_;
};

}  // namespace qor::platform
