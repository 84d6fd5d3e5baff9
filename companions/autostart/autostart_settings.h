// What the start-up program reads before it starts: whether it is still wanted, and its period.
#pragma once

#include <cstdint>
#include <string>

namespace qor::autostart {

inline constexpr int kTimerId = 555;
inline constexpr uint32_t kDefaultPeriodMs = 30000;

// True when the Run value "QOR Autocrypt" is there but empty: the uninstall has switched the
// start-up program off, which on Linux still starts from its log-on entry until the removal.
bool StartupDisabled();

// Starts the commands of the RunOnce key, each once: its value is deleted before it starts, so a
// command that fails is not started again at every log-on. Windows does this itself before any
// log-on program; elsewhere the log-on entry of this program stands in for it.
void RunOnceCommands();

// A command line split into the program (quoted or up to the first blank) and its arguments.
void SplitCommandLine(const std::string& command, std::string* program, std::string* arguments);

// True when the home folder holds the user's preference file. The end of the setup starts this
// program before the user exists; its log-on decryption would then ask for the preference file's
// backup diskette while the setup's own dialogs are on the screen.
bool UserIsSetUp();

// kDefaultPeriodMs, or $QOR_AUTOSTART_PERIOD_MS (1 to 3600000 ms) for tests; any other value is
// reported on stderr and the default is used.
uint32_t Period();

}  // namespace qor::autostart
