#include "shell_host.h"

namespace qor::shutdown {

namespace {

// The library the program imports; loading it again by this name finds the one already loaded.
#ifdef _WIN32
constexpr char kShellLibrary[] = "qorshell.dll";
#else
constexpr char kShellLibrary[] = "libqorshell.so";
#endif

}  // namespace

ShellHostAdoption::ShellHostAdoption(ui::DialogHost& host)
    : library_(platform::LoadLibrary(kShellLibrary)) {
    if (library_ == nullptr) return;
    adopt_ = reinterpret_cast<AdoptCall>(platform::LibrarySymbol(library_, "QorShellAdoptHost"));
    if (adopt_ != nullptr) adopt_(&host);
}

ShellHostAdoption::~ShellHostAdoption() {
    if (adopt_ != nullptr) adopt_(nullptr);
    if (library_ != nullptr) platform::FreeLibrary(library_);
}

}  // namespace qor::shutdown
