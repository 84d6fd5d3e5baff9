// The private key's pass phrase: typed on the terminal without echo, or the first line of a
// file. Whatever held it is wiped.
#include <qor/platform/terminal.h>

#include "admin.h"

namespace qor::admin {

namespace {

constexpr size_t kMaxPassphrase = 1024;
// A file that names a pass phrase holds it on its first line; the rest is never looked at.
constexpr size_t kMaxPassphraseFile = 64 * 1024;

// Keys typed until Enter, shown as nothing. False for Esc, Ctrl-C or the end of input.
bool ReadTyped(platform::Terminal& terminal, const std::string& prompt, SecureBuffer& out,
               size_t& length) {
    out.Resize(kMaxPassphrase + 1);
    length = 0;
    terminal.Write(prompt);
    terminal.SetRaw(true);
    bool entered = false;
    for (;;) {
        const int key = terminal.ReadKey();
        if (key == '\n') {
            entered = true;
            break;
        }
        if (key < 0 || key == 0x1b || key == 0x03) break;
        if (key == 0x7f || key == 0x08) {
            if (length > 0 && length <= out.size()) out[--length] = 0;
            continue;
        }
        if (length < out.size()) out[length] = static_cast<uint8_t>(key);
        ++length;
    }
    terminal.SetRaw(false);
    terminal.Write("\n");
    return entered;
}

bool Same(const SecureBuffer& a, size_t aLength, const SecureBuffer& b, size_t bLength) {
    if (aLength != bLength) return false;
    uint8_t difference = 0;
    for (size_t i = 0; i < aLength; ++i)
        difference = static_cast<uint8_t>(difference | (a[i] ^ b[i]));
    return difference == 0;
}

bool FromFile(const std::string& file, SecureBuffer& passphrase, std::string* error) {
    SecureBuffer content;
    if (!ReadSmallFile(file, kMaxPassphraseFile, content, error)) return false;
    size_t length = 0;
    while (length < content.size() && content[length] != '\n')
        ++length;
    if (length > 0 && content[length - 1] == '\r') --length;
    if (length == 0) {
        *error = file + " holds no pass phrase on its first line";
        return false;
    }
    if (length > kMaxPassphrase) {
        *error = "the pass phrase in " + file + " is longer than " +
                 std::to_string(kMaxPassphrase) + " bytes";
        return false;
    }
    passphrase.Assign(content.data(), length);
    return true;
}

}  // namespace

bool GetPassphrase(const std::string& file, const std::string& prompt, bool confirm,
                   SecureBuffer& passphrase, std::string* error) {
    passphrase.Clear();
    if (!file.empty()) return FromFile(file, passphrase, error);
    platform::Terminal terminal;
    if (!terminal.Open()) {
        *error = "no terminal to ask for the pass phrase on; name a file with --passphrase-file";
        return false;
    }
    SecureBuffer first, second;
    size_t firstLength = 0, secondLength = 0;
    if (!ReadTyped(terminal, prompt, first, firstLength)) {
        *error = "no pass phrase was entered";
        return false;
    }
    if (firstLength == 0) {
        *error = "no pass phrase was entered";
        return false;
    }
    if (firstLength > kMaxPassphrase) {
        *error = "the pass phrase is longer than " + std::to_string(kMaxPassphrase) + " bytes";
        return false;
    }
    if (confirm) {
        if (!ReadTyped(terminal, "The same pass phrase again: ", second, secondLength) ||
            !Same(first, firstLength, second, secondLength)) {
            *error = "the two pass phrases differ";
            return false;
        }
    }
    passphrase.Assign(first.data(), firstLength);
    return true;
}

}  // namespace qor::admin
