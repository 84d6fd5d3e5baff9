#include "change_password_dialog.h"

#include <qor/profile/password_cache.h>
#include <qor/profile/shared_random.h>
#include <qor/profile/user_profile.h>
#include <qor/secure_buffer.h>
#include <qor/toolkit.h>

#include "dialog_open_flag.h"
#include "drive_dialogs.h"
#include "help.h"
#include "load_or_recover.h"
#include "password_check.h"

namespace qor::dialogs {

using namespace ui;

namespace {

// The fields accept 10 characters; they are read into buffers this large.
constexpr size_t kFieldBuffer = 64;

// Attributes 2, 8 and 15 as they stood before a change, put back when it cannot complete.
class Snapshot {
  public:
    explicit Snapshot(const profile::UserProfile& p) {
        p.GetAttribute(profile::kAttrWrappedKey, wrapped_, false);
        p.GetAttribute(profile::kAttrPasswordCheck, check_, false);
        p.GetAttribute(profile::kAttrAuthenticator, authenticator_, false);
    }
    ~Snapshot() {
        SecureWipe(wrapped_, sizeof wrapped_);
        SecureWipe(check_, sizeof check_);
    }
    void Restore(profile::UserProfile& p) const {
        p.SetAttribute(profile::kAttrWrappedKey, wrapped_);
        p.SetAttribute(profile::kAttrPasswordCheck, check_);
        p.SetAttribute(profile::kAttrAuthenticator, authenticator_);
    }
    const uint8_t* wrapped() const { return wrapped_; }

