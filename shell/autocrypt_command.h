// `qor autocrypt`: the AutoCrypt list in a terminal, as the edit dialog offers it in a file
// manager: list, add and remove entries, the start-up setting, encrypt or decrypt the listed
// files now, and the runs at shut-down and at log-on.
#pragma once

#include <string>
#include <vector>

namespace qor::shell {

// `args` are the words after "autocrypt". Returns the exit status.
int RunAutoCrypt(const std::vector<std::string>& args);

// The usage lines of the autocrypt commands, for qor's help.
extern const char kAutoCryptUsage[];

}  // namespace qor::shell
