// The desktop on Linux: the user's opener for a file, and the network interfaces.
#include <ifaddrs.h>
#include <net/if.h>

#include "qor/platform/desktop.h"
#include "qor/platform/system.h"
#include "shell_command.h"

namespace qor::platform {

bool OpenWithDefaultApplication(const std::string& path, void*) {
    const std::string command = posix::ConfiguredCommand("Open", "xdg-open");
    return posix::RunShellCommand(command, {path}, false) == 0;
}

bool NetworkPresent() {
    const std::string setting = EnvironmentVariable("QOR_NETWORK");
    if (setting == "none") return false;
    if (setting == "up") return true;
    ifaddrs* list = nullptr;
    // Without the list nothing can be said; the network is then assumed, as it hides nothing.
    if (getifaddrs(&list) != 0) return true;
    bool up = false;
    for (const ifaddrs* entry = list; entry != nullptr && !up; entry = entry->ifa_next) {
        up = (entry->ifa_flags & IFF_UP) != 0 && (entry->ifa_flags & IFF_LOOPBACK) == 0;
    }
    freeifaddrs(list);
    return up;
}

}  // namespace qor::platform
