// The "File Sharing - Decryption" dialog: the password that was shared for the selected files.
//
// Control ids: 1043 the selected names, 1000 "Current Directory: " and the folder, 1022
// "&Password:" (at most 10 characters), 1049 "D&elete encrypted file(s)", 1018 "&Help"; 1 OK,
// 2 Cancel.
#pragma once

#include <qor/secure_buffer.h>
#include <qor/ui/dialog_model.h>

#include <string>
#include <vector>

namespace qor::dialogs {

class ShareDecryptDialog : public ui::DialogModel {
  public:
    static constexpr int kList = 1043;
    static constexpr int kPassword = 1022;
    static constexpr int kDeleteEncrypted = 1049;

    // `selection`: element 0 the folder, then the selected names.
    explicit ShareDecryptDialog(std::vector<std::string> selection);

    const ui::DialogTemplate& Template() const override { return template_; }
    void OnInit(ui::DialogView& view) override;
    void OnCommand(ui::DialogView& view, int controlId) override;
    void OnTextChanged(ui::DialogView& view, int controlId) override;
    void OnPointerMove(ui::DialogView& view, int x, int y) override;

    bool confirmed() const { return confirmed_; }
    // The password's text (no terminator), held until the dialog is destroyed or taken.
    const SecureBuffer& password() const { return password_; }
    SecureBuffer TakePassword() { return std::move(password_); }
    bool deleteEncrypted() const { return deleteEncrypted_; }

  private:
    ui::DialogTemplate template_;
    std::vector<std::string> selection_;
    bool confirmed_ = false;
    SecureBuffer password_;
    bool deleteEncrypted_ = false;
};

}  // namespace qor::dialogs
