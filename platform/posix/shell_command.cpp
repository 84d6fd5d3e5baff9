#include "shell_command.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>

#include "qor/platform/registry.h"
#include "qor/platform/session.h"

extern char** environ;

namespace qor::platform::posix {

std::string ConfiguredCommand(const char* valueName, const std::string& fallback) {
    std::string command;
    if (RegistryReadString(Hive::kLocalMachine, kSessionCommandsKey, valueName, &command) &&
        command.find_first_not_of(" \t") != std::string::npos) {
        return command;
    }
    return fallback;
}

int RunShellCommand(const std::string& command, const std::vector<std::string>& arguments,
                    bool wait) {
    std::string script = command + " \"$@\"";
    std::string shell = "/bin/sh";
    std::string dashC = "-c";
    std::string name = "qor";
    std::vector<char*> argv = {shell.data(), dashC.data(), script.data(), name.data()};
    std::vector<std::string> words = arguments;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    // The command starts with no blocked and no ignored signals, whatever this program holds.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, shell.c_str(), nullptr, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    if (rc != 0) return -1;
    if (!wait) return 0;

    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace qor::platform::posix
