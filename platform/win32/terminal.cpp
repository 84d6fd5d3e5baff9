// On Windows the product's dialogs are windows, so the terminal host is never offered: there is
// no terminal to open, and every other call is a harmless no-op.
#include "qor/platform/terminal.h"

namespace qor::platform {

bool Terminal::Open() {
    return false;
}

void Terminal::Close() {
    fd_ = -1;
    raw_ = false;
    saved_ = nullptr;
}

bool Terminal::Write(const std::string&) {
    return false;
}

int Terminal::ReadKey() {
    return -1;
}

bool Terminal::SetRaw(bool) {
    return false;
}

}  // namespace qor::platform
