// qor-install [--home FOLDER] [--uninstall]
// Places the core library, the stub and the installer in the home folder and writes the
// registry values that name them; --uninstall removes what an install placed.
#include <qor/platform/files.h>
#include <qor/platform/system.h>

#include <cstdio>
#include <string>
#include <vector>

#include "installer.h"

int main(int argc, char** argv) {
    const std::vector<std::string> arguments = qor::platform::ProgramArguments(argc, argv);
    std::string home;
    bool uninstall = false;
    for (size_t k = 1; k < arguments.size(); ++k) {
        if (arguments[k] == "--uninstall") {
            uninstall = true;
        } else if (arguments[k] == "--home" && k + 1 < arguments.size()) {
            home = arguments[++k];
        } else {
            std::fprintf(stderr, "usage: qor-install [--home FOLDER] [--uninstall]\n");
            return 2;
        }
    }
    if (home.empty()) home = qor::install::DefaultHome();
    std::string error;
    std::string warning;
    const int status =
        uninstall
            ? qor::install::Uninstall(home, qor::install::DefaultDesktopFolders(), &error)
            : qor::install::Install(qor::install::DefaultPlan(home, qor::platform::ProgramFolder()),
                                    &error, &warning);
    if (!warning.empty()) std::fprintf(stderr, "qor-install: %s\n", warning.c_str());
    if (status != 0) {
        std::fprintf(stderr, "qor-install: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s %s\n", uninstall ? "Removed from" : "Installed in", home.c_str());
    return 0;
}
