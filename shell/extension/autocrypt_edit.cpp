#include "autocrypt_edit.h"

#include <qor/platform/files.h>
#include <qor/ui/dialog_host.h>

#include "autocrypt_edit_dialog.h"
#include "autocrypt_editor.h"

namespace qor::shell {

void RunAutoCryptEditDialog(QorShellWindow owner, const CoreLibrary&) {
    // Opening the editor asks for the password and reads the list; refused, nothing is shown.
    AutoCryptEditor editor(owner);
    if (!editor.opened()) return;
    AutoCryptEditDialog dialog(editor, platform::CurrentFolder());
    ui::CurrentHost().RunModal(dialog, owner);
}

}  // namespace qor::shell
