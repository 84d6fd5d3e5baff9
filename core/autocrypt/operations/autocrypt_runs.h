// The AutoCrypt runs: every entry of the list (at shut-down and log-on) or the entries the edit
// dialog passes (now), encrypted or decrypted in one modal batch with a progress dialog.
#pragma once

#include <qor/profile/password_hand_over.h>
#include <qor/ui/dialog_host.h>

#include <string>
#include <vector>

namespace qor::autocrypt {

// Encrypts the list's entries, whatever the shut-down setting says.
void AutoEncrypt(ui::OwnerWindow owner, PasswordHandOver* handOver);
// Decrypts the list's entries when the start-up setting is on.
void AutoDecrypt(ui::OwnerWindow owner, PasswordHandOver* handOver);
// The entries given (full paths; a folder as its path, the separator and "*.*").
void EncryptNow(ui::OwnerWindow owner, const std::vector<std::string>& entries,
                PasswordHandOver* handOver);
void DecryptNow(ui::OwnerWindow owner, const std::vector<std::string>& entries,
                PasswordHandOver* handOver);

}  // namespace qor::autocrypt
