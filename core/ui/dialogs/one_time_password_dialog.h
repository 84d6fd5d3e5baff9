// The "Password" dialog that asks for the one-time password a shared file was encrypted with,
// when such a file is opened directly.
//
// Control ids: 1014 the password field; 1 OK, 2 Cancel.
#pragma once

#include <qor/ui/dialog_model.h>

#include <cstddef>

namespace qor::dialogs {

class OneTimePasswordDialog : public ui::DialogModel {
  public:
    static constexpr int kPassword = 1014;
    static constexpr size_t kBufferSize = 64;
    // The most characters of the field that are read.
    static constexpr size_t kMaxLength = 31;

    OneTimePasswordDialog();
    // The buffer is wiped.
    ~OneTimePasswordDialog() override;
    OneTimePasswordDialog(const OneTimePasswordDialog&) = delete;
    OneTimePasswordDialog& operator=(const OneTimePasswordDialog&) = delete;

    const ui::DialogTemplate& Template() const override { return template_; }
    void OnInit(ui::DialogView& view) override;
    void OnCommand(ui::DialogView& view, int controlId) override;
    void OnTextChanged(ui::DialogView& view, int controlId) override;
    void OnPointerMove(ui::DialogView& view, int x, int y) override;

    bool confirmed() const { return confirmed_; }
    // The password, zero-terminated, valid until the dialog is destroyed.
    const char* password() const { return buffer_; }
    size_t passwordLength() const { return length_; }

  private:
    ui::DialogTemplate template_;
    bool confirmed_ = false;
    char buffer_[kBufferSize] = {};
    size_t length_ = 0;
};

}  // namespace qor::dialogs
