#include "startup_list.h"

#include <qor/platform/files.h>

namespace qor::uninstall {

namespace {

constexpr const char* kListName = "autocryp.!!!";

bool IsSeparator(char c) {
    // Windows takes both; a Linux name may hold a backslash of its own.
    return c == platform::kSeparator || (platform::kSeparator == '\\' && c == '/');
}

}  // namespace

std::string AutoCryptListPath(const std::string& commandLine) {
    std::string program = commandLine;
    if (!program.empty() && program.front() == '"') {
        const size_t close = program.find('"', 1);
        program = program.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    }
    for (size_t k = program.size(); k > 0; --k) {
        if (IsSeparator(program[k - 1])) return program.substr(0, k) + kListName;
    }
    return {};
}

}  // namespace qor::uninstall
