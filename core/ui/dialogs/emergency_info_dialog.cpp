#include "emergency_info_dialog.h"

#include <qor/profile/user_profile.h>
#include <qor/ui/dialog_host.h>

#include <cstring>

namespace qor::dialogs {

using namespace ui;

namespace {

constexpr const char* kCaption = "QOR Vaultis";
// The part of the emergency key that tells whether there is one at all.
constexpr size_t kKeyProbeBytes = 16;

}  // namespace

std::string OrganisationText() {
    char text[65] = {};
    profile::Profile().GetAttribute(profile::kAttrOrganisation, text, false);
    return std::string(text, strnlen(text, sizeof text - 1));
}

bool HasEmergencyKey() {
    uint8_t key[256] = {};
    profile::Profile().GetAttribute(profile::kAttrEmergencyKey, key, false);
    for (size_t i = 0; i < kKeyProbeBytes; ++i)
        if (key[i] != 0) return true;
    return false;
}

EmergencyInfoDialog::EmergencyInfoDialog(bool noEmergency) : noEmergency_(noEmergency) {
    template_.caption = "Emergency Access Information";
    template_.rect = {0, 0, 220, 84};
    template_.style = kStyleCentered | kStyleModalFrame | kStyleSystemMenu;
    template_.controls = {
        Static("Organization:", {7, 8, 60, 8}),
        Static("", {70, 8, 143, 8}, kOrganisation),
        Static("Authentication:", {7, 22, 60, 8}),
        Static("", {70, 22, 143, 8}, kFingerprint),
        CheckBox(kDisable, "&Disable emergency key access", {7, 38, 150, 10}),
        DefPushButton(kIdOk, "OK", {85, 60, 50, 14}),
    };
}

void EmergencyInfoDialog::OnInit(DialogView& view) {
    const profile::UserProfile& profile = profile::Profile();
    view.SetText(kOrganisation, OrganisationText());
    char fingerprint[33] = {};
    profile.EmergencyFingerprint(fingerprint);
    view.SetText(kFingerprint, fingerprint);
    // Only an organisation that made emergency access optional lets the user switch it off.
    if (profile.ByteAttribute(profile::kAttrEmergencyOptional) == 0) {
        view.Show(kDisable, false);
        view.Enable(kDisable, false);
        view.SetCheck(kDisable, false);
    } else {
        view.SetCheck(kDisable, noEmergency_);
    }
}

void EmergencyInfoDialog::OnCommand(DialogView& view, int controlId) {
    if (controlId == kIdOk) {
        noEmergency_ = profile::Profile().ByteAttribute(profile::kAttrEmergencyOptional) != 0 &&
                       view.IsChecked(kDisable);
        view.Close(kIdOk);
        return;
    }
    DialogModel::OnCommand(view, controlId);
}

bool OfferEmergencyInfo(DialogView& view, bool noEmergency) {
    if (!HasEmergencyKey()) {
        view.ShowMessage("No Emergency Access is available for this user.", kCaption,
                         MessageButtons::kOk, MessageIcon::kNone);
        return noEmergency;
    }
    EmergencyInfoDialog dialog(noEmergency);
    CurrentHost().RunModal(dialog);
    return dialog.noEmergency();
}

}  // namespace qor::dialogs
