// Hands this program's dialog host to the shell library it imports, for as long as the object
// lives, so that the core library's prompts during the encryption appear where the dialog did
// (one terminal, one scenario, one transcript). The hand-over is not one of the library's
// numbered exports: it is found by name, at run time, in the very library the program loaded.
#pragma once

#include <qor/platform/system.h>
#include <qor/ui/dialog_host.h>

namespace qor::shutdown {

class ShellHostAdoption {
  public:
    explicit ShellHostAdoption(ui::DialogHost& host);
    ~ShellHostAdoption();
    ShellHostAdoption(const ShellHostAdoption&) = delete;
    ShellHostAdoption& operator=(const ShellHostAdoption&) = delete;

  private:
    using AdoptCall = void (*)(void*);
    platform::LibraryHandle library_ = nullptr;
    AdoptCall adopt_ = nullptr;
};

}  // namespace qor::shutdown
