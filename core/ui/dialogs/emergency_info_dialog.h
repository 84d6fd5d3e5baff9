// The "Emergency Access Information" dialog: the organisation that can recover the user's files,
// the fingerprint of its key, and (where the organisation allows it) the choice to encrypt
// without emergency access. Also the "&More" button of the encrypt dialogs that leads to it.
//
// Control ids: 1020 organisation, 1016 fingerprint, 1014 "&Disable emergency key access", 1 OK.
#pragma once

#include <qor/ui/dialog_model.h>
#include <qor/ui/dialog_view.h>

#include <string>

namespace qor::dialogs {

class EmergencyInfoDialog : public ui::DialogModel {
  public:
    static constexpr int kOrganisation = 1020;
    static constexpr int kFingerprint = 1016;
    static constexpr int kDisable = 1014;

    // `noEmergency`: the choice the encrypt dialog holds so far, shown in the box.
    explicit EmergencyInfoDialog(bool noEmergency);

    const ui::DialogTemplate& Template() const override { return template_; }
    void OnInit(ui::DialogView& view) override;
    void OnCommand(ui::DialogView& view, int controlId) override;

    // The box's state when OK was pressed (never set while the organisation does not allow the
    // choice); the choice passed in when the dialog was cancelled.
    bool noEmergency() const { return noEmergency_; }

  private:
    ui::DialogTemplate template_;
    bool noEmergency_;
};

// Attribute 7 as text.
std::string OrganisationText();
// True when attribute 3 holds an emergency key (its first 16 bytes are not all zero).
bool HasEmergencyKey();

// "&More" of the encrypt dialogs: without an emergency key the message "No Emergency Access is
// available for this user.", else the Emergency Access Information dialog. Returns the new
// no-emergency choice.
bool OfferEmergencyInfo(ui::DialogView& view, bool noEmergency);

}  // namespace qor::dialogs
