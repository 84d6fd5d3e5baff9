#include "demo_password_dialog.h"

#include <cstring>

namespace qor::ui::test {

DemoPasswordDialog::DemoPasswordDialog(std::string_view userName, std::string_view password,
                                       bool keep, int minutes)
    : userName_(userName),
      password_(reinterpret_cast<const uint8_t*>(password.data()), password.size()),
      keep_(keep),
      minutes_(minutes) {
    template_.caption = "Password";
    template_.rect = {0, 0, 220, 110};
    template_.style = kStyleCentered | kStyleSystemMenu | kStyleModalFrame;
    template_.controls = {
        Static("User Name:", {7, 7, 50, 8}),
        Static("", {60, 7, 150, 8}, kUserName),
        Static("Please type in your &password:", {7, 22, 120, 8}, kPasswordLabel),
        PasswordEdit(kPassword, {130, 20, 80, 12}, 10),
        CheckBox(kKeep, "&Keep password in memory for", {7, 40, 120, 10}),
        Edit(kMinutes, {130, 39, 24, 12}, 3),
        DefPushButton(kIdOk, "OK", {50, 85, 50, 14}),
        PushButton(kIdCancel, "Cancel", {120, 85, 50, 14}),
    };
}

void DemoPasswordDialog::OnInit(DialogView& view) {
    calls_.push_back("init");
    view.SetText(kUserName, userName_);
    view.SetText(kMinutes, std::to_string(minutes_));
    view.SetCheck(kKeep, keep_);
    view.Enable(kMinutes, keep_);
    view.Focus(kPassword);
}

void DemoPasswordDialog::OnTextChanged(DialogView&, int controlId) {
    calls_.push_back("text " + std::to_string(controlId));
}

void DemoPasswordDialog::OnCommand(DialogView& view, int controlId) {
    calls_.push_back("command " + std::to_string(controlId));
    if (controlId == kKeep) {
        keep_ = view.IsChecked(kKeep);
        view.Enable(kMinutes, keep_);
        return;
    }
    if (controlId != kIdOk) {
        DialogModel::OnCommand(view, controlId);
        return;
    }
    // The field accepts 10 characters; the buffer is as large as the product's.
    SecureBuffer typed(128);
    size_t length = view.CopyText(kPassword, reinterpret_cast<char*>(typed.data()), typed.size());
    if (length == 0) {
        view.Beep();
        return;
    }
    if (length != password_.size() || std::memcmp(typed.data(), password_.data(), length) != 0) {
        ++failures_;
        view.ShowMessage("Invalid Password. ", "QOR Vaultis", MessageButtons::kOk,
                         MessageIcon::kNone);
        view.SetText(kPassword, "");
        if (failures_ == 3) {
            view.Close(kIdCancel);
            return;
        }
        view.Focus(kPassword);
        return;
    }
    minutes_ = std::stoi("0" + view.GetText(kMinutes));
    confirmed_ = true;
    view.Close(kIdOk);
}

}  // namespace qor::ui::test
