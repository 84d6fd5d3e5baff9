// Windows: the AutoCrypt list's edit dialog inside the platform's Explorer-style open dialog, the
// child dialog that the open dialog's hook procedure serves, so that the user picks the files and
// folders to add in the open dialog itself.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>
#include <vector>

#include "autocrypt_edit_dialog.h"

namespace qor::shell {

// What the open dialog around the child `child` has selected, as full paths: the files named in
// its name field (one name, or several each in double quotes, in its current folder) and the
// folders selected in its file view. The name field is cleared.
std::vector<std::string> ReadOpenDialogSelection(HWND child);

// The reader for the dialog's open-dialog form.
AutoCryptEditDialog::SelectionReader OpenDialogSelection();

// Shows `dialog` (made with OpenDialogSelection()) as the open dialog's child, owned by `owner`;
// returns the model's result (kIdOk after "Done"), kIdCancel when cancelled, -1 when the open
// dialog could not be shown.
int RunInOpenDialog(AutoCryptEditDialog& dialog, HWND owner);

}  // namespace qor::shell
