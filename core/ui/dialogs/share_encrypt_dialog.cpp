#include "share_encrypt_dialog.h"

#include <qor/platform/files.h>

#include <algorithm>

#include "emergency_info_dialog.h"
#include "encrypt_dialog.h"
#include "help.h"
#include "password_check.h"
#include "selection_text.h"

namespace qor::dialogs {

using namespace ui;

namespace {

constexpr const char* kCaption = "QOR Vaultis";
constexpr const char* kFolderSuffix = "*.*";

struct Entry {
    bool exists = false;
    bool folder = false;
    std::string name;  // the entry's own name, without the folder's "*.*"
};

// The first selected entry, looked at on the disk: the folder's path, the separator and the
// entry's name (a folder's "*.*" left off).
Entry FirstEntry(const std::vector<std::string>& selection) {
    Entry entry;
    if (selection.size() < 2) return entry;
    std::string path = selection[0];
    if (!path.empty() && path.back() != platform::kSeparator) path += platform::kSeparator;
    path += selection[1];
    const std::string suffix = std::string(1, platform::kSeparator) + kFolderSuffix;
    if (path.size() >= suffix.size() &&
        path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0) {
        path.resize(path.size() - suffix.size());
        entry.folder = true;
    }
    const uint32_t attributes = platform::GetAttributes(path);
    entry.exists = attributes != platform::kInvalidAttributes;
    if (entry.exists && (attributes & platform::kAttrDirectory) != 0) entry.folder = true;
    const size_t slash = path.rfind(platform::kSeparator);
    entry.name = slash == std::string::npos ? path : path.substr(slash + 1);
    // The label names the program as it will be written: after the 8.3 alias where one exists.
    platform::Finder finder;
    platform::FindData found;
    if (entry.exists && finder.First(path, &found) && !found.shortName.empty())
        entry.name = found.shortName;
    return entry;
}

}  // namespace

std::string SelfExtractingLabel(const std::string& name) {
    return "Encrypt as &self-extracting Windows file (" + name.substr(0, name.find('.')) + ".exe)";
}

ShareEncryptDialog::ShareEncryptDialog(std::vector<std::string> selection)
    : selection_(std::move(selection)) {
    template_.caption = "File Sharing - Encryption";
    template_.rect = {0, 0, 270, 190};
    template_.style = kStyleCentered | kStyleModalFrame | kStyleSystemMenu;
    template_.controls = {
        Static("&Encrypt:", {7, 8, 40, 8}),
        MultiLineEdit(kList, {50, 6, 212, 24}, true),
        Static("Current Directory: ", {7, 36, 255, 8}, kIdFolder),
        GroupBox("Shared Password", {6, 50, 258, 40}),
        Static("&Password:", {12, 62, 40, 8}),
        PasswordEdit(kPassword, {56, 60, 100, 12}, kPasswordLimit),
        Static("&Verify:", {12, 76, 40, 8}),
        PasswordEdit(kVerify, {56, 74, 100, 12}, kPasswordLimit),
        CheckBox(kSelfExtracting, "Encrypt as &self-extracting Windows file (.exe)",
                 {7, 96, 255, 10}),
        CheckBox(kDeleteSource, "&Delete original file(s)", {7, 110, 255, 10}),
        GroupBox("Emergency Access", {6, 124, 258, 26}),
        Static("None", {12, 136, 180, 8}, kIdOrganisation),
        PushButton(kIdMore, "&More", {208, 133, 50, 14}),
        DefPushButton(kIdOk, "OK", {40, 166, 50, 14}),
        PushButton(kIdCancel, "Cancel", {110, 166, 50, 14}),
        PushButton(kIdHelp, "&Help", {180, 166, 50, 14}),
    };
}

void ShareEncryptDialog::OnInit(DialogView& view) {
    view.SetText(kIdFolder,
                 "Current Directory: " + (selection_.empty() ? std::string() : selection_[0]));
    view.SetText(kList, SelectionListText(selection_));
    view.SetText(kIdOrganisation, OrganisationText());
    view.Focus(kPassword);
}

void ShareEncryptDialog::OnCommand(DialogView& view, int controlId) {
    switch (controlId) {
        case kSelfExtracting:
            OnSelfExtractingClicked(view);
            return;
        case kIdOk:
            OnOk(view);
            return;
        case kIdMore:
            noEmergency_ = OfferEmergencyInfo(view, noEmergency_ != 0) ? 1 : 0;
            return;
        case kIdHelp:
            ShowHelpContext(view, kHelpShareEncrypt);
            return;
        default:
            DialogModel::OnCommand(view, controlId);
    }
}

void ShareEncryptDialog::OnSelfExtractingClicked(DialogView& view) {
    const Entry entry = FirstEntry(selection_);
    if (entry.exists) view.SetText(kSelfExtracting, SelfExtractingLabel(entry.name));
    const bool checked = view.IsChecked(kSelfExtracting);
    const size_t entries = selection_.empty() ? 0 : selection_.size() - 1;
    if (entries == 1 && !entry.folder) {
        // A self-extracting program carries no emergency access.
        view.Enable(kIdOrganisation, !checked);
        view.Enable(kIdMore, !checked);
        return;
    }
    if (!checked) return;
    view.SetCheck(kSelfExtracting, false);
    if (entries == 1) {
        view.ShowMessage("Self extracting files cannot be created with a directory.", kCaption,
                         MessageButtons::kOk, MessageIcon::kNone);
    } else if (entries > 1) {
        view.ShowMessage(
            "More than one file is selected.  Self extracting files can only be created from "
            "one file at a time.",
            kCaption, MessageButtons::kOk, MessageIcon::kNone);
    }
}

void ShareEncryptDialog::OnOk(DialogView& view) {
    SecureBuffer password = view.GetSecret(kPassword);
    SecureBuffer verify = view.GetSecret(kVerify);
    if (password.empty() || verify.empty()) {
        view.Beep();
        // On to the empty field, so that Enter leads from the password to its verification.
        view.Focus(password.empty() ? kPassword : kVerify);
        return;
    }
    const bool same = password.size() == verify.size() &&
                      std::equal(password.data(), password.data() + password.size(), verify.data());
    if (!same) {
        view.ShowMessage("Passwords do not match, please re-enter.", "QOR ", MessageButtons::kOk,
                         MessageIcon::kNone);
    } else if (password.size() < kMinLength) {
        view.ShowMessage("The password must be at least 6 characters long.", "QOR_Secure",
                         MessageButtons::kOk, MessageIcon::kNone);
    } else {
        password_ = std::move(password);
        selfExtracting_ = view.IsChecked(kSelfExtracting);
        deleteSource_ = view.IsChecked(kDeleteSource);
        confirmed_ = true;
        view.Close(kIdOk);
        return;
    }
    // Both typed values go (the buffers wipe themselves); the user types the pair again.
    password.Clear();
    verify.Clear();
    view.SetText(kPassword, "");
    view.SetText(kVerify, "");
    view.Focus(kPassword);
}

void ShareEncryptDialog::OnTextChanged(DialogView& view, int controlId) {
    if (controlId == kPassword || controlId == kVerify) SeedFromPasswordField(view, controlId);
}

void ShareEncryptDialog::OnPointerMove(DialogView&, int x, int y) {
    SeedFromPointer(x, y);
}

}  // namespace qor::dialogs
