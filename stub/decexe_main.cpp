// decexe: the decryptor that travels in front of every self-extracting program. It finds the
// envelope behind its own image and the file-sharing trailer at the end of its file, asks for
// the one-time password and writes the decrypted file under the name stored in the envelope.
//
// Exit status: 0 written; 1 nothing to decrypt, a damaged file or no password; 2 wrong
// password; 3 the file could not be written (refused name, existing file, no writable folder).
#include <qor/platform/files.h>
#include <qor/platform/system.h>
#include <qor/platform/terminal.h>
#include <qor/secure_buffer.h>
#include <qor/toolkit.h>

#include <iostream>
#include <string>
#include <vector>

#include "extract_program.h"
#include "self_extract.h"

namespace {

namespace platform = qor::platform;

using qor::stub::kExitNoContent;

// Longer input than any password dialog of the product accepts.
constexpr size_t kMaxPassword = 1024;

std::string BaseName(const std::string& path) {
    const size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (folder.back() == platform::kSeparator) return folder + name;
    return folder + platform::kSeparator + name;
}

// The program's own file: its folder and the name it was started under.
platform::File OpenOwnFile(const std::string& argv0) {
    std::string name = BaseName(argv0);
    std::string path = Join(platform::ProgramFolder(), name);
#ifdef _WIN32
    // A program started from the command line may be named without its extension.
    if (!platform::Exists(path)) path += ".exe";
#else
    // Started through a link of another name: the kernel knows the file itself.
    if (name.empty() || !platform::Exists(path)) path = "/proc/self/exe";
#endif
    return platform::File::Open(path, platform::kAccessRead, platform::kShareRead,
                                platform::kOpenExisting);
}

// Reads one line from standard input into `out` (no line end); false at end of input with
// nothing read.
bool ReadLineFromStdin(qor::SecureBuffer& out, size_t& length) {
    length = 0;
    bool any = false;
    char c = 0;
    while (std::cin.get(c)) {
        any = true;
        if (c == '\n') break;
        if (length < out.size()) out[length] = static_cast<uint8_t>(c);
        ++length;  // counted on, so that an over-long password is refused rather than cut
    }
    qor::SecureWipe(&c, sizeof c);
    if (length > 0 && length <= out.size() && out[length - 1] == '\r') --length;
    return any;
}

// Typed keys, shown as nothing. False when the user pressed Esc or Ctrl-C.
bool ReadFromTerminal(platform::Terminal& terminal, qor::SecureBuffer& out, size_t& length) {
    length = 0;
    terminal.Write("Password: ");
    terminal.SetRaw(true);
    bool entered = false;
    for (;;) {
        int key = terminal.ReadKey();
        if (key == '\n') {
            entered = true;
            break;
        }
        if (key < 0 || key == 0x1b || key == 0x03) break;
        if (key == 0x7f || key == 0x08) {
            if (length > 0) out[--length] = 0;
            continue;
        }
        if (length < out.size()) out[length] = static_cast<uint8_t>(key);
        ++length;
    }
    terminal.SetRaw(false);
    terminal.Write("\n");
    return entered;
}

// Asks for the one-time password: on the terminal without echo when there is one and the
// caller did not ask for standard input, otherwise one line from standard input.
bool AskPassword(bool fromStdin, qor::SecureBuffer& password, size_t& length) {
    password.Resize(kMaxPassword);
    bool entered = false;
    platform::Terminal terminal;
    if (!fromStdin && terminal.Open()) {
        entered = ReadFromTerminal(terminal, password, length);
    } else {
        std::cout << "Password: " << std::flush;
        entered = ReadLineFromStdin(password, length);
        std::cout << "\n";
    }
    if (length > kMaxPassword) {
        std::cerr << "The password is too long.\n";
        return false;
    }
    if (!entered || length == 0) {
        std::cerr << "No password was entered.\n";
        return false;
    }
    return true;
}

int Run(const std::vector<std::string>& argv) {
    bool fromStdin = false;
    const std::string self = argv.empty() ? std::string() : argv[0];
    for (size_t i = 1; i < argv.size(); ++i) {
        if (argv[i] == "--password-stdin") {
            fromStdin = true;
        } else {
            std::cerr << "Usage: " << qor::stub::Printable(BaseName(self))
                      << " [--password-stdin]\n";
            return kExitNoContent;
        }
    }

    platform::File own = OpenOwnFile(self);
    // The current folder first; a folder the user may not write to (a read-only share, a
    // CD) sends the file beside the program instead.
    const auto ask = [fromStdin](qor::SecureBuffer& password, size_t& length) {
        return AskPassword(fromStdin, password, length);
    };
    return qor::stub::ExtractOwnFile(own, ask, {std::string(), platform::ProgramFolder()},
                                     std::cout, std::cerr);
}

}  // namespace

int main(int argc, char** argv) {
    return Run(platform::ProgramArguments(argc, argv));
}
