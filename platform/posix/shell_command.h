// Commands of the user's desktop run by /bin/sh, for the session end and the opener.
#pragma once

#include <string>
#include <vector>

namespace qor::platform::posix {

// The command text configured under `valueName` of the commands key, else `fallback`.
std::string ConfiguredCommand(const char* valueName, const std::string& fallback);

// Runs `/bin/sh -c '<command> "$@"' qor <arguments...>`: the arguments reach the command as
// words of their own whatever they hold. With `wait`, the command's exit status (-1 when it
// could not be started or was killed); without, 0 once started (-1 when it could not be).
int RunShellCommand(const std::string& command, const std::vector<std::string>& arguments,
                    bool wait);

}  // namespace qor::platform::posix
