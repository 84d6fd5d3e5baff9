#include "setup_dialog.h"

#include <qor/platform/system.h>
#include <qor/profile/password_cache.h>
#include <qor/profile/shared_random.h>

#include <cstring>

namespace qor::dialogs {

using namespace ui;

namespace {

constexpr size_t kSaltSize = 8;
constexpr size_t kZeroSeedSize = 256;

constexpr const char* kCaption = "QOR Vaultis";
constexpr const char* kSaltFailure =
    "An error has ocurred during QOR Vaultis password generation.  Please restart QOR Vaultis "
    "setup.";
constexpr const char* kKeyFailure =
    "An error has ocurred during QOR Vaultis password generation.  Please restart the QOR "
    "Vaultis setup.";

std::string_view AsText(const SecureBuffer& buffer, size_t length) {
    return {reinterpret_cast<const char*>(buffer.data()), length};
}

}  // namespace

SetupDialog::SetupDialog() : SetupDialog(profile::SharedRandom(), platform::TickCount) {}

SetupDialog::SetupDialog(RandomObject* random, TickSource tick) : random_(random), tick_(tick) {
    template_.caption = kCaption;
    template_.rect = {0, 0, 220, 104};
    template_.style = kStyleCentered | kStyleModalFrame | kStyleSystemMenu;
    template_.controls = {
        Static("Enter your user &name:", {7, 7, 206, 8}),
        Edit(kName, {7, 17, 206, 12}, kNameLimit),
        Static("Enter your user &password:", {7, 35, 206, 8}),
        PasswordEdit(kPassword, {7, 45, 80, 12}, kPasswordLimit),
        Static("Enter the password again to &confirm it:", {7, 63, 206, 8}),
        PasswordEdit(kConfirm, {7, 73, 80, 12}, kPasswordLimit),
        DefPushButton(kIdOk, "OK", {108, 86, 50, 14}),
        PushButton(kIdCancel, "Cancel", {163, 86, 50, 14}),
    };
}

void SetupDialog::OnInit(DialogView& view) {
    done_ = false;
    password_.Clear();
    view.Focus(kName);
}

void SetupDialog::Mix(uint32_t value) {
    uint8_t word[4];
    for (int k = 0; k < 4; ++k)
        word[k] = static_cast<uint8_t>(value >> (8 * k));
    if (random_ != nullptr) RandomSeed(random_, word, sizeof word);
}

void SetupDialog::OnPointerMove(DialogView&, int x, int y) {
    Mix(tick_());
    Mix(static_cast<uint32_t>(x));
    Mix(static_cast<uint32_t>(y));
}

void SetupDialog::OnKey(DialogView&, int key, int repeatCount) {
    Mix(tick_());
    Mix(static_cast<uint32_t>(key));
    Mix(static_cast<uint32_t>(repeatCount));
}

void SetupDialog::OnCommand(DialogView& view, int controlId) {
    if (controlId == kIdOk) {
        Accept(view);
        return;
    }
    DialogModel::OnCommand(view, controlId);
}

void SetupDialog::Refuse(DialogView& view, std::string_view text, std::string_view caption) {
    view.ShowMessage(text, caption, MessageButtons::kOk, MessageIcon::kNone);
    view.SetText(kPassword, "");
    view.SetText(kConfirm, "");
    view.Focus(kPassword);
}

void SetupDialog::Accept(DialogView& view) {
    // Both password buffers wipe themselves on every way out of here.
    char name[kTextBuffer] = {};
    SecureBuffer password(kTextBuffer);
    SecureBuffer confirm(kTextBuffer);
    const size_t nameLength = view.CopyText(kName, name, sizeof name);
    const size_t length =
        view.CopyText(kPassword, reinterpret_cast<char*>(password.data()), password.size());
    const size_t confirmLength =
        view.CopyText(kConfirm, reinterpret_cast<char*>(confirm.data()), confirm.size());

    if (nameLength == 0 || length == 0 || confirmLength == 0) {
        view.Beep();
        // On to the first empty field: a newcomer's name, Enter, password, Enter, password,
        // Enter then fills the form in order instead of beeping at the name field.
        view.Focus(nameLength == 0 ? kName : length == 0 ? kPassword : kConfirm);
        return;
    }
    if (length != confirmLength || std::memcmp(password.data(), confirm.data(), length) != 0) {
        Refuse(view, "New password does not match.", "Password");
        return;
    }
    if (length < kMinimumPassword) {
        Refuse(view, "Password must be at least 6 characters long.", "Password");
        return;
    }
    uint8_t salt[kSaltSize];
    if (random_ == nullptr || RandomGenerate(salt, random_, kSaltSize) != kStatusOk) {
        Refuse(view, kSaltFailure, kCaption);
        return;
    }

    const std::string_view typed = AsText(password, length);
    uint8_t wrapped[profile::kWrappedKeySize];
    if (GenerateWrappedUserKey(random_, salt, typed, wrapped) != kStatusOk) {
        view.ShowMessage(kKeyFailure, kCaption, MessageButtons::kOk, MessageIcon::kNone);
        view.Close(kIdCancel);
        return;
    }

    // A prepared file brings the organisation's attributes, which the new ones join; a missing
    // or unreadable one leaves them as they are in memory, so the read's result does not matter.
    profile::UserProfile& profile = profile::Profile();
    profile.Read();
    profile.SetAttribute(profile::kAttrWrappedKey, wrapped);
    profile.SetAttribute(profile::kAttrUserName, name);
    profile.SetAttribute(profile::kAttrSalt, salt);
    profile.SetPassword(typed);
    profile.Write(&typed);
    profile::Cache().StorePassword(typed);

    done_ = true;
    password_.Assign(password.data(), length);
    view.Close(kIdOk);
}

int GenerateWrappedUserKey(RandomObject* random, const uint8_t salt[8], std::string_view password,
                           uint8_t wrapped[profile::kWrappedKeySize]) {
    static const uint8_t kZeros[kZeroSeedSize] = {};
    int status = RandomSeed(random, kZeros, sizeof kZeros);
    if (status == kStatusOk && !password.empty()) {
        status = RandomSeed(random, reinterpret_cast<const unsigned char*>(password.data()),
                            static_cast<unsigned int>(password.size()));
    }
    uint8_t key[profile::kUserKeySize];
    ScopedWipe wipe(key);
    if (status == kStatusOk) status = RandomGenerate(key, random, sizeof key);
    // The wrapping derives the wrapping key MD5(salt || password || password) from the salt.
    if (status == kStatusOk) status = profile::WrapUserKey(key, salt, password, wrapped);
    return status;
}

}  // namespace qor::dialogs
