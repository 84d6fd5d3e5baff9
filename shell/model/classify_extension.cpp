#include "classify_extension.h"

#include <array>
#include <string>

namespace qor::shell {

namespace {

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool LetterDigitOrBang(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '!';
}

constexpr std::array<std::string_view, 20> kExcluded = {
    ".exe", ".com", ".bat", ".dll", ".sys", ".ini", ".bin", ".drv", ".ovl", ".grp",
    ".e!!", ".u!!", ".pif", ".ico", ".386", ".cfg", ".fon", ".ttf", ".fot", ".vbx",
};

}  // namespace

ExtensionKind ClassifyExtension(std::string_view extension) {
    if (extension.size() != 4) return kExtensionPlain;
    const char second = Lower(extension[1]);
    const char third = Lower(extension[2]);
    if (second == '!' && third == '!' && LetterDigitOrBang(extension[3]))
        return kExtensionLocalEncrypted;
    if (second == 's' && third == '!' && LetterDigitOrBang(extension[3]))
        return kExtensionShareEncrypted;
    std::string lower(extension);
    for (char& c : lower)
        c = Lower(c);
    for (const std::string_view excluded : kExcluded) {
        if (lower == excluded) return kExtensionExcluded;
    }
    return kExtensionPlain;
}

}  // namespace qor::shell
