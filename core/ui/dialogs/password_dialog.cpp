#include "password_dialog.h"

#include <qor/profile/password_cache.h>
#include <qor/profile/user_profile.h>

namespace qor::dialogs {

using namespace ui;

const PasswordControls& PasswordDialog::Controls() {
    static const PasswordControls controls = [] {
        PasswordControls c;
        c.hideMinutesWhenNotKept = true;
        return c;
    }();
    return controls;
}

PasswordDialog::PasswordDialog(const char* caption)
    : KeptPasswordDialog(Controls()), caption_(caption ? caption : "") {
    // The caption is known from the start, so every host shows and reports the same one.
    template_.caption = caption_.empty() ? "Password" : caption_;
    template_.rect = {0, 0, 230, 96};
    template_.style = kStyleCentered | kStyleModalFrame | kStyleSystemMenu;
    template_.controls = {
        Static("User Name:", {7, 8, 50, 8}),
        Static("", {60, 8, 160, 8}, kIdUserName),
        Static("Please type in your &password:", {7, 26, 110, 8}, kIdPasswordLabel),
        PasswordEdit(kIdPassword, {120, 24, 100, 12}, kPasswordLimit),
        CheckBox(kIdKeep, "&Keep password in memory for", {7, 46, 110, 10}),
        Edit(kIdMinutes, {120, 45, 24, 12}, 3),
        PushButton(kIdUp, "UP", {145, 44, 10, 7}),
        PushButton(kIdDown, "DOWN", {145, 51, 10, 7}),
        Static("&minute(s)", {160, 47, 40, 8}, kIdMinutesLabel),
        DefPushButton(kIdOk, "OK", {55, 72, 50, 14}),
        PushButton(kIdCancel, "Cancel", {125, 72, 50, 14}),
    };
}

void PasswordDialog::OnInit(DialogView& view) {
    state_ = LoadKeepSettings();
    if (!caption_.empty()) view.SetCaption(caption_);
    view.SetText(kIdUserName, profile::Profile().UserName());
    view.SetText(kIdPassword, "");
    ShowKeepSettings(view, Controls(), state_);
    view.Focus(kIdPassword);
}

void PasswordDialog::OnCommand(DialogView& view, int controlId) {
    if (controlId == kIdKeep) {
        OnKeepClicked(view, Controls(), state_);
        return;
    }
    if (spin_.OnClick(view, controlId)) return;
    if (controlId == kIdOk) {
        RunPasswordCheck(view, Controls(), state_);
        return;
    }
    DialogModel::OnCommand(view, controlId);
}

int AskPassword(OwnerWindow owner, PasswordHandOver* handOver, const char* caption) {
    profile::PasswordCache& cache = profile::Cache();
    if (handOver != nullptr && handOver->valid == 1) {
        cache.TakeOverHandOver(handOver);
        return 0;
    }
    PasswordDialog dialog(caption);
    CurrentHost().RunModal(dialog, owner);
    if (dialog.resultFlag() != 1) return -1;
    cache.GiveBackHandOver(handOver, static_cast<uint32_t>(dialog.minutes()));
    return 0;
}

}  // namespace qor::dialogs
