// qor-associate PATH (associat.exe on Windows): what a double-click on an encrypted file starts.
// The shell library decrypts the file (its dialogs are the core library's, owned by this
// program's hidden window on Windows); the decrypted file then opens in the application the
// desktop chose for its type. The whole command-line tail is the path, so a name with blanks
// arrives whole even when the desktop passes it unquoted.
#include <qor/platform/desktop.h>
#include <qor/platform/files.h>
#include <qor/platform/hidden_window.h>
#include <qor/platform/system.h>
#include <qor/shell/shell_exports.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// What the core library writes into the result buffer at most, terminator included.
constexpr size_t kResultSize = qor::platform::kMaxPath;

std::string CommandTail(const std::vector<std::string>& arguments) {
    std::string tail;
    for (size_t k = 1; k < arguments.size(); ++k) {
        if (k > 1) tail += ' ';
        tail += arguments[k];
    }
    return tail;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string path = CommandTail(qor::platform::ProgramArguments(argc, argv));
    // The core library reads at most 259 characters; a longer path cut short there could name
    // another file, so it is refused here.
    if (path.size() >= kResultSize) {
        std::fprintf(stderr, "qor-associate: the path is longer than %zu characters: %s\n",
                     kResultSize - 1, path.c_str());
        return 2;
    }
    const qor::platform::HiddenWindow frame;
    char decrypted[kResultSize] = {};
    SH_AssociateDecrypt(frame.handle(), path.c_str(), decrypted);
    decrypted[kResultSize - 1] = '\0';
    if (decrypted[0] != '\0') qor::platform::OpenWithDefaultApplication(decrypted, frame.handle());
    return 0;
}
