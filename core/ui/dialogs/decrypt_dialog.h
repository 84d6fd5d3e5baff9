// The "Decrypt" dialog: the encrypt dialog's layout and password handling (encrypt_dialog.h)
// without emergency access, for a local decryption of the selection.
#pragma once

#include <string>
#include <vector>

#include "encrypt_dialog.h"

namespace qor::dialogs {

class DecryptDialog : public LocalCryptDialog {
  public:
    // `selection`: element 0 the folder, then the selected names; `folderWidthChars` as for
    // EncryptDialog.
    explicit DecryptDialog(std::vector<std::string> selection, int folderWidthChars = 0);
};

}  // namespace qor::dialogs