  private:
    uint8_t wrapped_[profile::kWrappedKeySize];
    uint8_t check_[16];
    uint8_t authenticator_[16];
};

// The wrapped key under the new password, from the old wrapping; 0 or the toolkit's status.
int Rewrap(const uint8_t oldWrapped[profile::kWrappedKeySize], const uint8_t salt[8],
           std::string_view current, std::string_view fresh,
           uint8_t out[profile::kWrappedKeySize]) {
    uint8_t key[16];
    ScopedWipe wipe(key);
    uint32_t length = 0;
    int status = profile::UnwrapUserKey(oldWrapped, salt, current, key, &length);
    // Anything but the 10 key bytes means the wrapping did not hold the user's key.
    if (status == kStatusOk && length != profile::kUserKeySize)
        status = kStatusPasswordBlockDecryptFailed;
    if (status == kStatusOk) status = profile::WrapUserKey(key, salt, fresh, out);
    return status;
}

// One text field read into its own buffer (at most 63 characters).
struct Field {
    SecureBuffer buffer{kFieldBuffer};
    std::string_view text;
    void Read(const DialogView& view, int id) {
        const size_t n = view.CopyText(id, reinterpret_cast<char*>(buffer.data()), buffer.size());
        text = std::string_view(reinterpret_cast<const char*>(buffer.data()), n);
    }
    void Wipe() {
        SecureWipe(buffer.data(), buffer.size());
        text = {};
    }
};

}  // namespace

int ChangeUserPassword(std::string_view current, std::string_view fresh) {
    profile::UserProfile& p = profile::Profile();
    const Snapshot before(p);
    uint8_t salt[8];
    p.GetAttribute(profile::kAttrSalt, salt, false);
    uint8_t wrapped[profile::kWrappedKeySize];
    int status = Rewrap(before.wrapped(), salt, current, fresh, wrapped);
    if (status != kStatusOk) return status;

    p.SetAttribute(profile::kAttrWrappedKey, wrapped);
    status = p.ComputeAuthenticator(fresh);
    if (status == kStatusOk) status = p.SetPassword(fresh);
    if (status == kStatusOk) status = p.Write(&fresh);
    if (status != kStatusOk) {
        // Write replaces the file only once the new one is complete, so the file still holds
        // the old password; the image in memory must agree with it.
        before.Restore(p);
        return status;
    }
    profile::PasswordCache& cache = profile::Cache();
    cache.StartKeepPeriod();
    cache.StorePassword(fresh);
    return kStatusOk;
}

ChangePasswordDialog::ChangePasswordDialog() {
    template_.caption = "Change Password";
    template_.rect = {0, 0, 250, 92};
    template_.controls = {
        Static("Enter your &current password:", {7, 9, 150, 8}),
        PasswordEdit(kCurrent, {160, 7, 80, 12}, kPasswordLimit),
        Static("Enter a &new password:", {7, 27, 150, 8}),
        PasswordEdit(kNew, {160, 25, 80, 12}, kPasswordLimit),
        Static("Enter the new &password again to confirm it:", {7, 45, 150, 8}),
        PasswordEdit(kConfirm, {160, 43, 80, 12}, kPasswordLimit),
        DefPushButton(kIdOk, "OK", {25, 68, 50, 14}),
        PushButton(kIdCancel, "Cancel", {100, 68, 50, 14}),
        PushButton(kHelp, "&Help", {175, 68, 50, 14}),
    };
}

void ChangePasswordDialog::OnInit(DialogView& view) {
    view.Focus(kCurrent);
}

void ChangePasswordDialog::OnCommand(DialogView& view, int controlId) {
    if (controlId == kIdOk) {
        if (Check(view) == 0) {
            changeDone_ = true;
            view.Close(kIdOk);
        }
        return;
    }
    if (controlId == kHelp) {
        ShowHelpContext(view, kHelpChangePassword);
        return;
    }
    DialogModel::OnCommand(view, controlId);
}

void ChangePasswordDialog::OnTextChanged(DialogView& view, int controlId) {
    if (controlId == kCurrent || controlId == kNew || controlId == kConfirm)
        SeedFromPasswordField(view, controlId);
}

void ChangePasswordDialog::OnPointerMove(DialogView&, int x, int y) {
    SeedFromPointer(x, y);
}

int ChangePasswordDialog::Check(DialogView& view) {
    Field current, fresh, confirm;
    current.Read(view, kCurrent);
    fresh.Read(view, kNew);
    confirm.Read(view, kConfirm);
    auto wipeAll = [&] {
        current.Wipe();
        fresh.Wipe();
        confirm.Wipe();
    };
    if (current.text.empty() || fresh.text.empty() || confirm.text.empty()) {
        // On to the first empty field, so that Enter leads through the form.
        const int empty = current.text.empty() ? kCurrent : fresh.text.empty() ? kNew : kConfirm;
        wipeAll();
        view.Beep();
        view.Focus(empty);
        return 1;
    }

    bool currentRecognised = false;
    // A refusal empties the new fields, and the current one unless it was recognised; the
    // focus goes back to the top so that the user reads the fields in order again.
    auto refuse = [&](const char* message) {
        view.ShowMessage(message, "Password", MessageButtons::kOk, MessageIcon::kNone);
        view.SetText(kNew, "");
        view.SetText(kConfirm, "");
        if (!currentRecognised) view.SetText(kCurrent, "");
        view.Focus(kCurrent);
        wipeAll();
        return 1;
    };

    profile::UserProfile& p = profile::Profile();
    if (p.VerifyPassword(current.text) != 0)
        return refuse("Current password not entered correctly.");
    currentRecognised = true;

    if (p.CheckAuthenticity(current.text) != 1) {
        view.ShowMessage(
            "The authentication for your user preference file (userpref.!!!) is not valid.",
            "QOR Vaultis", MessageButtons::kOk, MessageIcon::kStop);
        view.SetText(kCurrent, "");
        wipeAll();
        resultCode_ = kResultNotAuthentic;
        view.Close(kIdCancel);
        return kResultNotAuthentic;
    }
    if (fresh.text != confirm.text) return refuse("New password does not match.");
    if (fresh.text.size() < kMinLength)
        return refuse("User password must be at least six characters long.");

    const int status = ChangeUserPassword(current.text, fresh.text);
    wipeAll();
    if (status == profile::kProfileCannotCreate) {
        // The write's own message has told the user; the old password stays in effect.
        view.Close(kIdCancel);
        return status;
    }
    if (status != kStatusOk) {
        view.ShowMessage(
            "Your password could not be changed because the key in your user preference file "
            "(userpref.!!!) could not be re-encrypted.  Your current password is still valid.",
            "QOR Vaultis", MessageButtons::kOk, MessageIcon::kStop);
        view.Close(kIdCancel);
        return status;
    }
    return 0;
}

int RunChangePassword(OwnerWindow owner) {
    // The dialog host knows no pointer position outside a dialog; the position is one of
    // several sources and the others carry the entropy.
    profile::GatherSystemEntropy(0, 0);
    if (LoadOrRecover(owner) != 0) return -1;
    SetDialogOpenFlag(false);
    profile::GatherSystemEntropy(0, 0);
    ChangePasswordDialog dialog;
    CurrentHost().RunModal(dialog, owner);
    if (dialog.changeDone()) OfferDriveBackup(owner);
    // The new password went into the cache; unless it is being kept it has no use once the
    // export returns, and the caller may hold the library loaded for a long time.
    profile::Cache().ClearPassword(false);
    SetDialogOpenFlag(true);
    return dialog.changeDone() ? 0 : -1;
}

}  // namespace qor::dialogs
