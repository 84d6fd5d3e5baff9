// The "Password" dialog and AskPassword: the password for the AutoCrypt runs and for opening
// an encrypted file, when the calling program holds no kept one.
//
// The dialog shows the user name, the password field, the keep box and the minutes with UP and
// DOWN, OK and Cancel; OK runs the shared password check (password_check.h). Control ids are
// those of password_check.h; the caption, when one is passed, replaces the template's
// "Password" when the dialog opens.
#pragma once

#include <qor/profile/password_hand_over.h>
#include <qor/ui/dialog_host.h>
#include <qor/ui/dialog_model.h>

#include <string>

#include "password_check.h"

namespace qor::dialogs {

class PasswordDialog : public ui::DialogModel, public SpinHoldTarget {
  public:
    // `caption` nullptr (or empty) keeps "Password".
    explicit PasswordDialog(const char* caption = nullptr);
    // The spin refers to the state: the dialog stays where it was made.
    PasswordDialog(const PasswordDialog&) = delete;
    PasswordDialog& operator=(const PasswordDialog&) = delete;

    const ui::DialogTemplate& Template() const override { return template_; }
    void OnInit(ui::DialogView& view) override;
    void OnCommand(ui::DialogView& view, int controlId) override;
    void OnTextChanged(ui::DialogView& view, int controlId) override;
    void OnTimer(ui::DialogView& view, int timerId) override;
    void OnPointerMove(ui::DialogView& view, int x, int y) override;
    void OnSpinPressed(ui::DialogView& view, int buttonId) override;
    void OnSpinReleased(ui::DialogView& view) override;

    // 1 after a successful OK.
    int resultFlag() const { return state_.resultFlag; }
    // kResultNotAuthentic after a non-authentic preference file, else 0.
    int resultCode() const { return state_.resultCode; }
    int minutes() const { return state_.minutes; }
    bool keep() const { return state_.keep; }
    int failures() const { return state_.failures; }

    static const PasswordControls& Controls();

  private:
    ui::DialogTemplate template_;
    std::string caption_;
    PasswordDialogState state_;
    MinutesSpin spin_{Controls(), state_};
};

// The password for an operation of the calling program. A valid hand-over block is taken over
// as it is (the caller expires it by its own clock) and 0 returned without a dialog. Otherwise
// the "Password" dialog asks; -1 when it was not confirmed, else the block receives the
// password when the user chose to keep it (GiveBackHandOver with the dialog's minutes) and 0.
int AskPassword(ui::OwnerWindow owner, PasswordHandOver* handOver, const char* caption);

}  // namespace qor::dialogs
