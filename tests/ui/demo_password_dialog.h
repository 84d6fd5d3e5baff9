// A small password dialog in the manner of the product's own: the user name, a password field
// of at most 10 characters, "keep in memory for" with a minutes field, OK and Cancel. OK with
// an empty field beeps; a wrong password is refused with a message, and the third refusal
// cancels the dialog. It drives the hosts' tests.
#pragma once

#include <qor/secure_buffer.h>
#include <qor/ui/dialog_model.h>

#include <string>
#include <string_view>
#include <vector>

namespace qor::ui::test {

class DemoPasswordDialog : public DialogModel {
  public:
    static constexpr int kUserName = 1015;
    static constexpr int kPasswordLabel = 1028;
    static constexpr int kPassword = 1014;
    static constexpr int kKeep = 1010;
    static constexpr int kMinutes = 1026;

    DemoPasswordDialog(std::string_view userName, std::string_view password, bool keep,
                       int minutes);

    const DialogTemplate& Template() const override { return template_; }
    void OnInit(DialogView& view) override;
    void OnCommand(DialogView& view, int controlId) override;
    void OnTextChanged(DialogView& view, int controlId) override;

    bool confirmed() const { return confirmed_; }
    bool keep() const { return keep_; }
    int minutes() const { return minutes_; }
    int failures() const { return failures_; }
    // The handlers that ran, in order: "init", "text 1014", "command 1010", ...
    const std::vector<std::string>& calls() const { return calls_; }

  private:
    DialogTemplate template_;
    std::string userName_;
    SecureBuffer password_;
    bool keep_;
    int minutes_;
    bool confirmed_ = false;
    int failures_ = 0;
    std::vector<std::string> calls_;
};

}  // namespace qor::ui::test
