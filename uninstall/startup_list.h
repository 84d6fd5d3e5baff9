// Where the AutoCrypt list lies, learnt from the start-up program's command line: the program is
// installed in the home folder beside the list.
#pragma once

#include <string>

namespace qor::uninstall {

// The list's path: the folder of the program the command line starts, then "autocryp.!!!".
// The program's own name does not matter (it is "vodorura.rar", whose suffix is no guide);
// a quoted program name ends at its closing quote. "" when the command line names no folder,
// so that nothing is deleted in whatever folder happens to be current.
std::string AutoCryptListPath(const std::string& commandLine);

}  // namespace qor::uninstall
