#include "encrypt_dialog.h"

#include <qor/profile/password_cache.h>
#include <qor/profile/user_profile.h>

#include "emergency_info_dialog.h"
#include "help.h"
#include "selection_text.h"

namespace qor::dialogs {

using namespace ui;

namespace {

DialogTemplate MakeTemplate(const char* caption, const char* group, const char* listLabel,
                            const char* minutesLabel, bool emergencyAccess) {
    DialogTemplate t;
    t.caption = caption;
    t.rect = {0, 0, 270, emergencyAccess ? int16_t{190} : int16_t{160}};
    t.style = kStyleCentered | kStyleModalFrame | kStyleSystemMenu;
    t.controls = {
        GroupBox(group, {6, 4, 258, 74}),
        Static(listLabel, {12, 16, 60, 8}),
        MultiLineEdit(kIdSelectionList, {76, 14, 182, 24}, true),
        Static("Current Directory:", {12, 44, 62, 8}),
        Static("", {76, 44, 182, 8}, kIdFolder),
        Static("User Name:", {12, 60, 62, 8}),
        Static("", {76, 60, 182, 8}, kIdUserName),
    };
    int16_t y = 84;
    if (emergencyAccess) {
        t.controls.push_back(GroupBox("Emergency Access", {6, y, 258, 26}));
        t.controls.push_back(
            Static("", {12, static_cast<int16_t>(y + 12), 180, 8}, kIdOrganisation));
        t.controls.push_back(
            PushButton(kIdMore, "&More", {208, static_cast<int16_t>(y + 9), 50, 14}));
        y = static_cast<int16_t>(y + 32);
    }
    const auto at = [y](int dy) { return static_cast<int16_t>(y + dy); };
    t.controls.insert(
        t.controls.end(),
        {
            Static("Please type your &password:", {12, at(2), 110, 8}, kIdPasswordLabel),
            PasswordEdit(kIdPassword, {126, at(0), 100, 12}, kPasswordLimit),
            CheckBox(kIdKeep, "&Keep password in memory for", {12, at(20), 112, 10}),
            Edit(kIdMinutes, {126, at(19), 24, 12}, 3),
            PushButton(kIdUp, "UP", {151, at(18), 10, 7}),
            PushButton(kIdDown, "DOWN", {151, at(25), 10, 7}),
            Static(minutesLabel, {166, at(21), 40, 8}, kIdMinutesLabel),
            Static("minute(s)", {166, at(21), 40, 8}, kIdMinutesLabelOff),
            DefPushButton(kIdOk, "OK", {40, at(46), 50, 14}),
            PushButton(kIdCancel, "Cancel", {110, at(46), 50, 14}),
            PushButton(kIdHelp, "&Help", {180, at(46), 50, 14}),
        });
    return t;
}

}  // namespace

const PasswordControls& LocalCryptDialog::Controls() {
    static const PasswordControls controls = [] {
        PasswordControls c;
        c.minutesLabelOff = kIdMinutesLabelOff;
        c.usesKeptPassword = true;
        return c;
    }();
    return controls;
}

LocalCryptDialog::LocalCryptDialog(const Texts& texts, std::vector<std::string> selection,
                                   int folderWidthChars)
    : KeptPasswordDialog(Controls()),
      template_(MakeTemplate(texts.caption, texts.group, texts.listLabel, texts.minutesLabel,
                             texts.emergencyAccess)),
      selection_(std::move(selection)),
      folderWidthChars_(folderWidthChars > 0 ? folderWidthChars
                                             : FieldWidthInChars(template_, kIdFolder)),
      emergencyAccess_(texts.emergencyAccess),
      helpContext_(texts.helpContext) {}

void LocalCryptDialog::OnInit(DialogView& view) {
    state_ = LoadKeepSettings();
    ShowKeepSettings(view, Controls(), state_);
    view.SetText(kIdFolder, ShortenFolderText(selection_.empty() ? std::string() : selection_[0],
                                              folderWidthChars_));
    view.SetText(kIdSelectionList, SelectionListText(selection_));
    view.SetText(kIdUserName, profile::Profile().UserName());
    if (emergencyAccess_) view.SetText(kIdOrganisation, OrganisationText());

    if (profile::Cache().IsPasswordKept() == 1) {
        ShowPasswordControls(view, Controls(), false, state_.keep);
        state_.inMemory = true;
    } else {
        state_.inMemory = false;
        view.Focus(kIdPassword);
    }
}

void LocalCryptDialog::OnCommand(DialogView& view, int controlId) {
    if (controlId == kIdKeep) {
        OnKeepClicked(view, Controls(), state_);
        return;
    }
    if (spin_.OnClick(view, controlId)) return;
    if (controlId == kIdOk) {
        RunPasswordCheck(view, Controls(), state_);
        return;
    }
    if (controlId == kIdHelp) {
        ShowHelpContext(view, helpContext_);
        return;
    }
    if (OnOwnCommand(view, controlId)) return;
    DialogModel::OnCommand(view, controlId);
}

bool LocalCryptDialog::OnOwnCommand(DialogView&, int) {
    return false;
}

EncryptDialog::EncryptDialog(std::vector<std::string> selection, int folderWidthChars)
    : LocalCryptDialog(
          {"Encrypt", "Encryption Information", "&Encrypt:", "mi&nute(s)", true, kHelpEncrypt},
          std::move(selection), folderWidthChars) {}

bool EncryptDialog::OnOwnCommand(DialogView& view, int controlId) {
    if (controlId != kIdMore) return false;
    noEmergency_ = OfferEmergencyInfo(view, noEmergency_ != 0) ? 1 : 0;
    return true;
}

}  // namespace qor::dialogs
