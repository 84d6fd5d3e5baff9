#include "kept_password_dialog.h"

namespace qor::dialogs {

using ui::DialogView;

void KeptPasswordDialog::OnTextChanged(DialogView& view, int controlId) {
    if (controlId == kIdPassword) SeedFromPasswordField(view, controlId);
}

void KeptPasswordDialog::OnTimer(DialogView& view, int timerId) {
    spin_.OnTimer(view, timerId);
}

void KeptPasswordDialog::OnPointerMove(DialogView&, int x, int y) {
    SeedFromPointer(x, y);
}

void KeptPasswordDialog::OnButtonPressed(DialogView& view, int controlId) {
    spin_.OnPressed(view, controlId);
}

void KeptPasswordDialog::OnButtonReleased(DialogView& view) {
    spin_.OnReleased(view);
}

}  // namespace qor::dialogs
