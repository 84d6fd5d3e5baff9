// Loads the core library by name, as the shell does for every command, calls one export and
// prints its result:  qor-call <export> [window]
// Used by the end-to-end tests and by hand.
#include <qor/platform/system.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

#ifdef _WIN32
const char kLibrary[] = "qorsec95.dll";
#else
const char kLibrary[] = "libqorsec95.so";
#endif

using WindowCall = int (*)(void*);
using PlainCall = int (*)();

const char* const kWindowExports[] = {"SetupQORSecure", "ContinueSetup", "ChangePassword",
                                      "AboutBox",       "ShowHelp",      "ShowAutoCryptHelp"};
const char* const kPlainExports[] = {"SetupCompleted"};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: qor-call <export>\n");
        return 2;
    }
    const std::string name = argv[1];
    qor::platform::LibraryHandle library = qor::platform::LoadLibrary(kLibrary);
    if (library == nullptr) {
        std::fprintf(stderr, "qor-call: cannot load %s\n", kLibrary);
        return 2;
    }
    void* symbol = qor::platform::LibrarySymbol(library, name.c_str());
    if (symbol == nullptr) {
        std::fprintf(stderr, "qor-call: %s has no export %s\n", kLibrary, name.c_str());
        qor::platform::FreeLibrary(library);
        return 2;
    }
    int result = 0;
    bool known = false;
    for (const char* e : kWindowExports) {
        if (name == e) {
            result = reinterpret_cast<WindowCall>(symbol)(nullptr);
            known = true;
        }
    }
    for (const char* e : kPlainExports) {
        if (name == e) {
            result = reinterpret_cast<PlainCall>(symbol)();
            known = true;
        }
    }
    qor::platform::FreeLibrary(library);
    if (!known) {
        std::fprintf(stderr, "qor-call: %s is not callable this way\n", name.c_str());
        return 2;
    }
    std::printf("%s: %d\n", name.c_str(), result);
    return 0;
}
