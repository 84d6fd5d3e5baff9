// What every dialog shares that takes the user's password with the keep box and the minutes
// (the "Password" dialog, the encrypt and decrypt dialogs): the dialog state the password check
// fills, the minutes spin, and the handlers around them — typing in the password field and
// moving the pointer feed the random generator, the spin runs on its own timers.
#pragma once

#include <qor/ui/dialog_model.h>

#include "password_check.h"

namespace qor::dialogs {

class KeptPasswordDialog : public ui::DialogModel {
  public:
    // The spin refers to the state: the dialog stays where it was made.
    KeptPasswordDialog(const KeptPasswordDialog&) = delete;
    KeptPasswordDialog& operator=(const KeptPasswordDialog&) = delete;

    void OnTextChanged(ui::DialogView& view, int controlId) override;
    void OnTimer(ui::DialogView& view, int timerId) override;
    void OnPointerMove(ui::DialogView& view, int x, int y) override;
    // The minutes spin's arrows repeat while held.
    void OnButtonPressed(ui::DialogView& view, int controlId) override;
    void OnButtonReleased(ui::DialogView& view) override;

    // 1 after a successful OK (a kept password or a typed one that passed the check).
    int resultFlag() const { return state_.resultFlag; }
    // kResultNotAuthentic (-2) after a non-authentic preference file, else 0.
    int resultCode() const { return state_.resultCode; }
    // The minutes shown when the dialog closed, and the keep choice.
    int minutes() const { return state_.minutes; }
    bool keep() const { return state_.keep; }
    int failures() const { return state_.failures; }

  protected:
    explicit KeptPasswordDialog(const PasswordControls& controls) : spin_{controls, state_} {}

    PasswordDialogState state_;
    MinutesSpin spin_;
};

}  // namespace qor::dialogs
