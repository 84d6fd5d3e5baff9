// The AutoCrypt list's edit dialog, opened by the menu's "&AutoCrypt..." while the core library
// is bound and the user's processes are marked busy.
#pragma once

#include <qor/shell/shell_exports.h>

#include "core_library.h"

namespace qor::shell {

// Shows the edit dialog (autocrypt_edit_dialog.h) over the list's editor (autocrypt_editor.h) in
// the process's dialog host. The list is written only by "Done".
void RunAutoCryptEditDialog(QorShellWindow owner, const CoreLibrary& core);

}  // namespace qor::shell
