// The AutoCrypt list's edit dialog, opened by the menu's "&AutoCrypt..." while the core library
// is bound and the user's processes are marked busy.
#pragma once

#include <qor/shell/shell_exports.h>

#include "core_library.h"

namespace qor::shell {

// Shows the edit dialog over the list's editor (autocrypt_editor.h). The dialog needs a window of
// the desktop's own: where there is none yet (a terminal), the menu command does nothing and
// `qor autocrypt` is the list's face.
void RunAutoCryptEditDialog(QorShellWindow owner, const CoreLibrary& core);

}  // namespace qor::shell
