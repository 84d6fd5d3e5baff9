// The change of password: the "Change Password" dialog and the flow around it.
//
// The user key stays the same, so every file encrypted before the change still decrypts; only
// its wrapping (attribute 2), the password check value (attribute 8) and the authenticator
// change. The change is all or nothing: when the key cannot be re-wrapped or the file cannot
// be written, the profile in memory and on disk keeps the old password.
//
// Control ids: 1301 current password, 1302 new password, 1303 confirmation (password fields of
// at most 10 characters), 1018 "&Help" (help context 310); 1 OK, 2 Cancel.
#pragma once

#include <qor/ui/dialog_host.h>
#include <qor/ui/dialog_model.h>

#include <string_view>

namespace qor::dialogs {

class ChangePasswordDialog : public ui::DialogModel {
  public:
    static constexpr int kCurrent = 1301;
    static constexpr int kNew = 1302;
    static constexpr int kConfirm = 1303;
    static constexpr int kHelp = 1018;
    // At least this many characters in a new password.
    static constexpr size_t kMinLength = 6;

    ChangePasswordDialog();

    const ui::DialogTemplate& Template() const override { return template_; }
    void OnInit(ui::DialogView& view) override;
    void OnCommand(ui::DialogView& view, int controlId) override;
    void OnTextChanged(ui::DialogView& view, int controlId) override;
    void OnPointerMove(ui::DialogView& view, int x, int y) override;

    // True when the dialog closed with the password changed.
    bool changeDone() const { return changeDone_; }
    // kResultNotAuthentic (-2) after a non-authentic preference file, else 0.
    int resultCode() const { return resultCode_; }

  private:
    // The checks of OK, in order; 0 when the password was changed.
    int Check(ui::DialogView& view);

    ui::DialogTemplate template_;
    bool changeDone_ = false;
    int resultCode_ = 0;
};

// Re-wraps the user key under `fresh` and makes it the password: attribute 2, attribute 8 and
// the authenticator, written to the file, and the password cache restarted with it (its held
// flag unchanged). 0, or the failing step's status with the profile unchanged in memory and on
// disk (-1 when the file could not be written, after its message).
int ChangeUserPassword(std::string_view current, std::string_view fresh);

// The operation behind "&Change Password...": loads the profile (with recovery), shows the
// dialog with the dialog-open flag cleared, and offers the diskette backup after a change.
// 0 when the password was changed, -1 otherwise.
int RunChangePassword(ui::OwnerWindow owner);

}  // namespace qor::dialogs
