#include "share_decrypt_dialog.h"

#include "encrypt_dialog.h"
#include "help.h"
#include "password_check.h"
#include "selection_text.h"

namespace qor::dialogs {

using namespace ui;

ShareDecryptDialog::ShareDecryptDialog(std::vector<std::string> selection)
    : selection_(std::move(selection)) {
    template_.caption = "File Sharing - Decryption";
    template_.rect = {0, 0, 270, 120};
    template_.style = kStyleCentered | kStyleModalFrame | kStyleSystemMenu;
    template_.controls = {
        Static("&Decrypt:", {7, 8, 40, 8}),
        MultiLineEdit(kList, {50, 6, 212, 24}, true),
        Static("Current Directory: ", {7, 36, 255, 8}, kIdFolder),
        Static("&Password:", {7, 54, 40, 8}),
        PasswordEdit(kPassword, {50, 52, 100, 12}, kPasswordLimit),
        CheckBox(kDeleteEncrypted, "D&elete encrypted file(s)", {7, 72, 150, 10}),
        DefPushButton(kIdOk, "OK", {40, 96, 50, 14}),
        PushButton(kIdCancel, "Cancel", {110, 96, 50, 14}),
        PushButton(kIdHelp, "&Help", {180, 96, 50, 14}),
    };
}

void ShareDecryptDialog::OnInit(DialogView& view) {
    view.SetText(kIdFolder,
                 "Current Directory: " + (selection_.empty() ? std::string() : selection_[0]));
    view.SetText(kList, SelectionListText(selection_));
    view.Focus(kPassword);
}

void ShareDecryptDialog::OnCommand(DialogView& view, int controlId) {
    if (controlId == kIdHelp) {
        ShowHelpContext(view, kHelpShareDecrypt);
        return;
    }
    if (controlId != kIdOk) {
        DialogModel::OnCommand(view, controlId);
        return;
    }
    SecureBuffer password = view.GetSecret(kPassword);
    if (password.empty()) {
        view.Beep();
        view.Focus(kPassword);
        return;
    }
    // No length rule: the password was chosen by whoever encrypted the files.
    password_ = std::move(password);
    deleteEncrypted_ = view.IsChecked(kDeleteEncrypted);
    confirmed_ = true;
    view.Close(kIdOk);
}

void ShareDecryptDialog::OnTextChanged(DialogView& view, int controlId) {
    if (controlId == kPassword) SeedFromPasswordField(view, controlId);
}

void ShareDecryptDialog::OnPointerMove(DialogView&, int x, int y) {
    SeedFromPointer(x, y);
}

}  // namespace qor::dialogs
