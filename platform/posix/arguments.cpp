// The command line as the program was given it: on Linux, argv is already the file names' bytes.
#include "qor/platform/system.h"

namespace qor::platform {

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    std::vector<std::string> arguments;
    for (int k = 0; k < argc; ++k)
        arguments.emplace_back(argv[k] != nullptr ? argv[k] : "");
    return arguments;
}

}  // namespace qor::platform
