// The shell library's texts: the menu items, their help texts and the AutoCrypt list's messages,
// by their number in the library's string table.
#pragma once

#include <string_view>

namespace qor::shell {

enum ShellString : int {
    kStrSettings = 1,
    kStrEncrypt = 2,
    kStrEncryptHelp = 3,
    kStrDecrypt = 4,
    kStrDecryptHelp = 5,
    kStrFileShare = 6,
    kStrShareEncryptHelp = 7,
    kStrShareDecryptHelp = 8,
    kStrAutoCrypt = 9,
    kStrAutoCryptHelp = 10,
    kStrPassword = 11,
    kStrChangePassword = 12,
    kStrChangePasswordHelp = 13,
    kStrClearPassword = 14,
    kStrClearPasswordHelp = 15,
    kStrHelp = 16,
    kStrHelpHelp = 17,
    kStrAbout = 18,
    kStrAboutHelp = 19,
    kStrUnknownCommand = 20,
    kStrSetup = 21,
    kStrSetupHelp = 22,
    kStrListCaption = 23,
    kStrListRefusedSystemFolder = 24,
    kStrListRefusedExtension = 25,
};

inline constexpr int kShellStringCount = 25;
// Texts are loaded into buffers of this many characters.
inline constexpr int kShellStringBuffer = 260;

// The text of string `id`; "" for a number outside the table.
std::string_view LoadShellString(int id);

}  // namespace qor::shell
