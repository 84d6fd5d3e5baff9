// The two diskette dialogs: the backup of the preference file to a diskette, offered after
// setup and after a change of password, and the prompt for the diskette that holds the backup
// when the home folder has no readable file (LoadOrRecover, load_or_recover.h).
//
// Drives "a:" and "b:" are folders: on Windows the drives themselves; elsewhere the folders
// named by the values DriveA and DriveB under the product's key, so that a removable medium
// (or a test) stands in for the diskette. A drive without a folder has no diskette in it.
//
// Control ids: 1311 the drive list ("A", "B"; A preselected), 1312 the prompt dialog's text,
// 1018 "&Help" (the backup dialog's, help context 81); 1 OK, 2 Cancel.
#pragma once

#include <qor/ui/dialog_host.h>
#include <qor/ui/dialog_model.h>

#include <string>

namespace qor::dialogs {

// The folder of drive 'a' or 'b' (either case): "a:" or "b:" on Windows; elsewhere the
// registry value DriveA or DriveB under HKEY_CLASSES_ROOT
// "CLSID\{8e3e0f0a-0fcc-11ce-bcb0-b3fd0e253819}\QOR", or "" when it is not set (no diskette).
std::string DriveFolder(char letter);

// "Insert diskette into &drive": A or B, OK, Cancel, "&Help". OK writes the profile to
// "userpref.!!!" on the chosen drive with the password the cache holds, refusing the product's
// install diskette (it carries "qor_sec.dl_") and asking before it replaces an earlier copy;
// Cancel asks for confirmation first.
class DriveBackupDialog : public ui::DialogModel {
  public:
    static constexpr int kDriveList = 1311;
    static constexpr int kHelp = 1018;

    DriveBackupDialog();

    const ui::DialogTemplate& Template() const override { return template_; }
    void OnInit(ui::DialogView& view) override;
    void OnCommand(ui::DialogView& view, int controlId) override;
    void OnCancel(ui::DialogView& view) override;

    // True once the profile was written to the diskette.
    bool backedUp() const { return backedUp_; }

  private:
    void BackUp(ui::DialogView& view);

    ui::DialogTemplate template_;
    bool backedUp_ = false;
};

// Shows the backup dialog; true when the profile was written to a diskette.
bool OfferDriveBackup(ui::OwnerWindow owner);

// The caller's text and caption, "Insert diskette into &drive" with A or B (A preselected), OK
// and Cancel; opens centred. After the run the caller reads whether OK was pressed and which
// drive was chosen.
class DrivePromptDialog : public ui::DialogModel {
  public:
    static constexpr int kDriveList = 1311;
    static constexpr int kText = 1312;

    DrivePromptDialog(std::string text, std::string caption);

    const ui::DialogTemplate& Template() const override { return template_; }
    void OnInit(ui::DialogView& view) override;
    void OnCommand(ui::DialogView& view, int controlId) override;

    bool confirmed() const { return confirmed_; }
    // 'a' or 'b'.
    char driveLetter() const { return selection_ == 1 ? 'b' : 'a'; }

  private:
    ui::DialogTemplate template_;
    std::string text_;
    std::string caption_;
    bool confirmed_ = false;
    int selection_ = 0;
};

}  // namespace qor::dialogs
