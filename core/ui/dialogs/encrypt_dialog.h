// The "Encrypt" dialog, where the user confirms a local encryption of the selection with the
// password, and the part it shares with the "Decrypt" dialog (decrypt_dialog.h).
//
// Both show the selected names (1013), the folder shortened to its field (1000) and the user
// name (1015), and take the password with the keep box and the minutes of password_check.h.
// A password still kept in memory hides the password controls, and OK then goes ahead without
// one. "&Help" (1018) opens the dialog's help topic. The encrypt dialog adds the organisation
// (1020) and "&More" (1048), which leads to the emergency access choice.
#pragma once

#include <qor/ui/dialog_model.h>

#include <cstdint>
#include <string>
#include <vector>

#include "kept_password_dialog.h"

namespace qor::dialogs {

inline constexpr int kIdFolder = 1000;
inline constexpr int kIdSelectionList = 1013;
inline constexpr int kIdOrganisation = 1020;
inline constexpr int kIdHelp = 1018;
inline constexpr int kIdMore = 1048;

// What the encrypt and decrypt dialogs share.
class LocalCryptDialog : public KeptPasswordDialog {
  public:
    const ui::DialogTemplate& Template() const override { return template_; }
    void OnInit(ui::DialogView& view) override;
    void OnCommand(ui::DialogView& view, int controlId) override;

    // True when the password kept in memory was used: the caller has nothing to hand back.
    bool inMemory() const { return state_.inMemory; }

    static const PasswordControls& Controls();

  protected:
    struct Texts {
        const char* caption;
        const char* group;
        const char* listLabel;
        const char* minutesLabel;
        bool emergencyAccess;
        int helpContext;
    };
    // `folderWidthChars` is the folder field's width in average characters as the host shows
    // it; 0 takes it from the template.
    LocalCryptDialog(const Texts& texts, std::vector<std::string> selection, int folderWidthChars);

    // The encrypt dialog's own buttons: true when `controlId` was one of them.
    virtual bool OnOwnCommand(ui::DialogView& view, int controlId);

  private:
    ui::DialogTemplate template_;
    std::vector<std::string> selection_;
    int folderWidthChars_;
    bool emergencyAccess_;
    int helpContext_;
};

class EncryptDialog : public LocalCryptDialog {
  public:
    // `selection`: element 0 the folder, then the selected names.
    explicit EncryptDialog(std::vector<std::string> selection, int folderWidthChars = 0);

    // True when the user chose to encrypt without emergency access.
    bool noEmergency() const { return noEmergency_ != 0; }

  protected:
    bool OnOwnCommand(ui::DialogView& view, int controlId) override;

  private:
    uint16_t noEmergency_ = 0;
};

}  // namespace qor::dialogs
