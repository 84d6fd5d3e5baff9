#include "autocrypt_edit.h"

#include <qor/platform/files.h>
#include <qor/ui/dialog_host.h>

#include "autocrypt_edit_dialog.h"
#include "autocrypt_editor.h"

#ifdef _WIN32
#include "autocrypt_open_dialog.h"
#include "hosts/win32/win32_host.h"
#endif

namespace qor::shell {

void RunAutoCryptEditDialog(QorShellWindow owner, const CoreLibrary&) {
    // Opening the editor asks for the password and reads the list; refused, nothing is shown.
    AutoCryptEditor editor(owner);
    if (!editor.opened()) return;
#ifdef _WIN32
    // On the desktop the user picks what to add in the open dialog itself; a scripted or
    // terminal host keeps the typed path field.
    if (dynamic_cast<ui::win32::Win32Host*>(&ui::CurrentHost()) != nullptr) {
        AutoCryptEditDialog dialog(editor, OpenDialogSelection());
        if (RunInOpenDialog(dialog, static_cast<HWND>(owner)) >= 0) return;
        // Without the common dialogs the portable form still lets the list be edited.
    }
#endif
    AutoCryptEditDialog dialog(editor, platform::CurrentFolder());
    ui::CurrentHost().RunModal(dialog, owner);
}

}  // namespace qor::shell
