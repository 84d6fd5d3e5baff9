// The "File Sharing - Encryption" dialog: the selection is encrypted with a password the user
// shares with the recipients, optionally as a self-extracting program.
//
// Control ids: 1043 the selected names, 1000 "Current Directory: " and the folder, 1044
// "&Password:" and 1045 "&Verify:" (at most 10 characters each), 1046 self-extracting, 1049
// "&Delete original file(s)", 1020 organisation, 1048 "&More", 1018 "&Help"; 1 OK, 2 Cancel.
#pragma once

#include <qor/secure_buffer.h>
#include <qor/ui/dialog_model.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qor::dialogs {

class ShareEncryptDialog : public ui::DialogModel {
  public:
    static constexpr int kList = 1043;
    static constexpr int kPassword = 1044;
    static constexpr int kVerify = 1045;
    static constexpr int kSelfExtracting = 1046;
    static constexpr int kDeleteSource = 1049;
    // Shorter shared passwords are refused.
    static constexpr size_t kMinLength = 6;

    // `selection`: element 0 the folder, then the selected names (a folder as its name, the
    // separator and "*.*").
    explicit ShareEncryptDialog(std::vector<std::string> selection);

    const ui::DialogTemplate& Template() const override { return template_; }
    void OnInit(ui::DialogView& view) override;
    void OnCommand(ui::DialogView& view, int controlId) override;
    void OnTextChanged(ui::DialogView& view, int controlId) override;
    void OnPointerMove(ui::DialogView& view, int x, int y) override;

    bool confirmed() const { return confirmed_; }
    // The shared password's text (no terminator), held until the dialog is destroyed or taken.
    const SecureBuffer& password() const { return password_; }
    SecureBuffer TakePassword() { return std::move(password_); }
    bool selfExtracting() const { return selfExtracting_; }
    bool deleteSource() const { return deleteSource_; }
    bool noEmergency() const { return noEmergency_ != 0; }

  private:
    void OnSelfExtractingClicked(ui::DialogView& view);
    void OnOk(ui::DialogView& view);

    ui::DialogTemplate template_;
    std::vector<std::string> selection_;
    bool confirmed_ = false;
    SecureBuffer password_;
    bool selfExtracting_ = false;
    bool deleteSource_ = false;
    uint16_t noEmergency_ = 0;
};

// The label of the self-extracting box once it names the program: "Encrypt as &self-extracting
// Windows file (" + the name up to its first dot + ".exe)".
std::string SelfExtractingLabel(const std::string& name);

}  // namespace qor::dialogs
