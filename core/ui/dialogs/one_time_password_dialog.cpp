#include "one_time_password_dialog.h"

#include <qor/secure_buffer.h>

#include "password_check.h"

namespace qor::dialogs {

using namespace ui;

OneTimePasswordDialog::OneTimePasswordDialog() {
    template_.caption = "Password";
    template_.rect = {0, 0, 220, 74};
    template_.style = kStyleCentered | kStyleModalFrame | kStyleSystemMenu;
    template_.controls = {
        Static("&Please enter the one time password that was used to encrypt this file:",
               {7, 6, 206, 18}),
        PasswordEdit(kPassword, {7, 28, 206, 12}, static_cast<int>(kMaxLength)),
        DefPushButton(kIdOk, "OK", {45, 52, 50, 14}),
        PushButton(kIdCancel, "Cancel", {125, 52, 50, 14}),
    };
}

OneTimePasswordDialog::~OneTimePasswordDialog() {
    SecureWipe(buffer_, sizeof buffer_);
}

void OneTimePasswordDialog::OnInit(DialogView& view) {
    view.Focus(kPassword);
}

void OneTimePasswordDialog::OnCommand(DialogView& view, int controlId) {
    if (controlId != kIdOk) {
        DialogModel::OnCommand(view, controlId);
        return;
    }
    // A field read again after a refusal must not leave the earlier text behind.
    SecureWipe(buffer_, sizeof buffer_);
    length_ = view.CopyText(kPassword, buffer_, kMaxLength + 1);
    if (length_ == 0) {
        view.Beep();
        return;
    }
    confirmed_ = true;
    view.Close(kIdOk);
}

void OneTimePasswordDialog::OnTextChanged(DialogView& view, int controlId) {
    if (controlId == kPassword) SeedFromPasswordField(view, controlId);
}

void OneTimePasswordDialog::OnPointerMove(DialogView&, int x, int y) {
    SeedFromPointer(x, y);
}

}  // namespace qor::dialogs
