// The command line in UTF-8, from the wide command line: main's argv is in the ANSI code page,
// which cannot hold every file name.
#include "qor/platform/system.h"

#include "win32_common.h"

#include <shellapi.h>

#include <cwchar>

namespace qor::platform {

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    std::vector<std::string> arguments;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide != nullptr && count == argc) {
        for (int k = 0; k < count; ++k)
            arguments.push_back(win32::Narrow(wide[k], std::wcslen(wide[k])));
    } else {
        // The runtime split the line differently; its own argv is still the better answer.
        for (int k = 0; k < argc; ++k)
            arguments.emplace_back(argv[k] != nullptr ? argv[k] : "");
    }
    if (wide != nullptr) LocalFree(wide);
    return arguments;
}

}  // namespace qor::platform
