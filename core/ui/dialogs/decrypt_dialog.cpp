#include "decrypt_dialog.h"

#include "help.h"

namespace qor::dialogs {

DecryptDialog::DecryptDialog(std::vector<std::string> selection, int folderWidthChars)
    : LocalCryptDialog(
          {"Decrypt", "Decryption Information", "&Decrypt:", "&minute(s)", false, kHelpDecrypt},
          std::move(selection), folderWidthChars) {}

}  // namespace qor::dialogs
