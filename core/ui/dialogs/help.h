// The library's help: "qorsec95.hlp" in the profile's home folder names it, but neither
// platform has a viewer for that format any more, so each topic is a text file beside it,
// "<home>/help/<context>.txt" ("<home>/help/index.txt" for the finder), shown in a message
// box captioned "QOR Vaultis Help". A missing topic says so: "Help topic <n> is not installed."
//
// Contexts of the help buttons: 130 Encrypt, 170 Decrypt, 200 File Sharing - Encryption,
// 210 File Sharing - Decryption, 81 diskette backup, 310 Change Password.
#pragma once

#include <qor/ui/dialog_host.h>
#include <qor/ui/dialog_view.h>

#include <string>

namespace qor::dialogs {

inline constexpr int kHelpDisketteBackup = 81;
inline constexpr int kHelpEncrypt = 130;
inline constexpr int kHelpDecrypt = 170;
inline constexpr int kHelpShareEncrypt = 200;
inline constexpr int kHelpShareDecrypt = 210;
inline constexpr int kHelpChangePassword = 310;

// The home folder of the profile, the separator and "qorsec95.hlp".
std::string HelpFilePath();

// The topic of `context` (HELP_CONTEXT), or the list of topics (HELP_FINDER), in a message
// box owned by `owner`.
void ShowHelpContext(ui::OwnerWindow owner, int context);
void ShowHelpFinder(ui::OwnerWindow owner);
// The same from inside a dialog, so that the box is modal to it (help buttons).
void ShowHelpContext(ui::DialogView& view, int context);
void ShowHelpFinder(ui::DialogView& view);

}  // namespace qor::dialogs
