#include "drive_dialogs.h"

#include <qor/platform/files.h>
#include <qor/platform/registry.h>
#include <qor/profile/password_cache.h>
#include <qor/profile/user_profile.h>

#include <string_view>
#include <utility>

#include "help.h"

namespace qor::dialogs {

using namespace ui;

namespace {

constexpr const char* kCaption = "QOR Vaultis";
constexpr const char* kProductKey = "CLSID\\{8e3e0f0a-0fcc-11ce-bcb0-b3fd0e253819}\\QOR";
// Present on the product's own install diskette, which must not receive a user's file.
constexpr const char* kInstallDiskMarker = "qor_sec.dl_";
constexpr size_t kProbeSize = 10;

std::string InFolder(const std::string& folder, const char* name) {
    return folder + platform::kSeparator + name;
}

void AddDriveControls(DialogTemplate& dialog, int listId) {
    dialog.controls.push_back(Static("Insert diskette into &drive", {7, 9, 100, 8}));
    dialog.controls.push_back(DropDownList(listId, {110, 7, 30, 40}));
}

void ShowDrives(DialogView& view, int listId) {
    view.SetItems(listId, {"A", "B"});
    view.SetSelection(listId, 0);
}

}  // namespace

std::string DriveFolder(char letter) {
    const bool b = letter == 'b' || letter == 'B';
#ifdef _WIN32
    return b ? "b:" : "a:";
#else
    std::string folder;
    if (!platform::RegistryReadString(platform::Hive::kClassesRoot, kProductKey,
                                      b ? "DriveB" : "DriveA", &folder)) {
        return {};
    }
    return folder;
#endif
}

DriveBackupDialog::DriveBackupDialog() {
    template_.caption = kCaption;
    template_.rect = {0, 0, 200, 84};
    AddDriveControls(template_, kDriveList);
    template_.controls.push_back(
        Static("Please insert a disk into your chosen drive to back up your user preference "
               "file.",
               {7, 28, 186, 24}));
    template_.controls.push_back(DefPushButton(kIdOk, "OK", {7, 62, 50, 14}));
    template_.controls.push_back(PushButton(kIdCancel, "Cancel", {75, 62, 50, 14}));
    template_.controls.push_back(PushButton(kHelp, "&Help", {143, 62, 50, 14}));
}

void DriveBackupDialog::OnInit(DialogView& view) {
    ShowDrives(view, kDriveList);
    view.Focus(kDriveList);
}

void DriveBackupDialog::OnCommand(DialogView& view, int controlId) {
    if (controlId == kIdOk) {
        BackUp(view);
        return;
    }
    if (controlId == kHelp) {
        ShowHelpContext(view, kHelpDisketteBackup);
        return;
    }
    DialogModel::OnCommand(view, controlId);
}

void DriveBackupDialog::OnCancel(DialogView& view) {
    if (view.ShowMessage(
            "Your user preference file will not be backed up.  Choose OK to confirm this.",
            kCaption, MessageButtons::kOkCancel, MessageIcon::kExclamation) == kIdOk) {
        view.Close(kIdCancel);
    }
}

void DriveBackupDialog::BackUp(DialogView& view) {
    const char letter = view.Selection(kDriveList) == 1 ? 'b' : 'a';
    const std::string folder = DriveFolder(letter);
    auto cannotWrite = [&view] {
        view.ShowMessage("Could not write to the disk.  Disk might be write-protected.", kCaption,
                         MessageButtons::kOk, MessageIcon::kExclamation);
    };
    // A drive without a folder behaves as an empty drive: nothing can be written to it.
    if (folder.empty()) {
        cannotWrite();
        return;
    }
    if (platform::Exists(InFolder(folder, kInstallDiskMarker))) {
        view.ShowMessage("The user preference file may not be backed up to the user install disk.",
                         kCaption, MessageButtons::kOk, MessageIcon::kExclamation);
        return;
    }
    const std::string target = InFolder(folder, profile::kProfileFileName);
    if (platform::Exists(target) &&
        view.ShowMessage("A user preference file already exists on the diskette. Write over "
                         "this copy?",
                         kCaption, MessageButtons::kYesNo, MessageIcon::kQuestion) != kIdYes) {
        return;
    }
    // A probe that must reach the medium: a write-protected or full diskette is found here,
    // before the profile is written.
    {
        platform::File probe = platform::File::Open(target, platform::kAccessWrite,
                                                    platform::kShareNone, platform::kOpenAlways);
        const uint8_t bytes[kProbeSize] = {};
        if (!probe.IsOpen() || !probe.Write(bytes, kProbeSize) || !probe.Flush()) {
            cannotWrite();
            return;
        }
    }
    // The cache holds the password that was just set or checked; without one the stored
    // authenticator is written as it stands rather than one made from an empty password.
    const std::string_view password = profile::Cache().Password();
    backedUp_ = profile::Profile().Write(password.empty() ? nullptr : &password, target) == 0;
    view.Close(kIdOk);
}

bool OfferDriveBackup(OwnerWindow owner) {
    DriveBackupDialog dialog;
    CurrentHost().RunModal(dialog, owner);
    return dialog.backedUp();
}

DrivePromptDialog::DrivePromptDialog(std::string text, std::string caption)
    : text_(std::move(text)), caption_(std::move(caption)) {
    template_.caption = caption_;
    template_.rect = {0, 0, 200, 84};
    template_.style = kStyleCentered | kStyleModalFrame | kStyleSystemMenu;
    AddDriveControls(template_, kDriveList);
    template_.controls.push_back(Static("", {7, 28, 186, 24}, kText));
    template_.controls.push_back(DefPushButton(kIdOk, "OK", {40, 62, 50, 14}));
    template_.controls.push_back(PushButton(kIdCancel, "Cancel", {110, 62, 50, 14}));
}

void DrivePromptDialog::OnInit(DialogView& view) {
    view.SetCaption(caption_);
    view.SetText(kText, text_);
    ShowDrives(view, kDriveList);
    view.Focus(kDriveList);
}

void DrivePromptDialog::OnCommand(DialogView& view, int controlId) {
    if (controlId == kIdOk) {
        confirmed_ = true;
        selection_ = view.Selection(kDriveList);
        view.Close(kIdOk);
        return;
    }
    DialogModel::OnCommand(view, controlId);
}

}  // namespace qor::dialogs
