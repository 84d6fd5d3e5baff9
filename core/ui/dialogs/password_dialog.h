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

#include <string>

#include "kept_password_dialog.h"

namespace qor::dialogs {

class PasswordDialog : public KeptPasswordDialog {
  public:
    // `caption` nullptr (or empty) keeps "Password".
    explicit PasswordDialog(const char* caption = nullptr);

    const ui::DialogTemplate& Template() const override { return template_; }
    void OnInit(ui::DialogView& view) override;
    void OnCommand(ui::DialogView& view, int controlId) override;

    static const PasswordControls& Controls();

  private:
    ui::DialogTemplate template_;
    std::string caption_;
};

// The password for an operation of the calling program. A valid hand-over block is taken over
// as it is (the caller expires it by its own clock) and 0 returned without a dialog. Otherwise
// the "Password" dialog asks; -1 when it was not confirmed, else the block receives the
// password when the user chose to keep it (GiveBackHandOver with the dialog's minutes) and 0.
int AskPassword(ui::OwnerWindow owner, PasswordHandOver* handOver, const char* caption);

}  // namespace qor::dialogs
